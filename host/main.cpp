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

#include <cstdio>
#include <memory>

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
