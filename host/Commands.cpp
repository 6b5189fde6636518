#include "Commands.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Commands", text);
}

} // namespace

const QList<CommandInfo> &commands()
{
    static const QList<CommandInfo> table = {
        {Command::Open, QKeySequence(Qt::CTRL | Qt::Key_O), tr("&Open..."), tr("open a file")},
        {Command::Snapshot, QKeySequence(Qt::CTRL | Qt::Key_S), tr("Save &snapshot"),
         tr("save the picture as PNG in the Pictures folder")},
        {Command::MediaInfo, QKeySequence(Qt::CTRL | Qt::Key_I), tr("Media &information..."),
         tr("codec, size, frame rate, duration, sound, decoder")},
        {Command::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q), tr("&Quit"), tr("quit")},
        {Command::PlayPause, QKeySequence(Qt::Key_Space), tr("Play / &Pause"), tr("play / pause")},
        {Command::Stop, QKeySequence(Qt::Key_S), tr("&Stop"), tr("stop (back to the start)")},
        {Command::Back, QKeySequence(Qt::Key_Left), tr("&Back 5 s"), tr("back 5 s")},
        {Command::Forward, QKeySequence(Qt::Key_Right), tr("&Forward 5 s"), tr("forward 5 s")},
        {Command::VolumeUp, QKeySequence(Qt::Key_Up), tr("Volume &up"), tr("volume up 10 %")},
        {Command::VolumeDown, QKeySequence(Qt::Key_Down), tr("Volume &down"), tr("volume down 10 %")},
        {Command::Mute, QKeySequence(Qt::Key_M), tr("&Mute"), tr("mute / unmute")},
        {Command::FullScreen, QKeySequence(Qt::Key_F), tr("&Full screen"), tr("full screen on / off")},
        {Command::LeaveFullScreen, QKeySequence(Qt::Key_Escape), QString(), tr("leave full screen")},
        {Command::About, QKeySequence(Qt::Key_F1), tr("&About player-host"), tr("about")},
    };
    return table;
}

const CommandInfo &commandInfo(Command command)
{
    for (const CommandInfo &info : commands())
        if (info.command == command)
            return info;
    Q_UNREACHABLE();
}

QString keyHelpText()
{
    QString text;
    auto line = [&text](const QString &keys, const QString &what) {
        text += QStringLiteral("  %1 %2\n").arg(keys, -16).arg(what);
    };
    for (const CommandInfo &info : commands())
        line(info.key.toString(QKeySequence::PortableText), info.help);
    line(tr("Double-click"), tr("full screen on / off"));
    line(tr("Mouse wheel"), tr("volume (flat mode; in 360°/VR mode the wheel belongs to the view)"));
    return text;
}
