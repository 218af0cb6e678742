#ifndef QUILLMARSH_LOADEDDRIVER_H
#define QUILLMARSH_LOADEDDRIVER_H

#include <QString>

#include "CDriveBaseClass.h"

// One driver object made by the plug-in's factory, used only through the
// host interface as a host would, and deleted with its owner. The plug-in is
// $QUILLMARSH_PLUGIN, else libQuillmarsh.so beside the executable.
class LoadedDriver
{
public:
    LoadedDriver();
    ~LoadedDriver();
    LoadedDriver(const LoadedDriver &) = delete;
    LoadedDriver &operator=(const LoadedDriver &) = delete;

    bool isValid() const { return m_driver != nullptr; }
    CDriveBaseClass *operator->() const { return m_driver; }

    static QString pluginPath();
    // Why the factory could not be reached; empty when it could.
    static QString loadError();

private:
    CDriveBaseClass *m_driver = nullptr;
};

#endif
