#include "PluginLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

namespace {
const char kPluginFile[] = "libQuillmarsh.so";
const char kPluginEnv[] = "QUILLMARSH_PLUGIN";
const char kFactory[] = "getSharedLibrary";
} // namespace

QString PluginLoader::locate(const QString &explicitPath)
{
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString fromEnv = qEnvironmentVariable(kPluginEnv);
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString toolDir = QCoreApplication::applicationDirPath();
    const QString beside = toolDir + QLatin1Char('/') + QLatin1String(kPluginFile);
    const QString installed = toolDir + QStringLiteral("/../") + QLatin1String(QUILLMARSH_INSTALL_LIBDIR)
                              + QStringLiteral("/quillmarsh/") + QLatin1String(kPluginFile);
    if (QFileInfo::exists(beside) || !QFileInfo::exists(installed))
        return beside;
    return QFileInfo(installed).canonicalFilePath();
}

CDriveBaseClass *PluginLoader::create(const QString &path, QString *error)
{
    // The library stays loaded for the life of the process: driver objects
    // and their code must outlive this function.
    if (!QFileInfo::exists(path)) {
        // QLibrary would report the last of the name variants it tried.
        *error = QStringLiteral("plug-in not found: %1 (give --plugin PATH or set %2)")
                     .arg(path, QLatin1String(kPluginEnv));
        return nullptr;
    }
    QLibrary library(path);
    if (!library.load()) {
        *error = QStringLiteral("cannot load plug-in: %1").arg(library.errorString());
        return nullptr;
    }
    const auto factory = reinterpret_cast<GetSharedLibraryFn>(library.resolve(kFactory));
    if (!factory) {
        *error = QStringLiteral("plug-in %1 exports no %2").arg(path, QLatin1String(kFactory));
        return nullptr;
    }
    CDriveBaseClass *driver = factory();
    if (!driver)
        *error = QStringLiteral("plug-in %1 created no driver object").arg(path);
    return driver;
}
