#include "S7ItemFrames.h"

#include "ByteReader.h"
#include "S7Frame.h"
#include "S7ReplyHead.h"

namespace {

using S7ItemFrames::Item;
using S7ItemFrames::Verdict;

bool odd(int length)
{
    return length % 2 != 0;
}

QByteArray request(quint16 pduReference, quint8 function, const QVector<Item> &items, bool withData)
{
    const int parameterLength = S7::VarParameterHeaderSize + S7::VarItemSize * items.size();
    int dataLength = 0;
    for (int i = 0; withData && i < items.size(); ++i)
        dataLength += S7ItemFrames::dataItemSize(items.at(i).length, i > 0 ? items.at(i - 1).length : -1);
    const int length = S7::JobParameterOffset + parameterLength + dataLength;
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, pduReference, parameterLength, dataLength);
    out.u8(function);
    out.u8(quint8(items.size()));
    for (const Item &item : items) {
        if (item.bit >= 0)
            S7Frame::writeItem(out, S7::TransportSizeBit, 1, item.dbNumber, item.area,
                               quint32(item.start) * 8 + quint32(item.bit));
        else
            S7Frame::writeItem(out, S7::TransportSizeByte, item.length, item.dbNumber, item.area,
                               quint32(item.start) * 8);
    }
    for (int i = 0; withData && i < items.size(); ++i) {
        const Item &item = items.at(i);
        if (i > 0 && odd(items.at(i - 1).length))
            out.u8(0); // fill byte
        out.u8(S7::DataItemReserved);
        const bool bit = item.bit >= 0;
        out.u8(bit ? S7::DataTransportBit : S7::DataTransportByte);
        out.u16(quint16(bit ? 1 : item.length * 8));
        out.bytes(item.data.constData(), qMin(item.data.size(), item.length));
    }
    return frame;
}

// The head, function and item count of a reply to the job; false with the
// verdict filled in when the reply is refused as a whole or does not match.
bool readFront(ByteReader &in, const QByteArray &reply, quint16 pduReference, quint8 function, int itemCount,
               Verdict *verdict)
{
    S7ReplyHead head;
    if (!head.read(in, reply)) {
        verdict->problem = "frame layers do not add up";
        return false;
    }
    if (head.pduReference != pduReference) {
        verdict->problem = "PDU reference of another job";
        return false;
    }
    if (head.rosctr == S7::RosctrUserData) {
        verdict->problem = "user data where an ack-data was due";
        return false;
    }
    if (head.error != 0) {
        verdict->errorClass = head.errorClass();
        verdict->errorCode = head.errorCode();
        verdict->problem = "job refused";
        return false;
    }
    const quint8 gotFunction = in.u8();
    const int gotCount = in.u8();
    if (head.rosctr != S7::RosctrAckData || head.parameterLength != S7::ReplyParameterSize
        || gotFunction != function) {
        verdict->problem = "not the reply of a variable job";
        return false;
    }
    if (gotCount != itemCount) {
        verdict->problem = "item count differs";
        return false;
    }
    return true;
}

// The bytes a read item's length field counts, or -1 for a transport size
// that does not describe bytes.
int dataBytes(quint8 transportSize, int length)
{
    switch (transportSize) {
    case S7::DataTransportByte:
        return length % 8 == 0 ? length / 8 : -1;
    case S7::DataTransportOctets:
    case S7::DataTransportReal:
        return length;
    default:
        return -1;
    }
}

} // namespace

namespace S7ItemFrames {

int dataItemSize(int length, int previousLength)
{
    return S7::DataItemHeaderSize + length + (previousLength >= 0 && odd(previousLength) ? 1 : 0);
}

int writeReplySize(int itemCount)
{
    return ReplyBaseSize + itemCount * S7::WriteReturnCodeSize;
}

QByteArray readRequest(quint16 pduReference, const QVector<Item> &items)
{
    return request(pduReference, S7::FunctionReadVariable, items, false);
}

QByteArray writeRequest(quint16 pduReference, const QVector<Item> &items)
{
    return request(pduReference, S7::FunctionWriteVariable, items, true);
}

Verdict judgeReadReply(const QByteArray &reply, quint16 pduReference, const QVector<Item> &items)
{
    Verdict verdict;
    ByteReader in(reply);
    if (!readFront(in, reply, pduReference, S7::FunctionReadVariable, items.size(), &verdict))
        return verdict;
    QVector<ItemResult> results(items.size());
    for (int i = 0; i < items.size(); ++i) {
        ItemResult &result = results[i];
        result.returnCode = in.u8();
        const quint8 transportSize = in.u8();
        const int length = in.u16();
        // A refused item carries no data, whatever its length field says
        // (snap7's server puts 4 there).
        if (result.returnCode != S7::ReturnCodeSuccess)
            continue;
        const int bytes = dataBytes(transportSize, length);
        if (bytes < 0) {
            verdict.problem = "transport size does not describe bytes";
            return verdict;
        }
        if (bytes != items.at(i).length) {
            verdict.problem = "item length differs";
            return verdict;
        }
        result.data = in.bytes(bytes);
        if (odd(bytes) && i + 1 < items.size())
            in.u8(); // fill byte
    }
    if (!in.ok() || in.remaining() != 0) {
        verdict.problem = in.ok() ? "bytes after the last item" : "items run past the frame";
        return verdict;
    }
    verdict.items = results;
    verdict.result = JobOk;
    return verdict;
}

Verdict judgeWriteReply(const QByteArray &reply, quint16 pduReference, int itemCount)
{
    Verdict verdict;
    ByteReader in(reply);
    if (!readFront(in, reply, pduReference, S7::FunctionWriteVariable, itemCount, &verdict))
        return verdict;
    QVector<ItemResult> results(itemCount);
    for (ItemResult &result : results)
        result.returnCode = in.u8();
    if (!in.ok() || in.remaining() != 0) {
        verdict.problem = "return codes do not match the items";
        return verdict;
    }
    verdict.items = results;
    verdict.result = JobOk;
    return verdict;
}

} // namespace S7ItemFrames
