#include "LoadedDriver.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QObject>

namespace {

struct Factory
{
    GetSharedLibraryFn create = nullptr;
    QString error;
};

// Resolved once; the library stays loaded for the life of the process.
const Factory &factory()
{
    static const Factory resolved = [] {
        Factory f;
        QLibrary library(LoadedDriver::pluginPath());
        if (!library.load()) {
            f.error = library.errorString();
            return f;
        }
        f.create = reinterpret_cast<GetSharedLibraryFn>(library.resolve("getSharedLibrary"));
        if (!f.create)
            f.error = library.errorString();
        return f;
    }();
    return resolved;
}

} // namespace

LoadedDriver::LoadedDriver()
{
    if (factory().create)
        m_driver = factory().create();
}

LoadedDriver::~LoadedDriver()
{
    // The interface offers no deletion: the object is a QObject, so its
    // owner deletes it as one.
    delete dynamic_cast<QObject *>(m_driver);
}

QString LoadedDriver::pluginPath()
{
    const QString fromEnv = qEnvironmentVariable("QUILLMARSH_PLUGIN");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/libQuillmarsh.so");
}

QString LoadedDriver::loadError()
{
    return factory().error;
}
