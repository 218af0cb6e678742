// A host program that sees nothing but the host header and QtCore.
#include <QtCore>

#include "CDriveBaseClass.h"

int main()
{
    GetSharedLibraryFn factory = nullptr;
    const DataType type = Double;
    const EDebugCmdType cmd = DebugVersion;
    return (factory == nullptr && type == 11 && cmd == 2) ? 0 : 1;
}
