// The command line of player-host: which plug-in and factory, the file, window
// options and the scripted-mode steps. Parsed once in main() on the GUI thread.
#pragma once

#include "PluginLoader.h"

#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>

struct HostOptions {
    PluginLoader::Factory factory = PluginLoader::Factory::Sw;
    QString pluginPath;
    QString file;
    QSize windowSize{960, 600};
    float volume = 1.0f;
    int renderMode = -1;   // < 0: leave the factory's mode
    bool logEvents = false;
    // --look: after each load, a mouse drag that turns the VR mode's desktop
    // view this many degrees to the right and up.
    bool look = false;
    float lookRightDegrees = 0.0f;
    float lookUpDegrees = 0.0f;

    // Scripted mode: any of these makes the run a script that ends by itself.
    int64_t playForMs = -1;
    int64_t seekMs = -1;
    int64_t pauseAtMs = -1;
    int64_t exitAfterMs = -1;
    int64_t timeoutMs = 120000;
    QString screenshot;
    QList<QPair<int64_t, QString>> screenshotsAt; // media position, file
    bool scripted = false;
};

class CommandLine {
public:
    // Whether the arguments ask for --help or --version, which need no display:
    // main() answers them with a QCoreApplication before any window system is opened.
    static bool asksForHelpOrVersion(int argc, char **argv);

    // QGuiApplication treats -plugin and --plugin as its own option and takes them
    // out of the arguments, so ours must be taken out of argv before the application
    // object is made. Returns false when --plugin has no value.
    bool takePluginOption(int &argc, char **argv);

    // Parses the application's arguments. On --help or --version Qt prints and
    // exits; on an error returns false with errorString() set.
    bool parse(const QStringList &arguments);

    const HostOptions &options() const { return opts; }
    QString errorString() const { return error; }

private:
    bool fail(const QString &message);

    HostOptions opts;
    QString error;
    QString pluginFromArgv;
};
