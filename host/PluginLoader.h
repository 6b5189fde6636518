// Loads libPlayerLibAV.so with QLibrary and creates players through its factories.
// Used on the GUI thread. The library stays loaded until the process ends: players
// and the Qt objects they made live in its code.
#pragma once

#include <QLibrary>
#include <QString>

class IMediaPlayer2;

class PluginLoader {
public:
    enum class Factory { Sw, Hw, HwVr };

    // "CreateSw", "CreateHw" or "CreateHwVr".
    static const char *symbolName(Factory factory);

    // The library beside an installed player-host if there is one, else the one
    // this host was built with.
    static QString defaultPath();

    // False with errorString() set when the file cannot be loaded.
    bool load(const QString &path);

    // A new player from the chosen factory, owned by the caller; null with
    // errorString() set when the factory is missing.
    IMediaPlayer2 *create(Factory factory);

    QString fileName() const { return library.fileName(); }
    QString errorString() const { return error; }

private:
    QLibrary library;
    QString error;
};
