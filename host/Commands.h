// The window's commands with their keys and texts: one table that the menus,
// the shortcuts and player-host --help are all built from. Pure data, read on
// the GUI thread (and by --help before any window exists).
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

enum class Command {
    Open,
    Quit,
    PlayPause,
    Stop,
    Back,
    Forward,
    VolumeUp,
    VolumeDown,
    Mute,
    FullScreen,
    LeaveFullScreen,
    MediaInfo,
    Snapshot,
    About,
};

struct CommandInfo {
    Command command;
    QKeySequence key; // plain keys, no QKeySequence::StandardKey: --help runs without a GUI
    QString menuText; // with the & of its menu mnemonic; empty: no menu entry
    QString help;     // one line for --help
};

// Every command, in menu order.
const QList<CommandInfo> &commands();

const CommandInfo &commandInfo(Command command);

// "  Space          play / pause" lines for --help, the mouse gestures included.
QString keyHelpText();
