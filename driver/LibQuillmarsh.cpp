#include "LibQuillmarsh.h"

#include <QDateTime>

#include "ElementTypes.h"
#include "S7ConnectFrames.h"
#include "S7Frame.h"
#include "S7Image.h"
#include "S7Reasons.h"
#include "S7Type.h"
#include "Version.h"

namespace {

const QString kDriveName = QStringLiteral("Quillmarsh");
const QString kVersion = QStringLiteral("V" QUILLMARSH_VERSION " " QUILLMARSH_RELEASE_DATE);
constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;

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
        cmd.setDebug(true);
        return QStringLiteral("StartDebug");
    case DebugStop:
        cmd.setDebug(false);
        return QStringLiteral("StopDebug");
    case DebugVersion:
        return QStringLiteral("v" QUILLMARSH_VERSION " %1 %2").arg(QLatin1String(__DATE__)).arg(QLatin1String(__TIME__));
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
    plcIp = TagAddress::leftOrAll(par, colon);
    plcPort = TagAddress::rightOrAll(par, par.size() - colon - 1).toInt(nullptr, 10);
    // A port that does not fit 16 bits would reach the socket wrapped.
    if (plcIp.isEmpty() || plcPort < kMinPort || plcPort > kMaxPort)
        return ConnectBadText;
    return cmd.connectPlc(plcIp, plcPort);
}

int LibQuillmarsh::DisConnectDrive()
{
    return cmd.disconnectPlc();
}

int LibQuillmarsh::DestroyFree()
{
    if (!cmd.hasSocket())
        return ReleaseNoSocket;
    if (cmd.socketInUse())
        cmd.disconnectPlc();
    cmd.releaseSocket();
    return ReleaseDone;
}

// ---- extension ------------------------------------------------------------

bool LibQuillmarsh::setConnectionOptions(const ConnectionOptions &options)
{
    if (!S7ConnectFrames::valid(options))
        return false;
    cmd.setConnectionOptions(options);
    return true;
}

CDriveExtension::Why LibQuillmarsh::lastJobWhy() const
{
    return S7Reasons::ofSingleJob(cmd.lastJobResult(), cmd.lastJobReply());
}

// ---- tag addresses ----------------------------------------------------

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
    return AreaType(TagAddress::parse(text).area);
}

int LibQuillmarsh::getAddr(QString text, AreaType)
{
    return TagAddress::parse(text).byteAddress;
}

unsigned int LibQuillmarsh::getmodule_number(QString text, AreaType)
{
    return TagAddress::parse(text).dbNumber;
}

unsigned int LibQuillmarsh::getmodule_bit(QString text, AreaType)
{
    return TagAddress::parse(text).bit;
}

int LibQuillmarsh::getBytelen(DataType type, int count)
{
    return S7Type::byteLength(type, count);
}

// ---- value codec --------------------------------------------------------

QVariant LibQuillmarsh::set_variant_bool(int startBit, QByteArray bytes, int count)
{
    return S7Image::decodeBits(startBit, bytes, count);
}
QVariant LibQuillmarsh::set_variant_Int8(QByteArray bytes, int count) { return S7Image::decode<char>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt8(QByteArray bytes, int count) { return S7Image::decode<uchar>(bytes, count); }
QVariant LibQuillmarsh::set_variant_Int16(QByteArray bytes, int count) { return S7Image::decode<short>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt16(QByteArray bytes, int count) { return S7Image::decode<ushort>(bytes, count); }
QVariant LibQuillmarsh::set_variant_Int32(QByteArray bytes, int count) { return S7Image::decode<int>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt32(QByteArray bytes, int count) { return S7Image::decode<uint>(bytes, count); }
QVariant LibQuillmarsh::set_variant_fload(QByteArray bytes, int count) { return S7Image::decode<float>(bytes, count); }
QVariant LibQuillmarsh::set_variant_Int64(QByteArray bytes, int count) { return S7Image::decode<qlonglong>(bytes, count); }
QVariant LibQuillmarsh::set_variant_UInt64(QByteArray bytes, int count) { return S7Image::decode<qulonglong>(bytes, count); }
QVariant LibQuillmarsh::set_variant_double(QByteArray bytes, int count) { return S7Image::decode<double>(bytes, count); }

int LibQuillmarsh::Wset_variant_bool(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<bool>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int8(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<char>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_UInt8(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<uchar>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int16(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<short>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_uInt16(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<ushort>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int32(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<int>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_UInt32(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<uint>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_float(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<float>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_Int64(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<qlonglong>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_UInt64(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<qulonglong>(v.value, count, out); return 0; }
int LibQuillmarsh::Wset_variant_double(CLabelVariable v, int count, QByteArray *out) { S7Image::encode<double>(v.value, count, out); return 0; }

QVariant LibQuillmarsh::decodeRead(DataType type, int startBit, QByteArray bytes, int byteCount)
{
    // Whole elements only: a partial one at the end is no value. A Bool
    // read counts bytes, each of them whole.
    const int width = getBytelen(type, 1);
    const int count = width > 0 ? byteCount / width : 0;
    switch (type) {
    case Bool: return set_variant_bool(startBit, bytes, count);
    case Int8: return set_variant_Int8(bytes, count);
    case UInt8: return set_variant_UInt8(bytes, count);
    case Int16: return set_variant_Int16(bytes, count);
    case UInt16: return set_variant_UInt16(bytes, count);
    case Int32: return set_variant_Int32(bytes, count);
    case UInt32: return set_variant_UInt32(bytes, count);
    case Float: return set_variant_fload(bytes, count);
    case Int64: return set_variant_Int64(bytes, count);
    case UInt64: return set_variant_UInt64(bytes, count);
    case Double: return set_variant_double(bytes, count);
    default: return QVariant();
    }
}

void LibQuillmarsh::encodeWrite(DataType type, const CLabelVariable &value, int elements, QByteArray *out)
{
    switch (type) {
    case Bool: Wset_variant_bool(value, elements, out); break;
    case Int8: Wset_variant_Int8(value, elements, out); break;
    case UInt8: Wset_variant_UInt8(value, elements, out); break;
    case Int16: Wset_variant_Int16(value, elements, out); break;
    case UInt16: Wset_variant_uInt16(value, elements, out); break;
    case Int32: Wset_variant_Int32(value, elements, out); break;
    case UInt32: Wset_variant_UInt32(value, elements, out); break;
    case Float: Wset_variant_float(value, elements, out); break;
    case Int64: Wset_variant_Int64(value, elements, out); break;
    case UInt64: Wset_variant_UInt64(value, elements, out); break;
    case Double: Wset_variant_double(value, elements, out); break;
    default: break;
    }
}

// ---- reading ----------------------------------------------------------------

CLabelVariable LibQuillmarsh::ReadVariable(QString address, DataType type)
{
    return ReadVariable(address, type, 1);
}

int LibQuillmarsh::readCheck(const TagAddress &tag, DataType type, int count)
{
    if (tag.byteAddress < 0)
        return StatusBadAddress;
    if (count <= 0)
        return StatusBadCount;
    if (qint64(tag.byteAddress) + count > S7::MaxByteAddress)
        return StatusBadAddress;
    if (!ElementTypes::isServed(type))
        return StatusTypeNotServed; // NoType, String and the host's other types
    return StatusOk;
}

CLabelVariable LibQuillmarsh::ReadVariable(QString address, DataType type, int count)
{
    const TagAddress tag = addresses.parse(address);
    const int checked = readCheck(tag, type, count);
    CLabelVariable record;
    if (checked == StatusOk) {
        record = Read_data(tag.byteAddress, int(tag.dbNumber), int(tag.bit), type, count, tag.area, address);
    } else {
        record.status = checked;
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
    if (result != JobOk) {
        record.status = CmdQuillmarsh::statusOfJob(result);
        return record;
    }
    record.timestamp = localNow();
    record.status = StatusOk;
    // A Bool read gives the bits of every byte read from the start bit on,
    // so M0.3 with count 1 answers five bits: the count is in bytes there.
    record.value = decodeRead(type, bit, data, length);
    if (!ElementTypes::isServed(type))
        record.status = StatusTypeNotServed; // after the job, as a direct caller sees it
    return record;
}

// ---- writing ----------------------------------------------------------------

CLabelVariable LibQuillmarsh::WriteVariable(QString address, DataType type, CLabelVariable value)
{
    return WriteVariable(address, type, value, 1);
}

int LibQuillmarsh::writeCheck(const TagAddress &tag, DataType type, int count, bool bitWrite,
                              const CLabelVariable &value)
{
    if (tag.byteAddress < 0)
        return StatusBadAddress;
    if (count < 0)
        return StatusBadCount;
    if (qint64(tag.byteAddress) + count > S7::MaxByteAddress)
        return StatusBadAddress;
    if (!ElementTypes::isServed(type))
        return StatusTypeNotServed;
    if (bitWrite && tag.bit > 7)
        return StatusBadAddress;
    if (bitWrite ? count > S7Frame::maxBitsPerJob() : getBytelen(type, count) > S7Frame::maxWriteBytes())
        return StatusBadCount; // more than one job can carry
    // Elements the write takes from the record: Bool writes of whole bytes
    // take one element per byte. A write of no elements needs no value.
    const int needed = type == Bool && !bitWrite ? getBytelen(Bool, count) : count;
    if (needed == 0)
        return StatusOk;
    const int offered = S7Image::elementsOffered(value.value, type);
    if (offered < 0)
        return StatusTypeNotServed;
    return offered < needed ? StatusBadCount : StatusOk;
}

bool LibQuillmarsh::isBitWrite(const TagAddress &tag, DataType type, int count)
{
    return type == Bool && count >= 1 && tag.explicitBit;
}

CLabelVariable LibQuillmarsh::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    const TagAddress tag = addresses.parse(address);
    const bool bitWrite = isBitWrite(tag, type, count);
    const int checked = writeCheck(tag, type, count, bitWrite, value);
    if (checked != StatusOk) {
        value.status = checked;
    } else {
        const int byteAddress = tag.byteAddress, dbNumber = int(tag.dbNumber), bit = int(tag.bit);
        if (bitWrite)
            value = Write_bits(byteAddress, dbNumber, bit, count, value, tag.area, address);
        else
            value = Write_data(byteAddress, dbNumber, bit, type, count, value, tag.area, address);
        // The request has gone out all the same; the status tells the host
        // that inputs are the PLC's to set.
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
    // Bool takes one element per byte.
    encodeWrite(type, value, type == Bool ? length : count, &payload);
    const int result = cmd.writeArea(dbNumber, byteAddress, length, payload, area, address);
    if (result == JobOk)
        value.timestamp = localNow();
    value.status = CmdQuillmarsh::statusOfJob(result);
    return value;
}

CLabelVariable LibQuillmarsh::Write_bits(int byteAddress, int dbNumber, int bit, int count,
                                         CLabelVariable value, int area, QString address)
{
    QByteArray bits;
    Wset_variant_bool(value, count, &bits);
    const int result = bits.size() == count
                           ? cmd.writeBits(dbNumber, byteAddress, bit, bits, area, address)
                           : int(JobBadReply);
    if (result == JobOk)
        value.timestamp = localNow();
    value.status = CmdQuillmarsh::statusOfJob(result);
    return value;
}
