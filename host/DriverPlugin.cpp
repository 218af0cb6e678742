#include "DriverPlugin.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QObject>

namespace {
const char kPluginFile[] = "libQuillmarsh.so";
const char kPluginEnv[] = "QUILLMARSH_PLUGIN";
const char kFactory[] = "getSharedLibrary";

QString installedBeside(const QString &programDir)
{
    return programDir + QStringLiteral("/../") + QLatin1String(QUILLMARSH_INSTALL_LIBDIR)
           + QStringLiteral("/quillmarsh/") + QLatin1String(kPluginFile);
}
} // namespace

DriverPlugin::DriverPlugin(const QString &path) : pluginPath(locate(path)) {}

DriverPlugin::~DriverPlugin()
{
    releaseAll();
}

QString DriverPlugin::locate(const QString &explicitPath)
{
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString fromEnv = qEnvironmentVariable(kPluginEnv);
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QLatin1Char('/') + QLatin1String(kPluginFile);
    const QString installed = installedBeside(programDir);
    if (QFileInfo::exists(beside) || !QFileInfo::exists(installed))
        return beside;
    return QFileInfo(installed).canonicalFilePath();
}

bool DriverPlugin::load()
{
    if (factory)
        return true;
    // QLibrary would report only the last of the name variants it tried.
    if (!QFileInfo::exists(pluginPath)) {
        error = QStringLiteral("plug-in not found: %1 (give --plugin PATH or set %2)")
                    .arg(pluginPath, QLatin1String(kPluginEnv));
        return false;
    }
    library.setFileName(pluginPath);
    if (!library.load()) {
        error = QStringLiteral("cannot load plug-in: %1").arg(library.errorString());
        return false;
    }
    factory = reinterpret_cast<GetSharedLibraryFn>(library.resolve(kFactory));
    if (!factory)
        error = QStringLiteral("plug-in %1 exports no %2").arg(pluginPath, QLatin1String(kFactory));
    return factory != nullptr;
}

CDriveBaseClass *DriverPlugin::create()
{
    if (!load())
        return nullptr;
    CDriveBaseClass *driver = factory();
    if (driver)
        objects.append(driver);
    else
        error = QStringLiteral("plug-in %1 created no driver object").arg(pluginPath);
    return driver;
}

void DriverPlugin::release(CDriveBaseClass *driver)
{
    if (!driver || !objects.removeOne(driver))
        return;
    driver->DestroyFree();
    // Every plug-in built against this host header makes QObjects.
    delete dynamic_cast<QObject *>(driver);
}

void DriverPlugin::releaseAll()
{
    while (!objects.isEmpty())
        release(objects.last());
}
