// A host program that sees nothing but the host headers and QtCore.
#include <QtCore>

#include "CDriveBaseClass.h"
#include "CDriveExtension.h"

int main()
{
    GetSharedLibraryFn factory = nullptr;
    const DataType type = Double;
    const EDebugCmdType cmd = DebugVersion;
    return (factory == nullptr && type == 11 && cmd == 2 && driveExtension(nullptr) == nullptr) ? 0 : 1;
}
