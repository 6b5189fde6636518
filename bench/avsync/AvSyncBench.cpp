// Sound against picture, measured as a viewer meets them: the null sink's
// monitor recorded and the picture's centre sampled on the screen, on one
// clock (tests/common/SoundRecorder and a sampler of the screen). Plays the flash-and-beep clips with the
// plug-in (loaded with dlopen, as a host does) and then with mpv (when it is
// installed), and prints sound minus picture per phase: the start, after a
// pause, after a seek, and a clip whose sound starts 1.5 s late.
// With --drift MINUTES both play a long flash clip instead and compare the
// offsets of its first and last 30 s; for the plug-in it also prints where its
// clock stood at each beep heard and each flash seen, which tells a drift of
// the sound path from one of the picture path.
// Usage: avsync-bench MEDIA_DIR [--drift MINUTES] [--no-mpv]
#include "IMediaPlayer2.h"
#include "common/SoundRecorder.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <string>
#include <vector>

namespace {

// Samples a point of the screen every ~2 ms on the GUI thread while the event
// loop runs, and notes when it turns white.
class FlashSampler {
public:
    explicit FlashSampler(std::function<QPoint()> where) : where(std::move(where))
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const QPoint p = this->where();
            const int64_t at = steadyUs();
            const bool nowWhite = QGuiApplication::primaryScreen()->grabWindow(0, p.x(), p.y(), 1, 1).toImage()
                                      .pixelColor(0, 0)
                                      .lightness() > 160;
            if (nowWhite && !white)
                onsets.push_back(at);
            if (clock)
                clockSamples.emplace_back(steadyUs(), clock());
            white = nowWhite;
        });
        timer.start(2);
    }
    std::vector<int64_t> onsetsUs() const { return onsets; }
    // Samples the player's position at each pass as well, to tell which side moves in a drift run.
    void followClock(std::function<int64_t()> read) { clock = std::move(read); }
    // The position at steady time us, from the nearest sample before it (-1: none).
    int64_t clockAt(int64_t us) const
    {
        auto after = std::upper_bound(clockSamples.begin(), clockSamples.end(), std::make_pair(us, INT64_MAX));
        if (after == clockSamples.begin())
            return -1;
        --after;
        return after->second + (us - after->first) / 1000;
    }

private:
    std::function<QPoint()> where;
    std::function<int64_t()> clock;
    std::vector<std::pair<int64_t, int64_t>> clockSamples;
    QTimer timer;
    bool white = false;
    std::vector<int64_t> onsets;
};

// Sound minus picture, in ms, for each flash that has a beep within ±400 ms.
std::vector<double> syncOffsetsMs(const std::vector<int64_t> &beepsUs, const std::vector<int64_t> &flashesUs)
{
    std::vector<double> result;
    for (int64_t flash : flashesUs) {
        const auto beep = std::find_if(beepsUs.begin(), beepsUs.end(),
                                       [&](int64_t b) { return std::llabs(b - flash) <= 400000; });
        if (beep != beepsUs.end())
            result.push_back(double(*beep - flash) / 1000.0);
    }
    return result;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One phase's offsets as "mean (min..max, n)" in ms.
std::string summary(const std::vector<double> &offsets)
{
    if (offsets.empty())
        return "no flash paired with a beep";
    double sum = 0;
    for (double o : offsets)
        sum += o;
    const auto [lo, hi] = std::minmax_element(offsets.begin(), offsets.end());
    char text[96];
    std::snprintf(text, sizeof text, "%+6.1f ms (%+.1f..%+.1f, n=%zu)", sum / double(offsets.size()), *lo, *hi,
                  offsets.size());
    return text;
}

struct Phase {
    const char *name;
    int64_t fromUs, toUs;
};

void report(const char *who, const SoundRecorder &sound, const FlashSampler &picture, const std::vector<Phase> &phases)
{
    const std::vector<int64_t> beeps = sound.onsetsUs(0.25, 300);
    for (const Phase &phase : phases) {
        std::vector<int64_t> flashes;
        for (int64_t at : picture.onsetsUs())
            if (at >= phase.fromUs && at < phase.toUs)
                flashes.push_back(at);
        std::printf("%-12s %-14s sound - picture %s\n", who, phase.name, summary(syncOffsetsMs(beeps, flashes)).c_str());
        if (picture.clockAt(phase.fromUs + 1000000) < 0)
            continue;
        // Where the player's clock stood when each beep was heard and each
        // flash was seen, against the whole second they belong to.
        for (const auto &[what, onsets] : {std::make_pair("beep", beeps), std::make_pair("flash", flashes)}) {
            std::vector<double> lags;
            for (int64_t at : onsets) {
                const int64_t clock = picture.clockAt(at);
                if (at >= phase.fromUs && at < phase.toUs && clock > 0)
                    lags.push_back(double(clock - (clock + 500) / 1000 * 1000));
            }
            std::printf("%-12s %-14s clock at %-5s %s\n", who, phase.name, what, summary(lags).c_str());
        }
    }
}

// The plug-in in a 320x240 window at the screen's corner.
class Plugin {
public:
    Plugin()
    {
        void *library = dlopen(PLA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        auto create = library ? reinterpret_cast<CreatePlayerFunction>(dlsym(library, "CreateSw")) : nullptr;
        player = create ? create() : nullptr;
        if (!player)
            return;
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(player->widget());
        window.setGeometry(0, 0, 320, 240);
        window.show();
        player->addListener([this](int code) { last = code; });
        player->setVolume(1.0f);
        runFor(300);
    }
    ~Plugin()
    {
        if (player) {
            player->widget()->setParent(nullptr);
            delete player;
        }
    }
    bool open(const std::string &path)
    {
        last = -1;
        player->load(QString::fromStdString(path));
        return last == EventLoaded;
    }
    void playUntil(uint64_t ms)
    {
        player->play();
        for (int i = 0; i < 4000 && player->currentTime() < ms; ++i)
            runFor(5);
    }
    // Runs the event loop until the position reaches ms or the play stops
    // (or stalls: twice the time left, and 10 s more).
    void waitUntil(uint64_t ms)
    {
        const int64_t left = int64_t(ms) - int64_t(player->currentTime());
        const int64_t deadline = steadyUs() + (std::max<int64_t>(left, 0) * 2 + 10000) * 1000;
        while (player->isPlaying() && player->currentTime() < ms && steadyUs() < deadline)
            runFor(5);
    }
    IMediaPlayer2 *player = nullptr;
    QWidget window;
    int last = -1;
};

void measurePlugin(const std::string &media, int driftMinutes)
{
    Plugin plugin;
    if (!plugin.player) {
        std::printf("PlayerLibAV: no player from %s\n", PLA_PLUGIN_PATH);
        return;
    }
    SoundRecorder sound;
    if (!sound.start()) {
        std::printf("recording failed: %s\n", sound.error().c_str());
        return;
    }
    QWidget *window = &plugin.window;
    FlashSampler picture([window] { return window->mapToGlobal(QPoint(window->width() / 2, window->height() / 2)); });
    picture.followClock([&plugin] { return int64_t(plugin.player->currentTime()); });
    std::vector<Phase> phases;
    if (driftMinutes > 0) {
        plugin.open(media + "/av_flash_long.mp4");
        const uint64_t lengthMs = plugin.player->duration();
        const int64_t t0 = steadyUs();
        plugin.player->play();
        plugin.waitUntil(30000);
        phases.push_back({"first 30 s", t0, steadyUs()});
        // Reported now and again at the end: what the recording shows of a
        // phase must not change with what it records later. The report keeps
        // this thread busy for a while; the play goes on meanwhile, and is
        // never played again (a play after the end starts it anew).
        report("PlayerLibAV", sound, picture, phases);
        plugin.waitUntil(lengthMs - 30500);
        const int64_t t1 = steadyUs();
        const uint64_t from = plugin.player->currentTime();
        plugin.waitUntil(lengthMs - 500);
        if (from + 20000 > lengthMs)
            std::printf("PlayerLibAV  the last phase began at %.1f s of %.1f s\n", from / 1000.0, lengthMs / 1000.0);
        phases.push_back({"last 30 s", t1, steadyUs()});
        report("PlayerLibAV", sound, picture, phases);
        return;
    }
    plugin.open(media + "/av_flash.mp4");
    int64_t t = steadyUs();
    plugin.playUntil(2500);
    plugin.player->pause();
    phases.push_back({"start", t, steadyUs()});
    runFor(700);
    t = steadyUs();
    plugin.playUntil(4500);
    phases.push_back({"after pause", t, steadyUs()});
    t = steadyUs();
    plugin.player->setCurrentTime(5400);
    runFor(50);
    plugin.playUntil(7500);
    plugin.player->stop();
    phases.push_back({"after seek", t, steadyUs()});
    plugin.open(media + "/av_flash_late.mp4");
    t = steadyUs();
    plugin.playUntil(4500);
    plugin.player->stop();
    phases.push_back({"late sound", t, steadyUs()});
    report("PlayerLibAV", sound, picture, phases);
}

// mpv in a 320x240 window at the screen's corner, driven through its IPC socket.
void measureMpv(const std::string &media, int driftMinutes)
{
    const QString mpv = QStandardPaths::findExecutable("mpv");
    if (mpv.isEmpty()) {
        std::printf("mpv          not installed\n");
        return;
    }
    SoundRecorder sound;
    if (!sound.start())
        return;
    FlashSampler picture([] { return QPoint(160, 120); });
    const QString socketPath = QStringLiteral("/tmp/avsync-mpv-%1").arg(QCoreApplication::applicationPid());
    std::vector<Phase> phases;
    const std::vector<const char *> clips = driftMinutes > 0 ? std::vector<const char *>{"av_flash_long.mp4"}
                                                             : std::vector<const char *>{"av_flash.mp4", "av_flash_late.mp4"};
    for (const char *clip : clips) {
        QProcess player;
        player.start(mpv, {"--no-config", "--vo=x11", "--ao=pulse", "--really-quiet", "--geometry=320x240+0+0",
                           "--keep-open=no", "--input-ipc-server=" + socketPath,
                           QString::fromStdString(media + "/" + clip)});
        const int64_t started = steadyUs();
        QLocalSocket ipc;
        for (int i = 0; i < 200 && ipc.state() != QLocalSocket::ConnectedState; ++i) {
            ipc.connectToServer(socketPath);
            if (!ipc.waitForConnected(20))
                runFor(20);
        }
        auto command = [&](const char *json) {
            ipc.write(json);
            ipc.write("\n");
            ipc.flush();
        };
        if (driftMinutes > 0) {
            runFor(30000);
            phases.push_back({"first 30 s", started, steadyUs()});
            for (int minute = 1; minute < driftMinutes; ++minute)
                runFor(60000);
            const int64_t t = steadyUs();
            runFor(29000);
            phases.push_back({"last 30 s", t, steadyUs()});
        } else if (std::strcmp(clip, "av_flash.mp4") == 0) {
            runFor(2500);
            command(R"({"command":["set_property","pause",true]})");
            phases.push_back({"start", started, steadyUs()});
            runFor(700);
            int64_t t = steadyUs();
            command(R"({"command":["set_property","pause",false]})");
            runFor(2000);
            phases.push_back({"after pause", t, steadyUs()});
            t = steadyUs();
            command(R"({"command":["seek",5.4,"absolute"]})");
            runFor(2100);
            phases.push_back({"after seek", t, steadyUs()});
        } else {
            runFor(4500);
            phases.push_back({"late sound", started, steadyUs()});
        }
        player.terminate();
        player.waitForFinished(3000);
    }
    report("mpv", sound, picture, phases);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MEDIA_DIR [--drift MINUTES] [--no-mpv]\n", argv[0]);
        return 2;
    }
    const std::string media = argv[1];
    int driftMinutes = 0;
    bool withMpv = true;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--drift") == 0 && i + 1 < argc)
            driftMinutes = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--no-mpv") == 0)
            withMpv = false;
    }
    measurePlugin(media, driftMinutes);
    if (withMpv)
        measureMpv(media, driftMinutes);
    return 0;
}
