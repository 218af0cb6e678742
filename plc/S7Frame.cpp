#include "S7Frame.h"

#include "ByteReader.h"

namespace {

// Data-block number and area byte of an item: V and DB addresses without a
// block number go to data block 1; the other areas carry block 0.
quint16 itemDbNumber(int area, int dbNumber)
{
    if (area != S7::AreaDataBlocks)
        return 0;
    return dbNumber >= 1 ? quint16(dbNumber) : S7::DefaultDataBlock;
}

void writeFrameStart(ByteWriter &out, int frameLength, quint16 pduReference, int parameterLength,
                     int dataLength)
{
    TpktHeader tpkt;
    tpkt.length = quint16(frameLength);
    tpkt.writeTo(out);
    CotpDataHeader().writeTo(out);
    S7Header s7;
    s7.pduReference = pduReference;
    s7.parameterLength = quint16(parameterLength);
    s7.dataLength = quint16(dataLength);
    s7.writeTo(out);
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

int varParameterLength(int itemCount)
{
    return S7::VarParameterHeaderSize + S7::VarItemSize * itemCount;
}

} // namespace

namespace S7Frame {

QByteArray connectRequest()
{
    constexpr int length = 22;
    QByteArray frame;
    ByteWriter out(frame, length);
    TpktHeader tpkt;
    tpkt.length = length;
    tpkt.writeTo(out);
    out.u8(length - S7::TpktHeaderSize - 1); // COTP length indicator
    out.u8(S7::CotpConnectionRequest);
    out.u16(0x0000);                          // destination reference
    out.u16(0x0001);                          // source reference
    out.u8(0x00);                             // class 0, no options
    out.u8(S7::CotpParamTpduSize);
    out.u8(1);
    out.u8(S7::CotpTpduSize1024);
    out.u8(S7::CotpParamCallingTsap);
    out.u8(2);
    out.u16(S7::LocalTsap);
    out.u8(S7::CotpParamCalledTsap);
    out.u8(2);
    out.u16(S7::RemoteTsap);
    return frame;
}

QByteArray setupCommunication()
{
    constexpr int parameterLength = 8;
    constexpr int length = S7::JobParameterOffset + parameterLength;
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, S7::SetupPduReference, parameterLength, 0);
    out.u8(S7::FunctionSetupCommunication);
    out.u8(0x00); // reserved
    out.u16(S7::MaxParallelJobs);
    out.u16(S7::MaxParallelJobs);
    out.u16(S7::RequestedPduLength);
    return frame;
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
