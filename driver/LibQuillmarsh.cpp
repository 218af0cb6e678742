#include "LibQuillmarsh.h"

#include <QDateTime>
#include <QTcpSocket>

#include "S7Frame.h"
#include "ValueCodec.h"

namespace {

const QString kDriveName = QStringLiteral("Quillmarsh");
const QString kVersion = QStringLiteral("V1.8.2 20230221");
constexpr int kMaxAddress = 65535;

// Record statuses set by the read and write paths.
enum Status {
    StatusDone = 0,
    StatusTypeNotServed = 2,
    StatusBadCount = 4,
    StatusBadAddress = 5,
    StatusInputArea = 6,
    StatusBadAnswer = 7,
    StatusNoAnswer = 8,
    StatusNotConnected = 9
};

// Job results -1, -2, -3 map one to one onto statuses 7, 8, 9.
int statusOfJob(int result)
{
    switch (result) {
    case S7Frame::JobOk: return StatusDone;
    case S7Frame::JobBadReply: return StatusBadAnswer;
    case S7Frame::JobNoReply: return StatusNoAnswer;
    default: return StatusNotConnected;
    }
}

bool isServed(DataType type)
{
    return type >= Bool && type <= Double;
}

bool contains(const QString &text, QLatin1String letters)
{
    return text.indexOf(letters, 0, Qt::CaseInsensitive) >= 0;
}

// The address forms, in the order in which the parsers look for them.
enum class Form { None, Letter, VorDb, Db };

Form formOf(const QString &text)
{
    for (const char *letter : {"I", "Q", "M"}) {
        if (contains(text, QLatin1String(letter)))
            return Form::Letter;
    }
    if (contains(text, QLatin1String("V_or_DB")))
        return Form::VorDb;
    if (contains(text, QLatin1String("V")))
        return Form::Letter;
    if (contains(text, QLatin1String("DB")))
        return Form::Db;
    return Form::None;
}

// Position of the first separator that occurs, tried in the order . _ : ;
int firstSeparator(const QString &text)
{
    for (QChar sep : {QChar('.'), QChar('_'), QChar(':'), QChar(';')}) {
        const int pos = text.indexOf(sep);
        if (pos >= 0)
            return pos;
    }
    return -1;
}

// QString::left/right, where a length outside 0..size takes the whole text.
QString leftOrAll(const QString &text, int n)
{
    return n < 0 || n >= text.size() ? text : text.left(n);
}

QString rightOrAll(const QString &text, int n)
{
    return n < 0 || n >= text.size() ? text : text.right(n);
}

// The rest of a data-block text without a final ".bit".
QString withoutBit(QString rest)
{
    if (rest.count(QLatin1Char('.')) > 1)
        rest.chop(2);
    return rest;
}

} // namespace

LibQuillmarsh::LibQuillmarsh() = default;

LibQuillmarsh::~LibQuillmarsh() = default;

QString LibQuillmarsh::getDriveName()
{
    return kDriveName;
}

QString LibQuillmarsh::getversion_number()
{
    return kVersion;
}

QString LibQuillmarsh::DebugCmd(EDebugCmdType command)
{
    switch (command) {
    case DebugStart:
        if (!cmd.debugOn)
            cmd.debugOn = true;
        return QStringLiteral("StartDebug");
    case DebugStop:
        if (cmd.debugOn)
            cmd.debugOn = false;
        return QStringLiteral("StopDebug");
    case DebugVersion:
        return QStringLiteral("v1.8.2 %1 %2").arg(QLatin1String(__DATE__)).arg(QLatin1String(__TIME__));
    case DebugDriveName:
        return kDriveName;
    }
    return QString();
}

void LibQuillmarsh::SetConnectPar(QString par)
{
    connectPar = par.toUInt(nullptr, 10);
}

int LibQuillmarsh::ConnectDrive(QString par)
{
    const int colon = par.indexOf(QLatin1Char(':'));
    plcIp = leftOrAll(par, colon);
    plcPort = rightOrAll(par, par.size() - colon - 1).toInt(nullptr, 10);
    if (plcIp.isEmpty() || plcPort == 0)
        return -1;
    return cmd.connectPlc(plcIp, plcPort);
}

int LibQuillmarsh::DisConnectDrive()
{
    return cmd.disconnectPlc();
}

int LibQuillmarsh::DestroyFree()
{
    if (!cmd.socket)
        return 1;
    if (cmd.socket->state() != QAbstractSocket::UnconnectedState)
        cmd.disconnectPlc();
    cmd.releaseSocket();
    return 0;
}

// ---- tag addresses ----------------------------------------------------

LibQuillmarsh::TagAddress LibQuillmarsh::parseAddress(const QString &text)
{
    constexpr int kMaxCachedAddresses = 4096;
    constexpr int kMaxCachedLength = 64;
    const auto cached = addressCache.constFind(text);
    if (cached != addressCache.constEnd())
        return cached.value();
    TagAddress tag;
    tag.area = getArea(text);
    tag.byteAddress = getAddr(text, tag.area);
    tag.dbNumber = int(getmodule_number(text, tag.area));
    tag.bit = int(getmodule_bit(text, tag.area));
    tag.explicitBit = hasExplicitBit(text);
    if (text.size() > kMaxCachedLength)
        return tag;
    if (addressCache.size() >= kMaxCachedAddresses)
        addressCache.clear();
    // A deep copy: the host's text may live in memory it frees later.
    addressCache.insert(QString(text.constData(), text.size()), tag);
    return tag;
}

QDateTime LibQuillmarsh::localNow()
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    if (ms != stampMs) {
        stampMs = ms;
        stamp = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    }
    return stamp;
}

LibQuillmarsh::AreaType LibQuillmarsh::getArea(QString text)
{
    if (contains(text, QLatin1String("I")))
        return Area_I;
    if (contains(text, QLatin1String("Q")))
        return Area_Q;
    if (contains(text, QLatin1String("M")))
        return Area_M;
    if (contains(text, QLatin1String("V")) || contains(text, QLatin1String("DB")))
        return Area_V_or_DB;
    return Area_None;
}

int LibQuillmarsh::getAddr(QString text, AreaType)
{
    switch (formOf(text)) {
    case Form::None:
        return -1;
    case Form::Letter: {
        const QString rest = text.mid(1);
        return leftOrAll(rest, rest.indexOf(QLatin1Char('.'))).toInt(nullptr, 10);
    }
    case Form::VorDb: {
        const QString rest = withoutBit(text.mid(7));
        const int sep = firstSeparator(rest);
        return (sep >= 0 ? rightOrAll(rest, rest.size() - sep - 1) : rest).toInt(nullptr, 10);
    }
    case Form::Db: {
        // The separator is followed by three letters (DBX, DBW, DBD ...).
        const QString rest = withoutBit(text.mid(2));
        const int sep = firstSeparator(rest);
        return (sep >= 0 ? rightOrAll(rest, rest.size() - sep - 4) : rest).toInt(nullptr, 10);
    }
    }
    return -1;
}

unsigned int LibQuillmarsh::getmodule_number(QString text, AreaType)
{
    if (contains(text, QLatin1String("V_or_DB"))) {
        const QString rest = text.mid(7);
        const int sep = firstSeparator(rest);
        return sep >= 0 ? leftOrAll(rest, sep).toUInt(nullptr, 10) : 1;
    }
    if (contains(text, QLatin1String("DB"))) {
        const QString rest = text.mid(2);
        const int sep = firstSeparator(rest);
        return (sep >= 0 ? leftOrAll(rest, sep) : rest).toUInt(nullptr, 10);
    }
    return text.toUInt(nullptr, 10);
}

unsigned int LibQuillmarsh::getmodule_bit(QString text, AreaType)
{
    switch (formOf(text)) {
    case Form::None:
        return text.toUInt(nullptr, 10);
    case Form::Letter: {
        const QString rest = text.mid(1);
        const int dot = rest.indexOf(QLatin1Char('.'));
        return (dot >= 0 ? rest.mid(dot + 1) : rest).toUInt(nullptr, 10);
    }
    case Form::VorDb:
    case Form::Db:
        // A data-block text carries its bit as a final ".bit" behind the
        // byte's own dot.
        if (text.count(QLatin1Char('.')) > 1)
            return text.mid(text.lastIndexOf(QLatin1Char('.')) + 1).toUInt(nullptr, 10);
        return 0;
    }
    return 0;
}

bool LibQuillmarsh::hasExplicitBit(QString text)
{
    switch (formOf(text)) {
    case Form::Letter:
        return text.contains(QLatin1Char('.'));
    case Form::VorDb:
    case Form::Db:
        return text.count(QLatin1Char('.')) > 1 && text.size() >= 2
               && text.at(text.size() - 2) == QLatin1Char('.') && text.at(text.size() - 1).isDigit();
    case Form::None:
        break;
    }
    return false;
}

int LibQuillmarsh::getBytelen(DataType type, int count)
{
    switch (type) {
    case Bool: return count / 8 + (count % 8 != 0 ? 1 : 0);
    case Int8:
    case UInt8: return count;
    // Multiplied without signed overflow: a count too large wraps.
    case Int16:
    case UInt16: return int(quint32(count) * 2u);
    case Int32:
    case UInt32:
    case Float: return int(quint32(count) * 4u);
    case Int64:
    case UInt64:
    case Double: return int(quint32(count) * 8u);
    default: return 0;
    }
}

// ---- value codec --------------------------------------------------------

QVariant LibQuillmarsh::set_variant_bool(int startBit, QByteArray bytes, int count)
{
    return ValueCodec::decodeBits(startBit, bytes, count);
}
QVariant LibQuillmarsh::set_variant_Int8(QByteArray bytes, int count) { return ValueCodec::decode<char>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt8(QByteArray bytes, int count) { return ValueCodec::decode<uchar>(bytes, count); }
QVariant LibQuillmarsh::set_variant_Int16(QByteArray bytes, int count) { return ValueCodec::decode<short>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt16(QByteArray bytes, int count) { return ValueCodec::decode<ushort>(bytes, count); }
QVariant LibQuillmarsh::set_variant_Int32(QByteArray bytes, int count) { return ValueCodec::decode<int>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt32(QByteArray bytes, int count) { return ValueCodec::decode<uint>(bytes, count); }
QVariant LibQuillmarsh::set_variant_fload(QByteArray bytes, int count) { return ValueCodec::decode<float>(bytes, count); }
QVariant LibQuillmarsh::set_variant_Int64(QByteArray bytes, int count) { return ValueCodec::decode<qlonglong>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt64(QByteArray bytes, int count) { return ValueCodec::decode<qulonglong>(bytes, count); }
QVariant LibQuillmarsh::set_variant_double(QByteArray bytes, int count) { return ValueCodec::decode<double>(bytes, count); }

int LibQuillmarsh::Wset_variant_bool(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<bool>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int8(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<char>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_UInt8(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<uchar>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int16(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<short>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_uInt16(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<ushort>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int32(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<int>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_UInt32(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<uint>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_float(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<float>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int64(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<qlonglong>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_UInt64(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<qulonglong>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_double(CLabelVariable v, int count, QByteArray *out) { ValueCodec::encode<double>(v.value, count, out); return 0; }

int LibQuillmarsh::availableElements(const QVariant &value, DataType type)
{
    int offered = -1;
    ValueCodec::withServedElementType(type, [&](auto tag) {
        offered = ValueCodec::elementsOffered<typename decltype(tag)::type>(value);
    });
    return offered;
}

// ---- reading ----------------------------------------------------------------

CLabelVariable LibQuillmarsh::ReadVariable(QString address, DataType type)
{
    return ReadVariable(address, type, 1);
}

CLabelVariable LibQuillmarsh::ReadVariable(QString address, DataType type, int count)
{
    const TagAddress tag = parseAddress(address);
    int refusal = StatusDone;
    if (tag.byteAddress < 0)
        refusal = StatusBadAddress;
    else if (count <= 0)
        refusal = StatusBadCount;
    else if (qint64(tag.byteAddress) + count > kMaxAddress)
        refusal = StatusBadAddress;
    else if (!isServed(type))
        refusal = StatusTypeNotServed; // NoType, String and the host's other types

    CLabelVariable record;
    if (refusal == StatusDone) {
        record = Read_data(tag.byteAddress, tag.dbNumber, tag.bit, type, count, tag.area, address);
    } else {
        record.status = refusal;
        record.timestamp = localNow(); // the time of the call
    }
    record.address = address;
    record.dataType = type;
    record.count = count;
    return record;
}

CLabelVariable LibQuillmarsh::Read_data(int byteAddress, int dbNumber, int bit, DataType type, int count,
                                        int area, QString address)
{
    CLabelVariable record;
    QByteArray data;
    const int length = getBytelen(type, count);
    const int result = cmd.readArea(byteAddress, length, &data, dbNumber, area, address);
    if (result != S7Frame::JobOk) {
        record.status = statusOfJob(result);
        return record;
    }
    record.timestamp = localNow();
    record.status = StatusDone;
    // Bool unpacks the bits of length bytes from the start bit on; the other
    // types decode the elements that length bytes hold (count again).
    if (type == Bool)
        record.value = set_variant_bool(bit, data, length);
    else if (!ValueCodec::withServedElementType(type, [&](auto tag) {
                 using T = typename decltype(tag)::type;
                 record.value = ValueCodec::decode<T>(data, length / int(sizeof(T)));
             }))
        record.status = StatusTypeNotServed;
    return record;
}

// ---- writing ----------------------------------------------------------------

CLabelVariable LibQuillmarsh::WriteVariable(QString address, DataType type, CLabelVariable value)
{
    return WriteVariable(address, type, value, 1);
}

CLabelVariable LibQuillmarsh::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    const TagAddress tag = parseAddress(address);
    const int byteAddress = tag.byteAddress;
    const int bit = tag.bit;
    const bool bitWrite = type == Bool && count >= 1 && tag.explicitBit;
    // Elements the write takes from the record: Bool writes of whole bytes
    // take one element per byte.
    const int needed = type == Bool && !bitWrite ? getBytelen(Bool, count) : count;

    int refusal = StatusDone;
    if (byteAddress < 0)
        refusal = StatusBadAddress;
    else if (count < 0)
        refusal = StatusBadCount;
    else if (qint64(byteAddress) + count > kMaxAddress)
        refusal = StatusBadAddress;
    else if (!isServed(type))
        refusal = StatusTypeNotServed;
    else if (bitWrite && (bit < 0 || bit > 7))
        refusal = StatusBadAddress;
    else if (bitWrite && count > S7Frame::maxBitsPerJob())
        refusal = StatusBadCount; // more bits than one job can carry
    else if (needed > 0) { // a write of no elements needs no value
        const int offered = availableElements(value.value, type);
        if (offered < 0)
            refusal = StatusTypeNotServed;
        else if (offered < needed)
            refusal = StatusBadCount;
    }

    if (refusal != StatusDone) {
        value.status = refusal;
    } else {
        if (bitWrite)
            value = Write_bits(byteAddress, tag.dbNumber, bit, count, value, tag.area, address);
        else
            value = Write_data(byteAddress, tag.dbNumber, bit, type, count, value, tag.area, address);
        if (tag.area == Area_I)
            value.status = StatusInputArea;
    }
    value.address = address;
    value.dataType = type;
    value.count = count;
    return value;
}

CLabelVariable LibQuillmarsh::Write_data(int byteAddress, int dbNumber, int, DataType type, int count,
                                         CLabelVariable value, int area, QString address)
{
    QByteArray payload;
    const int length = getBytelen(type, count);
    payload.reserve(length);
    // The codec straight on the record's value (the Wset_variant_* members
    // take a copy of the record). Bool takes one element per byte.
    const int elements = type == Bool ? length : count;
    if (!ValueCodec::withServedElementType(type, [&](auto tag) {
            ValueCodec::encode<typename decltype(tag)::type>(value.value, elements, &payload);
        }))
        value.status = StatusTypeNotServed;
    const int result = cmd.writeArea(dbNumber, byteAddress, length, payload, area, address);
    if (result == S7Frame::JobOk)
        value.timestamp = localNow();
    value.status = statusOfJob(result);
    return value;
}

CLabelVariable LibQuillmarsh::Write_bits(int byteAddress, int dbNumber, int bit, int count,
                                         CLabelVariable value, int area, QString address)
{
    QByteArray bits;
    Wset_variant_bool(value, count, &bits);
    const int result = bits.size() == count
                           ? cmd.writeBits(dbNumber, byteAddress, bit, bits, area, address)
                           : int(S7Frame::JobBadReply);
    if (result == S7Frame::JobOk)
        value.timestamp = localNow();
    value.status = statusOfJob(result);
    return value;
}
