#include "CommandLine.h"

#include "Commands.h"
#include "Formatting.h"
#include "IMediaPlayer2.h"

#include <QCommandLineParser>

namespace {

bool toMs(const QString &text, int64_t *ms)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 0)
        return false;
    *ms = value;
    return true;
}

// A render mode by name ("flat", "vr", "360") or by code 0 to 3.
bool toRenderMode(const QString &text, int *code)
{
    const QString name = text.toLower();
    if (name == QLatin1String("flat")) {
        *code = RenderModeNormal;
        return true;
    }
    if (name == QLatin1String("vr") || name == QLatin1String("360")) {
        *code = RenderModeVR;
        return true;
    }
    bool ok = false;
    *code = text.toInt(&ok);
    return ok && *code >= RenderModeNormal && *code <= RenderModeVR;
}

QString description()
{
    return QStringLiteral(
               "Plays a video file through the PlayerLibAV plug-in.\n"
               "With --play-for, --seek, --pause-at, --screenshot, --screenshot-at or --exit-after it runs\n"
               "as a script: plays the file, logs every event on stdout and exits by itself.\n"
               "\n"
               "Keys in the player window:\n%1"
               "\n"
               "Render modes (--mode, View > Render mode):\n"
               "  flat (0)       %2: the picture at its own shape, as large as fits, black bars around\n"
               "  vr (3)         %3: a 360° picture on the inside of a sphere, for an OpenVR\n"
               "                 headset, mirrored side by side in the window; without one, a view\n"
               "                 turned by dragging (or --look)\n"
               "  1, 2           accepted by the plug-in but draw nothing; not in the menu")
        .arg(keyHelpText(), renderModeName(RenderModeNormal), renderModeName(RenderModeVR));
}

} // namespace

bool CommandLine::asksForHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--")
            return false;
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-?" || arg == "-v" ||
            arg == "--version")
            return true;
    }
    return false;
}

bool CommandLine::fail(const QString &message)
{
    error = message;
    return false;
}

bool CommandLine::takePluginOption(int &argc, char **argv)
{
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--") { // the rest are positional
            while (i < argc)
                argv[kept++] = argv[i++];
            break;
        }
        if (arg == "--plugin" || arg == "-plugin") {
            if (i + 1 >= argc)
                return fail(QStringLiteral("--plugin wants a path"));
            pluginFromArgv = QString::fromLocal8Bit(argv[++i]);
        } else if (arg.startsWith("--plugin=")) {
            pluginFromArgv = QString::fromLocal8Bit(arg.mid(9));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return true;
}

bool CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addVersionOption();

    const QCommandLineOption sw(QStringLiteral("sw"), QStringLiteral("Software decoding, flat picture (CreateSw, default)."));
    const QCommandLineOption hw(QStringLiteral("hw"), QStringLiteral("Hardware decoding, flat picture (CreateHw)."));
    const QCommandLineOption vr(QStringLiteral("vr"), QStringLiteral("Hardware decoding, VR mode (CreateHwVr)."));
    const QCommandLineOption plugin(QStringLiteral("plugin"), QStringLiteral("The plug-in library to load."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Window size (default 960x600)."),
                                  QStringLiteral("WxH"));
    const QCommandLineOption volume(QStringLiteral("volume"), QStringLiteral("Volume from 0 to 1 (default 1)."),
                                    QStringLiteral("V"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("Render mode: flat, vr, or a code 0 to 3 (default: the factory's)."),
                                  QStringLiteral("MODE"));
    const QCommandLineOption look(QStringLiteral("look"),
                                  QStringLiteral("After loading, drag the VR view YAW degrees right, PITCH up."),
                                  QStringLiteral("YAW,PITCH"));
    const QCommandLineOption logEvents(QStringLiteral("log-events"),
                                       QStringLiteral("Print every event also when not scripted."));
    const QCommandLineOption playFor(QStringLiteral("play-for"),
                                     QStringLiteral("Pause after MS of playing, then end the script."),
                                     QStringLiteral("MS"));
    const QCommandLineOption seek(QStringLiteral("seek"), QStringLiteral("Seek to MS once playing."),
                                  QStringLiteral("MS"));
    const QCommandLineOption pauseAt(QStringLiteral("pause-at"),
                                     QStringLiteral("Pause when the position reaches MS, then end the script."),
                                     QStringLiteral("MS"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save the video widget's pixels as PNG when the script ends."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption screenshotAt(QStringLiteral("screenshot-at"),
                                          QStringLiteral("Save the widget's pixels when the position reaches MS "
                                                         "(repeatable)."),
                                          QStringLiteral("MS:PATH"));
    const QCommandLineOption exitAfter(QStringLiteral("exit-after"),
                                       QStringLiteral("End the script MS after start at the latest."),
                                       QStringLiteral("MS"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Fail a script still running after MS (default 120000)."),
                                     QStringLiteral("MS"));
    parser.addOptions({sw, hw, vr, plugin, size, volume, mode, look, logEvents, playFor, seek, pauseAt, screenshot,
                       screenshotAt, exitAfter, timeout});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("The video file to open (optional: File > Open or drop one)."),
                                 QStringLiteral("[FILE]"));
    parser.process(arguments);

    const int factories = parser.isSet(sw) + parser.isSet(hw) + parser.isSet(vr);
    if (factories > 1)
        return fail(QStringLiteral("choose one of --sw, --hw and --vr"));
    if (parser.isSet(hw))
        opts.factory = PluginLoader::Factory::Hw;
    else if (parser.isSet(vr))
        opts.factory = PluginLoader::Factory::HwVr;

    if (parser.isSet(plugin))
        opts.pluginPath = parser.value(plugin);
    else if (!pluginFromArgv.isEmpty())
        opts.pluginPath = pluginFromArgv;
    else
        opts.pluginPath = PluginLoader::defaultPath();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return fail(QStringLiteral("give one file to play"));
    if (!positional.isEmpty())
        opts.file = positional.first();

    if (parser.isSet(size)) {
        const QStringList parts = parser.value(size).split(QLatin1Char('x'));
        const int w = parts.size() == 2 ? parts[0].toInt() : 0;
        const int h = parts.size() == 2 ? parts[1].toInt() : 0;
        if (w <= 0 || h <= 0)
            return fail(QStringLiteral("--size wants WIDTHxHEIGHT, got %1").arg(parser.value(size)));
        opts.windowSize = QSize(w, h);
    }
    if (parser.isSet(volume)) {
        bool ok = false;
        opts.volume = parser.value(volume).toFloat(&ok);
        if (!ok || opts.volume < 0 || opts.volume > 1)
            return fail(QStringLiteral("--volume wants a number from 0 to 1"));
    }
    if (parser.isSet(mode) && !toRenderMode(parser.value(mode), &opts.renderMode))
        return fail(QStringLiteral("--mode wants flat, vr or a render-mode code from 0 to 3"));
    if (parser.isSet(look)) {
        const QStringList parts = parser.value(look).split(QLatin1Char(','));
        bool yawOk = false, pitchOk = false;
        opts.lookRightDegrees = parts.size() == 2 ? parts[0].toFloat(&yawOk) : 0.0f;
        opts.lookUpDegrees = parts.size() == 2 ? parts[1].toFloat(&pitchOk) : 0.0f;
        if (!yawOk || !pitchOk)
            return fail(QStringLiteral("--look wants YAW,PITCH in degrees, got %1").arg(parser.value(look)));
        opts.look = true;
    }
    opts.logEvents = parser.isSet(logEvents);

    const QList<QPair<const QCommandLineOption *, int64_t *>> times = {
        {&playFor, &opts.playForMs}, {&seek, &opts.seekMs},         {&pauseAt, &opts.pauseAtMs},
        {&exitAfter, &opts.exitAfterMs}, {&timeout, &opts.timeoutMs}};
    for (const auto &t : times) {
        if (parser.isSet(*t.first) && !toMs(parser.value(*t.first), t.second))
            return fail(QStringLiteral("--%1 wants milliseconds, got %2")
                            .arg(t.first->names().first(), parser.value(*t.first)));
    }
    opts.screenshot = parser.value(screenshot);
    for (const QString &value : parser.values(screenshotAt)) {
        const int colon = value.indexOf(QLatin1Char(':'));
        int64_t ms = 0;
        if (colon <= 0 || colon == value.size() - 1 || !toMs(value.left(colon), &ms))
            return fail(QStringLiteral("--screenshot-at wants MS:PATH, got %1").arg(value));
        opts.screenshotsAt.append({ms, value.mid(colon + 1)});
    }

    opts.scripted = parser.isSet(playFor) || parser.isSet(seek) || parser.isSet(pauseAt) ||
                    parser.isSet(screenshot) || parser.isSet(screenshotAt) || parser.isSet(exitAfter);
    if (opts.scripted && opts.file.isEmpty())
        return fail(QStringLiteral("a script needs a file to play"));
    return true;
}
