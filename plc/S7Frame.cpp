#include "S7Frame.h"

#include "ByteReader.h"
#include "S7ConnectFrames.h"

namespace {

int varParameterLength(int itemCount)
{
    return S7::VarParameterHeaderSize + S7::VarItemSize * itemCount;
}

} // namespace

namespace S7Frame {

quint16 itemDbNumber(int area, int dbNumber)
{
    if (area != S7::AreaDataBlocks)
        return 0;
    return dbNumber >= 1 ? quint16(dbNumber) : S7::DefaultDataBlock;
}

void writeItem(ByteWriter &out, quint8 transportSize, int elementCount, int dbNumber, int area,
               quint32 bitAddress)
{
    out.u8(S7::ItemVariableSpec);
    out.u8(S7::ItemSpecLength);
    out.u8(S7::SyntaxIdS7Any);
    out.u8(transportSize);
    out.u16(quint16(elementCount));
    out.u16(itemDbNumber(area, dbNumber));
    out.u8(quint8(area)); // the low 8 bits of the area argument
    out.u24(bitAddress);
}

quint16 pduReferenceOf(const QByteArray &frame)
{
    ByteReader in(frame);
    in.seek(S7::PduReferenceOffset);
    const quint16 reference = in.u16();
    return in.ok() ? reference : 0;
}

QByteArray connectRequest()
{
    return S7ConnectFrames::connectRequest(S7ConnectFrames::Options());
}

QByteArray setupCommunication()
{
    return S7ConnectFrames::setupCommunication(S7ConnectFrames::Options());
}

int judgeHandshakeReply(const QByteArray &reply, quint8 expectedTpduCode)
{
    ByteReader in(reply);
    in.seek(S7::CotpTpduCodeOffset);
    const quint8 code = in.u8();
    return in.ok() && code == expectedTpduCode ? HandshakeOk : HandshakeUnconfirmed;
}

QByteArray readRequest(quint16 pduReference, int byteAddress, int byteCount, int dbNumber, int area)
{
    const int parameterLength = varParameterLength(1);
    const int length = S7::JobParameterOffset + parameterLength;
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, pduReference, parameterLength, 0);
    out.u8(S7::FunctionReadVariable);
    out.u8(1);
    writeItem(out, S7::TransportSizeByte, byteCount, dbNumber, area, quint32(byteAddress) * 8);
    return frame;
}

int judgeReadReply(const QByteArray &reply, int byteCount, QByteArray *out)
{
    if (reply.isEmpty())
        return JobNoReply;
    if (qint64(reply.size()) != qint64(S7::ReadReplyDataOffset) + byteCount)
        return JobBadReply;
    if (byteCount > 0) {
        ByteReader in(reply);
        in.seek(S7::ReadReplyDataOffset);
        const QByteArray data = in.bytes(byteCount);
        if (!in.ok())
            return JobBadReply;
        out->append(data);
    }
    return JobOk;
}

QByteArray writeRequest(quint16 pduReference, int dbNumber, int byteAddress, int byteCount,
                        const QByteArray &payload, int area)
{
    if (byteCount < 0 || byteCount > maxWriteBytes() || byteCount > payload.size())
        return QByteArray(); // no frame can say this of itself
    const int parameterLength = varParameterLength(1);
    const int dataLength = S7::DataItemHeaderSize + byteCount;
    const int length = S7::JobParameterOffset + parameterLength + dataLength;
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, pduReference, parameterLength, dataLength);
    out.u8(S7::FunctionWriteVariable);
    out.u8(1);
    writeItem(out, S7::TransportSizeByte, byteCount, dbNumber, area, quint32(byteAddress) * 8);
    out.u8(S7::DataItemReserved);
    out.u8(S7::DataTransportByte);
    out.u16(quint16(quint32(byteCount) * 8u));
    out.bytes(payload.constData(), byteCount);
    return frame;
}

QByteArray writeBitsRequest(quint16 pduReference, int dbNumber, int firstBit, const QByteArray &bits,
                            int area)
{
    const int items = bits.size();
    const int parameterLength = varParameterLength(items);
    // Each data item is padded to an even length, except the last one.
    const int dataLength = items > 0 ? (S7::DataItemHeaderSize + 2) * items - 1 : 0;
    const int length = S7::JobParameterOffset + parameterLength + dataLength;
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, pduReference, parameterLength, dataLength);
    out.u8(S7::FunctionWriteVariable);
    out.u8(quint8(items));
    for (int i = 0; i < items; ++i)
        writeItem(out, S7::TransportSizeBit, 1, dbNumber, area, quint32(firstBit + i));
    for (int i = 0; i < items; ++i) {
        out.u8(S7::DataItemReserved);
        out.u8(S7::DataTransportBit);
        out.u16(1); // one bit
        out.u8(bits.at(i) ? 1 : 0);
        if (i + 1 < items)
            out.u8(0); // fill byte
    }
    return frame;
}

int judgeWriteReply(const QByteArray &reply, int itemCount)
{
    if (reply.isEmpty())
        return JobNoReply;
    if (reply.size() != S7::WriteReplyReturnCodeOffset + itemCount)
        return JobBadReply;
    ByteReader in(reply);
    in.seek(S7::WriteReplyReturnCodeOffset);
    for (int i = 0; i < itemCount; ++i) {
        if (in.u8() != S7::ReturnCodeSuccess)
            return JobBadReply;
    }
    return in.ok() ? JobOk : JobBadReply;
}

} // namespace S7Frame
