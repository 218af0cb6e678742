// The judgement of PLC replies on arbitrary bytes, and the request builders
// on arbitrary arguments, by properties rather than by the rules themselves:
// no reply is "no reply" and nothing else is; an accepted read hands over
// exactly the bytes asked for, from the end of the reply; an accepted write
// reply ends in one success code per item; a refused reply leaves the
// caller's output as it was; every frame built says its own length.
//
// Input: [what][count, 16-bit signed][reply bytes...]

#include <QByteArray>

#include <cstdint>

#include "FuzzRequire.h"
#include "S7Frame.h"

namespace {

constexpr size_t HeaderBytes = 3;
constexpr size_t MaxReply = 8192;
constexpr int MaxCount = 4096;
constexpr int ReadRequestSize = 31;
constexpr int WriteRequestBase = 35;
const QByteArray Prefix("earlier", 7);

enum What { ConnectConfirm, SetupReply, ReadReply, WriteReply, Requests, WhatCount };

void judgeHandshake(const QByteArray &reply, quint8 code)
{
    const int result = S7Frame::judgeHandshakeReply(reply, code);
    require(result == S7Frame::HandshakeOk || result == S7Frame::HandshakeUnconfirmed);
    // Accepting needs the code somewhere in the reply, so a reply without it never passes.
    require(result != S7Frame::HandshakeOk || reply.contains(char(code)));
}

void judgeRead(const QByteArray &reply, int count)
{
    QByteArray out = Prefix;
    const int result = S7Frame::judgeReadReply(reply, count, &out);
    require((result == JobNoReply) == reply.isEmpty());
    if (result == JobOk)
        require(out == Prefix + reply.right(qMax(count, 0)) && reply.size() > qMax(count, 0));
    else
        require(out == Prefix && (result == JobBadReply || result == JobNoReply));
}

void judgeWrite(const QByteArray &reply, int count)
{
    const int items = 1 + qAbs(count) % S7Frame::maxBitsPerJob();
    const int result = S7Frame::judgeWriteReply(reply, items);
    require((result == JobNoReply) == reply.isEmpty());
    require(result == JobOk || result == JobBadReply || result == JobNoReply);
    if (result == JobOk)
        require(reply.right(items) == QByteArray(items, char(S7::ReturnCodeSuccess)) && reply.size() > items);
    // One code more or less than there are items is never accepted.
    require(S7Frame::judgeWriteReply(reply + char(S7::ReturnCodeSuccess), items) != JobOk || result != JobOk);
}

// The reply bytes double as arguments: each frame's TPKT length is its size.
void buildRequests(const QByteArray &bytes, int count)
{
    const int n = qMax(count, 0);
    const int address = count * 7;
    const QByteArray read = S7Frame::readRequest(quint16(count), address, count, count, bytes.size());
    require(read.size() == ReadRequestSize);
    const QByteArray payload = bytes.leftJustified(n, '\0');
    const QByteArray write = S7Frame::writeRequest(quint16(count), count, address, n, payload, count);
    require(write.size() == WriteRequestBase + n && payload.startsWith(write.mid(WriteRequestBase)));
    const QByteArray bits = bytes.left(S7Frame::maxBitsPerJob());
    const QByteArray bitWrite = S7Frame::writeBitsRequest(quint16(count), count, count, bits, count);
    for (const QByteArray &frame : {read, write, bitWrite})
        require(quint16(quint8(frame.at(2)) << 8 | quint8(frame.at(3))) == quint16(frame.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HeaderBytes || size > HeaderBytes + MaxReply)
        return 0;
    const int count = qBound(-MaxCount, int(int16_t(uint16_t(data[1] << 8 | data[2]))), MaxCount);
    const QByteArray reply(reinterpret_cast<const char *>(data + HeaderBytes), int(size - HeaderBytes));
    switch (data[0] % WhatCount) {
    case ConnectConfirm: judgeHandshake(reply, S7::CotpConnectionConfirm); break;
    case SetupReply: judgeHandshake(reply, S7::CotpData); break;
    case ReadReply: judgeRead(reply, count); break;
    case WriteReply: judgeWrite(reply, count); break;
    default: buildRequests(reply, count); break;
    }
    return 0;
}
