#include "DriverPlugin.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QObject>

namespace {
const char kPluginFile[] = "libQuillmarsh.so";
const char kPluginEnv[] = "QUILLMARSH_PLUGIN";
const char kFactory[] = "getSharedLibrary";

QString installedBeside(const QString &programDir)
{
    return programDir + QStringLiteral("/../") + QLatin1String(QUILLMARSH_INSTALL_PLUGINDIR)
           + QLatin1Char('/') + QLatin1String(kPluginFile);
}

// The major version of the QtCore that the library at path needs (the
// soname libQt<N>Core.so.<N> among its dynamic strings), or 0 when it names
// none of Qt 5 and Qt 6. Read before loading: a plug-in of another Qt would
// bring its own QtCore into the process and misread every QString, QList and
// QVariant that crosses the interface.
int neededQtMajor(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const uchar *image = file.map(0, file.size());
    if (!image)
        return 0;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(image), int(file.size()));
    for (int major : {5, 6}) {
        if (bytes.contains(QStringLiteral("libQt%1Core.so.%1").arg(major).toLatin1()))
            return major;
    }
    return 0;
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
    const int pluginQt = neededQtMajor(pluginPath);
    if (pluginQt != 0 && pluginQt != QT_VERSION_MAJOR) {
        error = QStringLiteral("plug-in %1 is built against Qt %2, this host against Qt %3 (a Qt %3 host loads "
                               "the plug-in of the quillmarsh%4 package)")
                    .arg(pluginPath).arg(pluginQt).arg(QT_VERSION_MAJOR)
                    .arg(QT_VERSION_MAJOR == 6 ? QStringLiteral("-qt6") : QString());
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
