#include "PluginDriver.h"

#include <QObject>

PluginDriver::~PluginDriver()
{
    if (!m_driver)
        return;
    m_driver->DestroyFree();
    // The interface offers no deletion; the object is a QObject underneath,
    // whose virtual destructor releases it like its owner would. The library
    // stays loaded: QLibrary does not unload on destruction.
    delete dynamic_cast<QObject *>(m_driver);
}

bool PluginDriver::load()
{
    const QString path = QString::fromLocal8Bit(qgetenv("QUILLMARSH_PLUGIN"));
    if (path.isEmpty()) {
        m_error = QStringLiteral("QUILLMARSH_PLUGIN is not set (run the test through ctest)");
        return false;
    }
    m_library.setFileName(path);
    if (!m_library.load()) {
        m_error = QStringLiteral("cannot load %1: %2").arg(path, m_library.errorString());
        return false;
    }
    const auto factory = reinterpret_cast<GetSharedLibraryFn>(m_library.resolve("getSharedLibrary"));
    if (!factory) {
        m_error = QStringLiteral("%1 exports no getSharedLibrary").arg(path);
        return false;
    }
    m_driver = factory();
    if (!m_driver) {
        m_error = QStringLiteral("getSharedLibrary returned no driver");
        return false;
    }
    return true;
}
