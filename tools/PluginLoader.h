#ifndef QUILLMARSH_PLUGINLOADER_H
#define QUILLMARSH_PLUGINLOADER_H

#include <QString>

#include "CDriveBaseClass.h"

// Finds the driver plug-in, loads it with QLibrary and creates driver
// objects through its exported factory getSharedLibrary.
class PluginLoader
{
public:
    // The plug-in to use: the given path, else $QUILLMARSH_PLUGIN, else the
    // first of <tool dir>/libQuillmarsh.so (build tree) and
    // <tool dir>/../<libdir>/quillmarsh/libQuillmarsh.so (installed) that exists.
    static QString locate(const QString &explicitPath);
    // A new driver object, or nullptr with *error holding QLibrary's reason.
    static CDriveBaseClass *create(const QString &path, QString *error);
};

#endif
