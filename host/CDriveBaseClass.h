#ifndef QUILLMARSH_CDRIVEBASECLASS_H
#define QUILLMARSH_CDRIVEBASECLASS_H

// The host header: the one include a host program needs to drive a plug-in.
#include <QString>

#include "CLabelVariable.h"
#include "DataType.h"
#include "EDebugCmdType.h"
#include "ResultCodes.h"

// The host's interface of a driver plug-in. Hosts call through the virtual
// table, so the order of the declarations below is part of the binary
// interface and must never change.
class CDriveBaseClass
{
public:
    virtual QString getDriveName() = 0;                                          // slot 1
    virtual QString getversion_number() = 0;                                     // slot 2
    virtual QString DebugCmd(EDebugCmdType cmd) = 0;                             // slot 3
    virtual int ConnectDrive(QString par) = 0;                                   // slot 4
    virtual void SetConnectPar(QString par) = 0;                                 // slot 5
    virtual int DisConnectDrive() = 0;                                           // slot 6
    virtual CLabelVariable ReadVariable(QString address, DataType type) = 0;    // slot 7
    virtual CLabelVariable ReadVariable(QString address, DataType type, int count) = 0; // slot 8
    virtual CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) = 0; // slot 9
    virtual CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value,
                                         int count) = 0;                         // slot 10
    virtual int DestroyFree() = 0;                                               // slot 11

protected:
    // The interface offers no deletion; the owner deletes through its own type.
    ~CDriveBaseClass() = default;
};

// Signature of the factory every plug-in exports with C linkage.
using GetSharedLibraryFn = CDriveBaseClass *(*)();

#endif
