#include "S7UserDataFrames.h"

#include "ByteReader.h"
#include "S7ReplyHead.h"
#include "S7Types.h"

namespace {

constexpr int ShortParameterSize = 4 + S7::UserDataShortLength;
constexpr int LongParameterSize = 4 + S7::UserDataLongLength;

void writeHead(ByteWriter &out, quint8 length, quint8 method, quint8 group, quint8 subfunction, quint8 sequence)
{
    for (quint8 b : S7::UserDataHead)
        out.u8(b);
    out.u8(length);
    out.u8(method);
    out.u8(quint8(S7::UserDataTypeRequest << S7::UserDataTypeShift | group));
    out.u8(subfunction);
    out.u8(sequence);
}

// A request with the short parameter block and one data item.
QByteArray firstRequest(quint16 pduReference, quint8 group, quint8 subfunction, const QByteArray &dataItem)
{
    const int length = S7::JobParameterOffset + ShortParameterSize + dataItem.size();
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, pduReference, ShortParameterSize, dataItem.size(), S7::RosctrUserData);
    writeHead(out, S7::UserDataShortLength, S7::UserDataMethodRequest, group, subfunction, 0);
    out.bytes(dataItem.constData(), dataItem.size());
    return frame;
}

// The data item of a request that sends no data.
QByteArray emptyDataItem()
{
    QByteArray item;
    ByteWriter out(item, S7::DataItemHeaderSize);
    out.u8(S7::ReturnCodeNoObject);
    out.u8(S7::DataTransportNull);
    out.u16(0);
    return item;
}

} // namespace

namespace S7UserDataFrames {

QByteArray szlRequest(quint16 pduReference, quint16 id, quint16 index)
{
    QByteArray item;
    ByteWriter out(item, S7::DataItemHeaderSize + S7::SzlSelectorSize);
    out.u8(S7::ReturnCodeSuccess);
    out.u8(S7::DataTransportOctets);
    out.u16(S7::SzlSelectorSize);
    out.u16(id);
    out.u16(index);
    return firstRequest(pduReference, S7::UserDataGroupCpu, S7::UserDataReadSzl, item);
}

QByteArray szlFollowUp(quint16 pduReference, quint8 sequence)
{
    const QByteArray item = emptyDataItem();
    const int length = S7::JobParameterOffset + LongParameterSize + item.size();
    QByteArray frame;
    ByteWriter out(frame, length);
    writeFrameStart(out, length, pduReference, LongParameterSize, item.size(), S7::RosctrUserData);
    writeHead(out, S7::UserDataLongLength, S7::UserDataMethodResponse, S7::UserDataGroupCpu, S7::UserDataReadSzl,
              sequence);
    out.u8(0);                    // data unit reference
    out.u8(S7::UserDataLastUnit);
    out.u16(0);                   // error word
    out.bytes(item.constData(), item.size());
    return frame;
}

QByteArray clockRequest(quint16 pduReference)
{
    return firstRequest(pduReference, S7::UserDataGroupClock, S7::UserDataReadClock, emptyDataItem());
}

QByteArray passwordRequest(quint16 pduReference, const QByteArray &password)
{
    const QByteArray plain = password.leftJustified(S7::PasswordSize, S7::PasswordPad, true);
    QByteArray item;
    ByteWriter out(item, S7::DataItemHeaderSize + S7::PasswordSize);
    out.u8(S7::ReturnCodeSuccess);
    out.u8(S7::DataTransportOctets);
    out.u16(S7::PasswordSize);
    QByteArray encoded(S7::PasswordSize, '\0');
    for (int i = 0; i < S7::PasswordSize; ++i) {
        quint8 b = quint8(plain.at(i)) ^ S7::PasswordMask;
        if (i >= 2)
            b ^= quint8(encoded.at(i - 2));
        encoded[i] = char(b);
    }
    out.bytes(encoded.constData(), encoded.size());
    return firstRequest(pduReference, S7::UserDataGroupSecurity, S7::UserDataSetPassword, item);
}

Answer judgeReply(const QByteArray &reply, quint16 pduReference, quint8 group, quint8 subfunction, bool carriesData)
{
    Answer answer;
    ByteReader in(reply);
    S7ReplyHead head;
    if (!head.read(in, reply)) {
        answer.problem = "frame layers do not add up";
        return answer;
    }
    if (head.pduReference != pduReference) {
        answer.problem = "PDU reference of another job";
        return answer;
    }
    // A CPU that does not serve user data at all may answer with an
    // ack-data that carries only an error.
    if (head.rosctr != S7::RosctrUserData) {
        answer.error = head.error;
        answer.problem = head.error != 0 ? "job refused" : "not a user-data answer";
        return answer;
    }
    QByteArray front(3, '\0');
    for (char &b : front)
        b = char(in.u8());
    const quint8 length = in.u8();
    in.u8(); // method
    const quint8 typeAndGroup = in.u8();
    const quint8 gotSubfunction = in.u8();
    answer.sequence = in.u8();
    in.u8(); // data unit reference
    answer.lastUnit = in.u8() == S7::UserDataLastUnit;
    answer.error = in.u16();
    answer.returnCode = in.u8();
    const quint8 transportSize = in.u8();
    const int dataLength = in.u16();
    answer.data = in.bytes(dataLength);
    if (!in.ok() || in.remaining() != 0 || head.parameterLength != LongParameterSize
        || length != S7::UserDataLongLength
        || front != QByteArray(reinterpret_cast<const char *>(S7::UserDataHead), 3)) {
        answer.problem = "user-data answer does not add up";
        return answer;
    }
    if (typeAndGroup != (S7::UserDataTypeResponse << S7::UserDataTypeShift | group) || gotSubfunction != subfunction) {
        answer.problem = "answer of another function";
        return answer;
    }
    // A function that answers nothing (setting a password) leaves its data
    // item empty and says whether it was done in the error word alone.
    if (!carriesData && answer.error == 0 && answer.data.isEmpty()) {
        answer.result = JobOk;
        return answer;
    }
    if (answer.error != 0 || answer.returnCode != S7::ReturnCodeSuccess) {
        answer.problem = "function refused";
        return answer;
    }
    if (transportSize != S7::DataTransportOctets) {
        answer.problem = "transport size does not describe bytes";
        return answer;
    }
    answer.result = JobOk;
    return answer;
}

} // namespace S7UserDataFrames
