// A driver plug-in that offers CDriveBaseClass alone (no extension behind its
// QObject side), as an older or another plug-in does; it connects to nothing.
#include <QObject>

#include "CDriveBaseClass.h"

class PlainDriver : public QObject, public CDriveBaseClass
{
public:
    QString getDriveName() override { return QStringLiteral("Plain"); }
    QString getversion_number() override { return QStringLiteral("V0"); }
    QString DebugCmd(EDebugCmdType) override { return QString(); }
    int ConnectDrive(QString) override { return ConnectHandshakeFailed; }
    void SetConnectPar(QString) override {}
    int DisConnectDrive() override { return ReleaseDone; }
    CLabelVariable ReadVariable(QString, DataType) override { return CLabelVariable(); }
    CLabelVariable ReadVariable(QString, DataType, int) override { return CLabelVariable(); }
    CLabelVariable WriteVariable(QString, DataType, CLabelVariable) override { return CLabelVariable(); }
    CLabelVariable WriteVariable(QString, DataType, CLabelVariable, int) override { return CLabelVariable(); }
    int DestroyFree() override { return ReleaseDone; }
};

extern "C" __attribute__((visibility("default"))) CDriveBaseClass *getSharedLibrary()
{
    return new PlainDriver();
}
