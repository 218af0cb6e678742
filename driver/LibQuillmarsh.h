#ifndef QUILLMARSH_LIBQUILLMARSH_H
#define QUILLMARSH_LIBQUILLMARSH_H

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

#include "CDriveBaseClass.h"
#include "CDriveExtension.h"
#include "CmdQuillmarsh.h"
#include "S7CpuReader.h"
#include "S7JobPipe.h"
#include "TagAddress.h"
#include "TagBatch.h"

// The driver object a host gets from getSharedLibrary(): one S7 PLC
// connection, tag addresses parsed from texts, values coded to and from the
// PLC's big-endian byte images. Hosts that ask for it (driveExtension())
// get the extension too; its work is done by TagBatch and S7CpuReader.
class LibQuillmarsh : public QObject, public CDriveBaseClass, public CDriveExtension
{
    Q_OBJECT
    Q_INTERFACES(CDriveExtension)

public:
    enum AreaType : int {
        Area_None = S7::AreaNone,
        Area_I = S7::AreaInputs,
        Area_Q = S7::AreaOutputs,
        Area_M = S7::AreaMarkers,
        Area_V_or_DB = S7::AreaDataBlocks
    };

    LibQuillmarsh();
    ~LibQuillmarsh() override;

    QString getDriveName() override;
    QString getversion_number() override;
    QString DebugCmd(EDebugCmdType cmd) override;
    int DisConnectDrive() override;
    int ConnectDrive(QString par) override;
    void SetConnectPar(QString par) override;
    CLabelVariable ReadVariable(QString address, DataType type) override;
    CLabelVariable ReadVariable(QString address, DataType type, int count) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) override;
    int DestroyFree() override;

    bool setConnectionOptions(const ConnectionOptions &options) override;
    ConnectionOptions connectionOptions() const override { return cmd.connectionOptions(); }
    Negotiated negotiated() const override { return cmd.negotiated(); }
    QList<CLabelVariable> readVariables(const QList<Tag> &tags) override { return batch.read(tags); }
    QList<CLabelVariable> writeVariables(const QList<Tag> &tags) override { return batch.write(tags); }
    QList<Why> lastWhy() const override { return batch.lastWhy(); }
    Why lastJobWhy() const override;
    int readSzl(quint16 id, quint16 index, QByteArray *list, Why *why) override
    {
        return cpu.readSzl(id, index, list, why);
    }
    int readIdentity(CpuIdentity *identity, Why *why) override { return cpu.readIdentity(identity, why); }
    int readOperatingState(OperatingState *state, Why *why) override { return cpu.readOperatingState(state, why); }
    int readProtection(Protection *protection, Why *why) override { return cpu.readProtection(protection, why); }
    int readDiagnosticBuffer(QList<DiagnosticEvent> *events, Why *why) override
    {
        return cpu.readDiagnosticBuffer(events, why);
    }
    int readClock(QDateTime *clock, Why *why) override { return cpu.readClock(clock, why); }
    int lastConnectFailure() const override { return cmd.lastConnectFailure(); }
    int sendPassword(const QString &password, Why *why) override { return cpu.sendPassword(password, why); }

    CLabelVariable Read_data(int byteAddress, int dbNumber, int bit, DataType type, int count, int area,
                             QString address);
    CLabelVariable Write_data(int byteAddress, int dbNumber, int bit, DataType type, int count,
                              CLabelVariable value, int area, QString address);
    // Writes count single bits from byteAddress.bit on without touching
    // their neighbours.
    CLabelVariable Write_bits(int byteAddress, int dbNumber, int bit, int count, CLabelVariable value,
                              int area, QString address);

    // Tag address texts, each number taken by TagAddress::parse. The area
    // argument of the other three is not used: the text alone decides.
    AreaType getArea(QString text);
    int getAddr(QString text, AreaType area);
    unsigned int getmodule_number(QString text, AreaType area);
    unsigned int getmodule_bit(QString text, AreaType area);
    int getBytelen(DataType type, int count);

    // PLC bytes to values: a QVariant holding QList<T>.
    QVariant set_variant_bool(int startBit, QByteArray bytes, int count);
    QVariant set_variant_Int8(QByteArray bytes, int count);
    QVariant set_variant_UInt8(QByteArray bytes, int count);
    QVariant set_variant_Int16(QByteArray bytes, int count);
    QVariant set_variant_UInt16(QByteArray bytes, int count);
    QVariant set_variant_Int32(QByteArray bytes, int count);
    QVariant set_variant_UInt32(QByteArray bytes, int count);
    QVariant set_variant_fload(QByteArray bytes, int count);
    QVariant set_variant_Int64(QByteArray bytes, int count);
    QVariant set_variant_UInt64(QByteArray bytes, int count);
    QVariant set_variant_double(QByteArray bytes, int count);

    // Values to PLC bytes, appended to *out; always 0.
    int Wset_variant_bool(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_Int8(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_UInt8(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_Int16(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_uInt16(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_Int32(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_UInt32(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_float(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_Int64(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_UInt64(CLabelVariable value, int count, QByteArray *out);
    int Wset_variant_double(CLabelVariable value, int count, QByteArray *out);

    // How the read and write paths reach the codec above. The value of a
    // read of byteCount bytes: for Bool the bits of every byte from startBit
    // on, for the other types the elements the bytes hold; invalid for a
    // type not served. And the images of a write's first elements (for
    // Bool, one byte each); nothing for a type not served.
    QVariant decodeRead(DataType type, int startBit, QByteArray bytes, int byteCount);
    void encodeWrite(DataType type, const CLabelVariable &value, int elements, QByteArray *out);

private:
    // Batches take the same checks, codec, clock and addresses as the single
    // tag calls.
    friend class TagBatch;

    // QDateTime::currentDateTime(), made once per millisecond: Qt's local
    // time costs three time-zone look-ups (each a stat of /etc/localtime).
    QDateTime localNow();
    // The checks before any request: the status a read or write gets without
    // one (its address, count, type or value will not do), or StatusOk to
    // send it.
    int readCheck(const TagAddress &tag, DataType type, int count);
    int writeCheck(const TagAddress &tag, DataType type, int count, bool bitWrite, const CLabelVariable &value);
    // A Bool write to an address that names a bit writes single bits.
    static bool isBitWrite(const TagAddress &tag, DataType type, int count);

    CmdQuillmarsh cmd;
    quint32 connectPar = 1;
    QString plcIp;
    int plcPort = 0;

    TagAddress::Cache addresses;
    qint64 stampMs = -1;
    QDateTime stamp;

    S7JobPipe pipe{cmd};
    TagBatch batch{*this, pipe};
    S7CpuReader cpu{pipe};
};

#endif
