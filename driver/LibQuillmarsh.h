#ifndef QUILLMARSH_LIBQUILLMARSH_H
#define QUILLMARSH_LIBQUILLMARSH_H

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

#include "CDriveBaseClass.h"
#include "CmdQuillmarsh.h"

// The driver object a host gets from getSharedLibrary(): one S7 PLC
// connection, tag addresses parsed from texts, values coded to and from the
// PLC's big-endian byte images.
class LibQuillmarsh : public QObject, public CDriveBaseClass
{
    Q_OBJECT

public:
    enum AreaType : int {
        Area_None = 0,
        Area_I = 0x81,
        Area_Q = 0x82,
        Area_M = 0x83,
        Area_V_or_DB = 0x84
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

    CLabelVariable Read_data(int byteAddress, int dbNumber, int bit, DataType type, int count, int area,
                             QString address);
    CLabelVariable Write_data(int byteAddress, int dbNumber, int bit, DataType type, int count,
                              CLabelVariable value, int area, QString address);
    // Writes count single bits from byteAddress.bit on without touching
    // their neighbours.
    CLabelVariable Write_bits(int byteAddress, int dbNumber, int bit, int count, CLabelVariable value,
                              int area, QString address);

    // Tag address texts.
    AreaType getArea(QString text);
    int getAddr(QString text, AreaType area);
    unsigned int getmodule_number(QString text, AreaType area);
    unsigned int getmodule_bit(QString text, AreaType area);
    int getBytelen(DataType type, int count);
    // True when the text names a single bit (M0.1, DB1.DBX10.3, ...).
    bool hasExplicitBit(QString text);

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

    // Elements that value offers for type: -1 when it holds no list of,
    // and converts to no list of, the type's element type.
    static int availableElements(const QVariant &value, DataType type);

    // A tag address text parsed by the four parsers above.
    struct TagAddress
    {
        AreaType area = Area_None;
        int byteAddress = -1;
        int dbNumber = 0;
        int bit = 0;
        bool explicitBit = false;
    };
    // The parse of text, from a small cache: hosts read the same tags over
    // and over, and the parsers are pure functions of the text.
    TagAddress parseAddress(const QString &text);
    // QDateTime::currentDateTime(), made once per millisecond: Qt's local
    // time costs three time-zone look-ups (each a stat of /etc/localtime).
    QDateTime localNow();

    CmdQuillmarsh cmd;
    quint32 connectPar = 1;
    QString plcIp;
    int plcPort = 0;

private:
    QHash<QString, TagAddress> addressCache;
    qint64 stampMs = -1;
    QDateTime stamp;
};

#endif
