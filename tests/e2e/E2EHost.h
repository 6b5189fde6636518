// The built plug-in through dlopen, one player in a window, IMediaPlayer2 alone.
#pragma once

#include "IMediaPlayer2.h"
#include "common/SoundRecorder.h"
#include "common/TestSupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <dlfcn.h>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class E2EHost {
public:
    // factory: "CreateSw", "CreateHw" or "CreateHwVr"; show false: showWindow later.
    explicit E2EHost(const char *factory = "CreateSw", bool show = true, QSize size = QSize(320, 240))
    {
        library = dlopen(PLA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            throw std::runtime_error(std::string("dlopen: ") + dlerror());
        auto create = reinterpret_cast<CreatePlayerFunction>(dlsym(library, factory));
        if (!create || !(p = create()))
            throw std::runtime_error(std::string("no player from ") + factory);
        p->addListener([this](int code) { codes.push_back(code); });
        auto *layout = new QVBoxLayout(win.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(p->widget());
        win->resize(size);
        if (show)
            showWindow();
    }
    // The library stays loaded: Qt keeps meta-objects of its classes around.
    ~E2EHost() { destroyPlayer(); }

    IMediaPlayer2 *player() const { return p; }
    void showWindow()
    {
        win->show();
        (void)QTest::qWaitFor([this] { return p && p->widget()->isVisible(); }, 5000);
        QTest::qWait(100);
    }
    // Deletes the player while the window stays (the player deletes its own widget).
    void destroyPlayer()
    {
        if (p)
            p->widget()->setParent(nullptr);
        delete std::exchange(p, nullptr);
    }

    size_t eventCount() const { return codes.size(); }
    // Codes raised since index from, without EventTimeChanged unless withTimes.
    std::vector<int> codesSince(size_t from, bool withTimes = false) const
    {
        std::vector<int> result;
        std::copy_if(codes.begin() + long(from), codes.end(), std::back_inserter(result),
                     [&](int c) { return withTimes || c != EventTimeChanged; });
        return result;
    }

    // Runs words while the player exists: load:FILE, open:FILE (then EventLoaded),
    // play, pause, stop, seek:MS, volume:PERCENT, wait:MS, until:MS (the clock),
    // await:EVENT (since the last other word), delete. False at a failing word.
    bool run(const std::string &script)
    {
        static const std::vector<std::string> names = {"Playing", "Paused", "Stopped",   "Finished",
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
                    [&] { return !p || since(int(std::find(names.begin(), names.end(), arg) - names.begin())); },
                    20000);
            else if (verb == "play" || verb == "pause" || verb == "stop")
                verb == "play" ? p->play() : verb == "pause" ? p->pause() : p->stop();
            else if (verb == "delete")
                destroyPlayer();
            else if (verb != "load")
                ok = false;
            EXPECT_TRUE(ok) << word << " in " << script;
        }
        return ok;
    }

    // The player's widget as it is on the screen; the average colour of its centre.
    QImage grabWidget()
    {
        QWidget *w = p->widget();
        const QPoint origin = w->mapToGlobal(QPoint(0, 0));
        return QGuiApplication::primaryScreen()->grabWindow(0, origin.x(), origin.y(), w->width(), w->height()).toImage();
    }
    QColor centreColour()
    {
        const QImage image = grabWidget();
        if (image.isNull())
            return QColor(0, 0, 0, 0);
        const QImage centre = image.copy(image.width() / 2 - 8, image.height() / 2 - 8, 17, 17);
        return centre.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
    }

    // Seconds whose colour the centre showed mid-second (busy: or the one before), up to `seconds`.
    int followSeconds(int seconds, int timeoutMs = 12000)
    {
        std::set<uint64_t> matched;
        const size_t from = codes.size();
        (void)QTest::qWaitFor(
            [&] {
                const uint64_t t = p->currentTime(), second = t / 1000;
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
                return int(matched.size()) >= seconds || std::count(codes.begin() + long(from), codes.end(), EventFinished);
            },
            timeoutMs);
        return int(matched.size());
    }

private:
    void *library = nullptr;
    IMediaPlayer2 *p = nullptr;
    std::unique_ptr<QWidget> win = std::make_unique<QWidget>();
    std::vector<int> codes;
    size_t mark = 0; // where await looks from
};
