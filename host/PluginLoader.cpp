#include "PluginLoader.h"

#include "IMediaPlayer2.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

const char *PluginLoader::symbolName(Factory factory)
{
    switch (factory) {
    case Factory::Hw: return "CreateHw";
    case Factory::HwVr: return "CreateHwVr";
    case Factory::Sw: break;
    }
    return "CreateSw";
}

QString PluginLoader::defaultPath()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(PLAYERLIBAV_INSTALLED_PLUGIN));
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    return QStringLiteral(PLAYERLIBAV_BUILD_TREE_PLUGIN);
}

bool PluginLoader::load(const QString &path)
{
    // A path must name the file itself: QLibrary would otherwise try suffixes and
    // "lib" prefixes and could pick up another copy.
    if (!QFileInfo::exists(path)) {
        error = QStringLiteral("plug-in library not found: %1").arg(path);
        return false;
    }
    library.setFileName(QFileInfo(path).absoluteFilePath());
    if (!library.load()) {
        error = QStringLiteral("cannot load the plug-in library: %1").arg(library.errorString());
        return false;
    }
    error.clear();
    return true;
}

IMediaPlayer2 *PluginLoader::create(Factory factory)
{
    auto create = reinterpret_cast<CreatePlayerFunction>(library.resolve(symbolName(factory)));
    if (!create) {
        error = QStringLiteral("%1 has no factory %2").arg(library.fileName(), symbolName(factory));
        return nullptr;
    }
    IMediaPlayer2 *player = create();
    if (!player)
        error = QStringLiteral("%1 returned no player").arg(symbolName(factory));
    return player;
}
