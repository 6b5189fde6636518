// Random host operations against the plug-in loaded with dlopen, as an
// unpredictable host would make them: loads of good, bad and missing files,
// play, pause, stop, seeks anywhere (also around the end), volume, render
// modes, commands from inside callbacks, and deleting and recreating the
// player (also from inside a callback). After every step the observable state
// must agree with itself: a playing player's clock advances, any other stands.
//
// PLA_SOAK_SEED repeats a run (the seed is printed at the start and on any
// failure), PLA_SOAK_OPS bounds the operations, PLA_SOAK_SECONDS the time.
#include "IMediaPlayer2.h"
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include <QElapsedTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

long envOr(const char *name, long fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::strtol(value, nullptr, 10) : fallback;
}

// One player at a time in a shown window, made again after every delete.
class SoakHost {
public:
    explicit SoakHost(std::mt19937 &random) : random(random)
    {
        library = dlopen(PLA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        window = std::make_unique<QWidget>();
        layout = new QVBoxLayout(window.get());
        window->resize(320, 240);
        window->show();
    }
    ~SoakHost() { destroy(); }

    bool ready() const { return library != nullptr; }
    IMediaPlayer2 *player() const { return p; }

    void create()
    {
        auto factory = reinterpret_cast<CreatePlayerFunction>(
            dlsym(library, random() % 4 == 0 ? "CreateHw" : "CreateSw"));
        p = factory();
        ++generation;
        const int made = generation;
        // A copy of the generation, not of the host's pointer: a callback of
        // a deleted player must never run.
        p->addListener([this, made](int code) { onEvent(made, code); });
        layout->addWidget(p->widget());
    }

    void destroy()
    {
        if (!p)
            return;
        IMediaPlayer2 *gone = p;
        p = nullptr;
        gone->widget()->setParent(nullptr);
        delete gone;
    }

    // Runs action inside the next event with code `code` (-1: any event).
    void arm(int code, std::function<void()> action)
    {
        armedCode = code;
        armed = std::move(action);
    }

    int stateEvents = 0; // every event but EventTimeChanged, over all players
    std::string failure; // set by a callback that saw something wrong

private:
    void onEvent(int made, int code)
    {
        if (made != generation || !p) {
            failure = "a callback of a deleted player ran (event " + std::to_string(code) + ")";
            return;
        }
        if (code == 4 || code < 0 || code > EventTimeChanged)
            failure = "unknown event code " + std::to_string(code);
        if (code != EventTimeChanged)
            ++stateEvents;
        if (armed && (armedCode < 0 || armedCode == code))
            std::exchange(armed, nullptr)();
    }

    std::mt19937 &random;
    void *library = nullptr;
    std::unique_ptr<QWidget> window;
    QVBoxLayout *layout = nullptr;
    IMediaPlayer2 *p = nullptr;
    int generation = 0;
    int armedCode = -1;
    std::function<void()> armed;
};

class Soak : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
    }
};

} // namespace

TEST_F(Soak, RandomHostOperationsKeepThePlayerConsistent)
{
    const unsigned seed = static_cast<unsigned>(
        envOr("PLA_SOAK_SEED", std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007));
    const long maxOps = envOr("PLA_SOAK_OPS", 100000);
    const long maxSeconds = envOr("PLA_SOAK_SECONDS", 50);
    std::printf("soak: seed %u (PLA_SOAK_SEED=%u repeats this run)\n", seed, seed);
    SCOPED_TRACE("PLA_SOAK_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);

    // Garbage under a name no demuxer claims, as in the load-failure test.
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/soak_garbage.dat";
    {
        std::ifstream in(mediaPath("garbage.bin"), std::ios::binary);
        std::ofstream out(garbage, std::ios::binary);
        out << in.rdbuf();
    }
    const std::vector<std::string> files = {
        mediaPath("h264_aac.mp4"), mediaPath("seconds.mp4"),  mediaPath("one_frame.mp4"),
        mediaPath("vp9_opus.webm"), mediaPath("video_only.mp4"), mediaPath("truncated.mp4"),
        mediaPath("audio_only.m4a"), garbage, mediaPath("no_such_file.mp4")};

    SoakHost host(random);
    ASSERT_TRUE(host.ready()) << dlerror();
    host.create();

    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    // A command on whatever player exists when it runs; some delete it.
    auto randomCommand = [&]() -> std::function<void()> {
        switch (pick(7)) {
        case 0:
            return [&] { if (host.player()) host.player()->play(); };
        case 1:
            return [&] { if (host.player()) host.player()->pause(); };
        case 2:
            return [&] { if (host.player()) host.player()->stop(); };
        case 3: {
            const std::string path = files[size_t(pick(int(files.size())))];
            return [&, path] { if (host.player()) host.player()->load(QString::fromStdString(path)); };
        }
        case 4: {
            const int back = pick(600);
            return [&, back] {
                if (IMediaPlayer2 *p = host.player())
                    p->setCurrentTime(uint64_t(std::max<int64_t>(p->duration() - back, 0)));
            };
        }
        case 5:
            return [&] { host.destroy(); };
        default:
            return [&] { if (host.player()) host.player()->setRenderMode(int(random() % 4)); };
        }
    };

    QElapsedTimer elapsed;
    elapsed.start();
    long op = 0;
    for (; op < maxOps && elapsed.elapsed() < maxSeconds * 1000; ++op) {
        SCOPED_TRACE("operation " + std::to_string(op));
        if (!host.player())
            host.create();
        IMediaPlayer2 *p = host.player();
        const int kind = pick(100);
        if (kind < 14) {
            p->load(QString::fromStdString(files[size_t(pick(int(files.size())))]));
        } else if (kind < 32) {
            p->play();
        } else if (kind < 42) {
            p->pause();
        } else if (kind < 48) {
            p->stop();
        } else if (kind < 58) {
            p->setCurrentTime(uint64_t(pick(int(std::max<int64_t>(p->duration(), 1)) + 500)));
        } else if (kind < 66) {
            // Around the end, where the seek meets the end handling.
            p->setCurrentTime(uint64_t(std::max<int64_t>(p->duration() - pick(300), 0)));
            if (pick(2))
                p->play();
        } else if (kind < 70) {
            p->setVolume(float(pick(130) - 15) / 100.0f);
        } else if (kind < 74) {
            p->setRenderMode(pick(6) - 1);
        } else if (kind < 86) {
            static const int codes[] = {-1, EventPlaying, EventPaused, EventStopped, EventFinished,
                                        EventLoaded, EventLoadFailed, EventTimeChanged};
            host.arm(codes[pick(8)], randomCommand());
        } else if (kind < 89) {
            host.destroy();
            continue;
        } else {
            (void)p->statistics();
            (void)p->filePath();
            (void)p->videoWidth();
        }
        ASSERT_EQ(host.failure, "");

        // Let queued events through, then watch the clock over a quiet window.
        pump(pick(80));
        p = host.player();
        if (!p)
            continue;
        const int eventsBefore = host.stateEvents;
        const bool playing = p->isPlaying();
        const uint64_t before = p->currentTime();
        pump(40);
        if (host.player() != p || host.stateEvents != eventsBefore || p->isPlaying() != playing)
            continue; // something happened in the window: nothing to compare
        const uint64_t after = p->currentTime();
        const int64_t duration = p->duration();
        ASSERT_GE(duration, 0);
        if (playing)
            ASSERT_TRUE(after > before || (duration > 0 && after >= uint64_t(duration)))
                << "playing, yet the clock stands at " << before;
        else
            ASSERT_EQ(after, before) << "not playing, yet the clock runs";
        ASSERT_EQ(p->isPaused(), !playing);
    }
    std::printf("soak: %ld operations in %lld ms\n", op, static_cast<long long>(elapsed.elapsed()));
    host.destroy();
    pump(100);
    EXPECT_EQ(host.failure, "");
}
