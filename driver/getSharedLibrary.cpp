#include "LibQuillmarsh.h"

// The plug-in's one exported symbol: every call makes a new, independent
// driver object, handed to the host as its interface.
extern "C" __attribute__((visibility("default"))) CDriveBaseClass *getSharedLibrary()
{
    return new LibQuillmarsh();
}
