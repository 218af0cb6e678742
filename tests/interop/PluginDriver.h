#ifndef QUILLMARSH_PLUGINDRIVER_H
#define QUILLMARSH_PLUGINDRIVER_H

#include <QLibrary>
#include <QString>

#include "CDriveBaseClass.h"

// One driver object of the plug-in, obtained the way a host obtains it: the
// library named by QUILLMARSH_PLUGIN, its exported getSharedLibrary factory,
// and nothing but the CDriveBaseClass interface from then on.
class PluginDriver
{
public:
    PluginDriver() = default;
    ~PluginDriver();
    PluginDriver(const PluginDriver &) = delete;
    PluginDriver &operator=(const PluginDriver &) = delete;

    // False with lastError() when the library or its factory is missing.
    bool load();
    QString lastError() const { return m_error; }

    CDriveBaseClass *operator->() const { return m_driver; }

private:
    QLibrary m_library;
    CDriveBaseClass *m_driver = nullptr;
    QString m_error;
};

#endif
