#include "e2e/E2EHost.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include <dlfcn.h>
#include <fstream>
#include <stdexcept>

bool waitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

void pump(int ms)
{
    waitFor([] { return false; }, ms);
}

std::vector<std::string> threadNames()
{
    std::vector<std::string> names;
    QDir tasks("/proc/self/task");
    for (const QString &id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream comm(("/proc/self/task/" + id + "/comm").toStdString());
        std::string name;
        if (std::getline(comm, name))
            names.push_back(name);
    }
    return names;
}

bool near(const QColor &a, const QColor &b, int tol)
{
    return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol &&
           std::abs(a.blue() - b.blue()) <= tol;
}

E2EHost::E2EHost(const char *factory, bool show, QSize size)
{
    sinceStart.start();
    library = dlopen(PLA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
    auto create = reinterpret_cast<CreatePlayerFunction>(dlsym(library, factory));
    if (!create)
        throw std::runtime_error(std::string("no factory ") + factory);
    p = create();
    if (!p)
        throw std::runtime_error("factory returned null");
    p->addListener([this](int code) { recorded.push_back({code, nowUs()}); });

    win = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(win.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(p->widget());
    win->resize(size);
    if (show)
        showWindow();
}

E2EHost::~E2EHost()
{
    destroyPlayer();
    win.reset();
    // The library stays loaded: Qt keeps meta-objects of its classes around.
}

void E2EHost::showWindow()
{
    win->show();
    waitFor([this] { return win->isVisible() && p && p->widget()->isVisible(); }, 5000);
    pump(100);
}

void E2EHost::destroyPlayer()
{
    if (!p)
        return;
    // The window must not delete the player's widget: the player does.
    p->widget()->setParent(nullptr);
    delete p;
    p = nullptr;
}

int E2EHost::count(int code) const
{
    int n = 0;
    for (const auto &e : recorded)
        n += e.code == code;
    return n;
}

bool E2EHost::waitForEvent(int code, int timeoutMs, size_t fromIndex)
{
    return waitFor(
        [&] {
            for (size_t i = fromIndex; i < recorded.size(); ++i)
                if (recorded[i].code == code)
                    return true;
            return false;
        },
        timeoutMs);
}

int E2EHost::loadAndWait(const std::string &path, int timeoutMs)
{
    const size_t from = recorded.size();
    p->load(QString::fromStdString(path));
    int result = -1;
    waitFor(
        [&] {
            for (size_t i = from; i < recorded.size(); ++i)
                if (recorded[i].code == EventLoaded || recorded[i].code == EventLoadFailed) {
                    result = recorded[i].code;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return result;
}

QImage E2EHost::grabWidget()
{
    QWidget *w = p->widget();
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, origin.x(), origin.y(), w->width(), w->height()).toImage();
}

QColor E2EHost::centreColour()
{
    const QImage image = grabWidget();
    if (image.isNull())
        return QColor(0, 0, 0, 0);
    const int cx = image.width() / 2, cy = image.height() / 2;
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = cy - 8; y <= cy + 8; ++y)
        for (int x = cx - 8; x <= cx + 8; ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
            ++n;
        }
    return QColor(int(r / n), int(g / n), int(b / n));
}
