#ifndef QUILLMARSH_DRIVERPLUGIN_H
#define QUILLMARSH_DRIVERPLUGIN_H

#include <QLibrary>
#include <QList>
#include <QString>

#include "CDriveBaseClass.h"

// A driver plug-in as a host uses it: found on disk, loaded with QLibrary,
// driver objects made by its exported getSharedLibrary and released the way
// their owner must, since the interface itself has no deletion. The library
// stays loaded for the life of the process, so objects and their code never
// outlive each other by accident.
//
//   DriverPlugin plugin;                   // located as locate() says
//   CDriveBaseClass *driver = plugin.create();
//   if (!driver) qWarning() << plugin.errorString();
class DriverPlugin
{
public:
    // The plug-in at path; an empty path is located by locate().
    explicit DriverPlugin(const QString &path = QString());
    // Releases every object this plug-in made that is not released yet.
    ~DriverPlugin();
    DriverPlugin(const DriverPlugin &) = delete;
    DriverPlugin &operator=(const DriverPlugin &) = delete;

    // The plug-in to use: explicitPath when given, else $QUILLMARSH_PLUGIN,
    // else libQuillmarsh.so beside the running program (a build tree), else
    // <program dir>/../<libdir>/quillmarsh/libQuillmarsh.so (an installed
    // tree; quillmarsh-qt6/ for a host built against Qt 6). Hosts elsewhere
    // give the path: find_package(Quillmarsh) names it in Quillmarsh_PLUGIN
    // (QuillmarshQt6_PLUGIN for Qt 6), pkg-config in the variable "plugin".
    static QString locate(const QString &explicitPath = QString());

    QString path() const { return pluginPath; }
    // Loads the library and finds its factory; false with errorString() set.
    bool load();
    // A new driver object owned by this plug-in, or nullptr with errorString().
    CDriveBaseClass *create();
    // DestroyFree, then deletion through the object's QObject side.
    void release(CDriveBaseClass *driver);
    void releaseAll();
    QString errorString() const { return error; }

private:
    QString pluginPath;
    QLibrary library;
    GetSharedLibraryFn factory = nullptr;
    QList<CDriveBaseClass *> objects;
    QString error;
};

#endif
