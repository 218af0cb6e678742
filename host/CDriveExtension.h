#ifndef QUILLMARSH_CDRIVEEXTENSION_H
#define QUILLMARSH_CDRIVEEXTENSION_H

// What a driver offers beyond CDriveBaseClass, to a host that asks for it:
// the connection's TSAPs and sizes, many tags in one job, why a job failed,
// and the CPU's own lists and clock. A host that never asks sees the driver
// exactly as CDriveBaseClass alone shows it.
//
//   CDriveExtension *more = driveExtension(driver); // nullptr: a driver without it
//
// Every call blocks the calling thread as ReadVariable does, each reply wait
// no longer than ReadVariable's, and must come from the thread that made the
// driver. The interface id carries its version: a later one adds a new id
// (".../1.1") and keeps answering this one.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include "CDriveBaseClass.h"

class CDriveExtension
{
public:
    // Set before ConnectDrive. The defaults ask for what ConnectDrive alone
    // asks for, byte for byte.
    struct ConnectionOptions
    {
        enum ConnectionType : int { PG = 1, OP = 2, S7Basic = 3 };
        // The order of the parameters in the COTP connection request: TPDU
        // size, calling TSAP, called TSAP (C0 C1 C2), or the TSAPs first
        // (C1 C2 C0), which some small controllers want.
        enum ParameterOrder : int { TpduSizeFirst = 0, TsapsFirst = 1 };

        // The called TSAP: connection type in the high byte, rack (0..7) and
        // slot (0..31) in the low one, unless remoteTsap is given.
        int connectionType = S7Basic;
        int rack = 0;
        int slot = 0;
        int localTsap = 0x1000; // calling TSAP, 0..0xFFFF
        int remoteTsap = -1;    // called TSAP, 0..0xFFFF; -1: from the three above
        int pduSize = 960;      // asked at setup, 240..960
        int parallelJobs = 1;   // asked at setup for both sides, 1..255
        int parameterOrder = TpduSizeFirst;
    };

    // What the PLC granted at the last successful ConnectDrive; all 0 before.
    struct Negotiated
    {
        int pduSize = 0;
        int parallelJobsCalling = 0; // jobs this side may have unanswered
        int parallelJobsCalled = 0;
    };

    // One tag of a batch. For writes, value holds the elements to write and
    // comes back as WriteVariable would return it.
    struct Tag
    {
        QString address;
        DataType type = NoType;
        int count = 1;
        CLabelVariable value;
    };

    // Why a record or an operation failed. errorClass and errorCode are those
    // of the reply's header (for user data: the high and low byte of its
    // error word), returnCode is the item's (0xFF success, 0 none received).
    // text is empty when nothing failed.
    struct Why
    {
        quint8 errorClass = 0;
        quint8 errorCode = 0;
        quint8 returnCode = 0;
        QString text;
    };

    // From the identification lists 0x0011 and 0x001C.
    struct CpuIdentity
    {
        QString orderNumber;     // e.g. "6ES7 315-2EH14-0AB0"
        QString firmwareVersion; // e.g. "V3.2.7"
        QString moduleTypeName;  // e.g. "CPU 315-2 PN/DP"
        QString moduleName;      // the name given to the module in its project
        QString serialNumber;
    };

    // From list 0x0424: the mode code (0x08 RUN, 0x04 STOP, ...) and its name.
    struct OperatingState
    {
        int mode = 0;
        QString name;
    };

    // From list 0x0232 index 4 (the protection levels are 1 to 3).
    struct Protection
    {
        int level = 0;         // the protection level in force
        int selectorLevel = 0; // set by the mode selector
        int passwordLevel = 0; // set by parameter, with a password
        int modeSelector = 0;  // 1 RUN, 2 RUN-P, 3 STOP, 4 MRES, 0 none
        int startupSwitch = 0;
    };

    // One entry of the diagnostic buffer (list 0x00A0).
    struct DiagnosticEvent
    {
        quint16 eventId = 0;
        QByteArray info; // the ten bytes between event id and time stamp
        QDateTime time;  // the CPU's local time, as it keeps it
    };

    virtual bool setConnectionOptions(const ConnectionOptions &options) = 0; // false: a value out of range, nothing changed
    virtual ConnectionOptions connectionOptions() const = 0;
    virtual Negotiated negotiated() const = 0;

    // One record per tag, in order, each as ReadVariable (WriteVariable)
    // would return it, fetched in as few jobs as the PDU carries.
    virtual QList<CLabelVariable> readVariables(const QList<Tag> &tags) = 0;
    virtual QList<CLabelVariable> writeVariables(const QList<Tag> &tags) = 0;
    // One per record of the last readVariables or writeVariables.
    virtual QList<Why> lastWhy() const = 0;
    // Of the last job that ReadVariable or WriteVariable sent.
    virtual Why lastJobWhy() const = 0;

    // These answer a record status: StatusOk, StatusBadReply, StatusNoReply
    // or StatusNotConnected; why (may be null) tells the cause.
    // readSzl gives the list as the CPU sends it: id, index, record length,
    // record count, records; assembled from every data unit.
    virtual int readSzl(quint16 id, quint16 index, QByteArray *list, Why *why) = 0;
    virtual int readIdentity(CpuIdentity *identity, Why *why) = 0;
    virtual int readOperatingState(OperatingState *state, Why *why) = 0;
    virtual int readProtection(Protection *protection, Why *why) = 0;
    // Newest first, as the CPU keeps them.
    virtual int readDiagnosticBuffer(QList<DiagnosticEvent> *events, Why *why) = 0;
    virtual int readClock(QDateTime *clock, Why *why) = 0;

    // Added to this interface before its first release, after the calls
    // above, so that their places in the table of virtual calls stay.

    // Which step of the last ConnectDrive failed: the connection request
    // (the PLC closed the connection or did not confirm it, commonly for a
    // called TSAP it does not serve) or the setup of communication (the
    // PDU and jobs asked).
    enum ConnectStep : int { ConnectStepNone = 0, ConnectStepRequest = 1, ConnectStepSetup = 2 };
    virtual int lastConnectFailure() const = 0;
    // Sends the protection password of this connection (at most 8 Latin-1
    // characters): a record status as the reads above, and why.
    virtual int sendPassword(const QString &password, Why *why) = 0;

protected:
    ~CDriveExtension() = default;
};

#define CDriveExtension_iid "org.quillmarsh.DriveExtension/1.0"
Q_DECLARE_INTERFACE(CDriveExtension, CDriveExtension_iid)

// The extension of a driver, found through its QObject side; nullptr for a
// driver that does not offer it.
inline CDriveExtension *driveExtension(CDriveBaseClass *driver)
{
    return qobject_cast<CDriveExtension *>(dynamic_cast<QObject *>(driver));
}

#endif
