#include "e2e/E2EHost.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>
#include <dlfcn.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

E2EHost::E2EHost(const char *factory, bool show, QSize size)
{
    library = dlopen(PLA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
    auto create = reinterpret_cast<CreatePlayerFunction>(dlsym(library, factory));
    if (!create || !(p = create()))
        throw std::runtime_error(std::string("no player from ") + factory);
    p->addListener([this](int code) { codes.push_back(code); });

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
    // The library stays loaded: Qt keeps meta-objects of its classes around.
}

void E2EHost::showWindow()
{
    win->show();
    (void)QTest::qWaitFor([this] { return p && p->widget()->isVisible(); }, 5000);
    QTest::qWait(100);
}

void E2EHost::destroyPlayer()
{
    if (!p)
        return;
    // The window must not delete the player's widget: the player does.
    p->widget()->setParent(nullptr);
    delete std::exchange(p, nullptr);
}

std::vector<int> E2EHost::codesSince(size_t from, bool withTimes) const
{
    std::vector<int> result;
    for (size_t i = from; i < codes.size(); ++i)
        if (withTimes || codes[i] != EventTimeChanged)
            result.push_back(codes[i]);
    return result;
}

bool E2EHost::run(const std::string &script)
{
    static const std::vector<std::string> names = {"Playing", "Paused",  "Stopped",   "Finished",
                                                   "",        "Loaded", "LoadFailed"};
    auto since = [this](int code) { return std::find(codes.begin() + long(mark), codes.end(), code) != codes.end(); };
    std::istringstream words(script);
    bool ok = true;
    for (std::string word; ok && p && words >> word;) {
        const size_t colon = word.find(':');
        const std::string verb = word.substr(0, colon);
        const std::string arg = colon == std::string::npos ? "" : word.substr(colon + 1);
        if (verb != "await")
            mark = codes.size();
        if (verb == "open" || verb == "load")
            p->load(QString::fromStdString(arg.find('/') == std::string::npos ? mediaPath(arg) : arg));
        if (verb == "open")
            ok = QTest::qWaitFor([&] { return since(EventLoaded) || since(EventLoadFailed); }, 20000) &&
                 since(EventLoaded);
        else if (verb == "seek")
            p->setCurrentTime(std::stoull(arg));
        else if (verb == "volume")
            p->setVolume(std::stof(arg) / 100.0f);
        else if (verb == "wait")
            QTest::qWait(std::stoi(arg));
        else if (verb == "until")
            ok = QTest::qWaitFor([&] { return !p || p->currentTime() >= std::stoull(arg); }, 20000);
        else if (verb == "await") // the codes are the indexes of the names
            ok = QTest::qWaitFor(
                [&] { return !p || since(int(std::find(names.begin(), names.end(), arg) - names.begin())); }, 20000);
        else if (verb == "play" || verb == "pause" || verb == "stop")
            verb == "play" ? p->play() : verb == "pause" ? p->pause() : p->stop();
        else if (verb != "load")
            ok = false;
        EXPECT_TRUE(ok) << word << " in " << script;
    }
    return ok;
}

QImage E2EHost::grabWidget()
{
    QWidget *w = p->widget();
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()->grabWindow(0, origin.x(), origin.y(), w->width(), w->height()).toImage();
}

QColor E2EHost::centreColour()
{
    const QImage image = grabWidget();
    if (image.isNull())
        return QColor(0, 0, 0, 0);
    const QImage centre = image.copy(image.width() / 2 - 8, image.height() / 2 - 8, 17, 17);
    return centre.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
}

int E2EHost::followSeconds(int seconds, int timeoutMs)
{
    std::set<uint64_t> matched;
    const size_t mark = codes.size();
    (void)QTest::qWaitFor(
        [&] {
            const uint64_t t = p->currentTime(), second = t / 1000;
            // The last second of seconds.mp4 is left out: the end may come first.
            if (t % 1000 >= 250 && t % 1000 <= 750 && !matched.count(second) && second < 7) {
                const QColor c = centreColour();
                if (p->currentTime() / 1000 != second)
                    return false; // the grab straddled a second boundary: sample again
                if (near(c, kSecondColour[second]))
                    matched.insert(second);
                else
                    EXPECT_TRUE(second > 0 && near(c, kSecondColour[second - 1]))
                        << "at " << t << " ms the picture is " << c.name().toStdString();
            }
            return int(matched.size()) >= seconds ||
                   std::count(codes.begin() + long(mark), codes.end(), EventFinished) > 0;
        },
        timeoutMs);
    return int(matched.size());
}
