// player-host: a desktop video player around the PlayerLibAV plug-in, and in
// scripted mode the harness of the end-to-end tests and of the demo.
#include "CommandLine.h"
#include "Formatting.h"
#include "IMediaPlayer2.h"
#include "MainWindow.h"
#include "PluginLoader.h"
#include "ScriptRunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QtGlobal>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Turns the VR mode's desktop view as a user would: a drag across the video
// widget, which moves the picture with the pointer by 4 pixels per degree.
void dragView(QWidget *video, float rightDegrees, float upDegrees)
{
    const QPoint from(video->width() / 2, video->height() / 2);
    const QPoint to = from + QPoint(qRound(-4.0f * rightDegrees), qRound(4.0f * upDegrees));
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(video, &press);
    QApplication::sendEvent(video, &move);
    QApplication::sendEvent(video, &release);
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer clock;
    clock.start();

    CommandLine commandLine;
    const bool pluginOptionOk = commandLine.takePluginOption(argc, argv);
    const auto name = QStringLiteral("player-host");
    const auto version = QStringLiteral(PLAYERLIBAV_VERSION_STRING);

    // --help and --version print and exit inside parse(); they need no display.
    if (CommandLine::asksForHelpOrVersion(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(name);
        QCoreApplication::setApplicationVersion(version);
        if (!commandLine.parse(QCoreApplication::arguments())) {
            std::fprintf(stderr, "player-host: %s (see --help)\n", qPrintable(commandLine.errorString()));
            return 2;
        }
        return 0;
    }
    // QApplication aborts without a window system: say so and leave instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "player-host: no display (DISPLAY is not set); see --help\n");
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(name);
    QApplication::setApplicationVersion(version);

    if (!pluginOptionOk || !commandLine.parse(QApplication::arguments())) {
        std::fprintf(stderr, "player-host: %s (see --help)\n", qPrintable(commandLine.errorString()));
        return 2;
    }
    const HostOptions &options = commandLine.options();

    PluginLoader loader;
    if (!loader.load(options.pluginPath)) {
        std::fprintf(stderr, "player-host: %s\n", qPrintable(loader.errorString()));
        return 2;
    }
    IMediaPlayer2 *player = loader.create(options.factory);
    if (!player) {
        std::fprintf(stderr, "player-host: %s\n", qPrintable(loader.errorString()));
        return 2;
    }

    auto window = std::make_unique<MainWindow>(player);
    window->setPluginInfo(loader.fileName(), options.factory);
    window->setVolume(options.volume);
    if (options.renderMode >= 0)
        window->setRenderMode(options.renderMode);
    window->resize(options.windowSize);
    window->show();
    if (options.look)
        QObject::connect(window.get(), &MainWindow::playerEvent, window.get(), [&window, &options](int code) {
            // Once load() has returned and the mode is installed.
            if (code == EventLoaded)
                QTimer::singleShot(0, window.get(), [&window, &options] {
                    dragView(window->player()->widget(), options.lookRightDegrees, options.lookUpDegrees);
                });
        });

    int status = 0;
    if (options.scripted || options.logEvents) {
        std::printf("plugin %s factory %s\n", qPrintable(loader.fileName()), PluginLoader::symbolName(options.factory));
        std::fflush(stdout);
    }
    if (options.scripted) {
        window->setErrorDialogs(false);
        ScriptRunner runner(window.get(), options, clock);
        QObject::connect(&runner, &ScriptRunner::finished, &app, [](int code) { QApplication::exit(code); });
        runner.start();
        status = QApplication::exec();
    } else {
        if (options.logEvents) {
            QObject::connect(window.get(), &MainWindow::playerEvent, [&clock, &window](int code) {
                std::printf("event %d %s t=%lldms pos=%llums\n", code, qPrintable(eventName(code)),
                            static_cast<long long>(clock.elapsed()),
                            static_cast<unsigned long long>(window->player()->currentTime()));
                std::fflush(stdout);
            });
        }
        if (!options.file.isEmpty())
            window->openFile(options.file, true);
        status = QApplication::exec();
    }
    // The window takes the plug-in's widget out of itself before deleting the player.
    window.reset();
    return status;
}
