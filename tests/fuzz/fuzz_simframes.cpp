// The simulated CPU's frame handling on arbitrary byte streams, as any client
// on the network reaches it: the stream is cut into TPKT frames as a
// connection cuts it, and each frame answered as a connection has it answered.
//  - No crash, undefined behaviour or read past a frame.
//  - Every reply is one whole frame: TPKT version 3 with its length field
//    equal to its size, and an S7 header that counts exactly the parameter
//    and data bytes after it.
//  - Once a PDU size is agreed, no reply carries a larger PDU.
//  - A reset sends nothing.
//
// Input: [cpu][stream...]. The cpu byte picks the profile (bits 0-2), opens
// the connection to a configured pair of TSAPs and sets it up first unless
// bit 3 is set (so one job frame reaches its handler), and sets protection
// level 3 with a password (bit 4), PUT/GET access off (bit 5), STOP (bit 6).

#include <cstdint>

#include "FuzzRequire.h"
#include "SimCpuProfile.h"
#include "SimState.h"
#include "SimWire.h"
#include "TestFrames.h"

namespace {

using namespace SimWire;

constexpr size_t MaxStream = 16384;
constexpr int TpktLengthOffset = 2;
constexpr int CotpCodeOffset = CotpOffset + 1;
constexpr int MessageTypeOffset = S7Offset + 1;
constexpr int ParamLengthOffset = S7Offset + 6;
constexpr int DataLengthOffset = S7Offset + 8;
constexpr int MinPdu = 240; // the smallest a CPU grants
const QByteArray ConnectRequest = QByteArray::fromHex("0300001611e00000000100c0010ac1020100c2020102");
const QByteArray SetupJob = QByteArray::fromHex("0300001902f08032010000000000080000f0000001000101e0");

void requireWholeFrame(const QByteArray &reply, int pdu)
{
    require(reply.size() >= SimProtocol::MinFrameSize && reply.at(0) == SimProtocol::TpktVersion
            && word(reply, TpktLengthOffset) == reply.size());
    if (quint8(reply.at(CotpCodeOffset)) != CotpData)
        return;
    require(reply.size() >= S7Offset + S7JobHeaderSize && reply.at(S7Offset) == char(S7ProtocolId));
    const quint8 type = quint8(reply.at(MessageTypeOffset));
    const int header = type == S7Ack || type == S7AckData ? S7AckHeaderSize : S7JobHeaderSize;
    require(S7Offset + header + word(reply, ParamLengthOffset) + word(reply, DataLengthOffset) == reply.size());
    require(pdu < MinPdu || reply.size() - S7Offset <= pdu);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 1 + MaxStream)
        return 0;
    const quint8 cpuByte = data[0];
    const QStringList names = SimCpuProfile::names();
    SimState state;
    state.setCpu(*SimCpuProfile::find(names.at((cpuByte & 7) % names.size())));
    if (cpuByte & 0x10)
        state.setProtection(3, QStringLiteral("secret"));
    if (cpuByte & 0x20)
        state.setPutGet(false);
    if (cpuByte & 0x40)
        state.setRunning(false);
    const quint64 id = state.connectionOpened(QStringLiteral("127.0.0.1:40000")).id;
    SimProtocol protocol(1, 1);
    if (!(cpuByte & 0x08)) {
        state.setTsaps(0x0100, 0x0102);
        require(!state.answer(id, protocol, ConnectRequest).reply.isEmpty());
        require(!state.answer(id, protocol, SetupJob).reply.isEmpty());
    }

    QByteArray stream(reinterpret_cast<const char *>(data + 1), int(size - 1));
    for (int length = SimProtocol::frameLength(stream); length > 0; length = SimProtocol::frameLength(stream)) {
        const QByteArray frame = stream.left(length);
        stream.remove(0, length);
        if (SimProtocol::isConnectionRequest(frame))
            requireWholeFrame(SimProtocol::disconnectRequestFor(frame), 0);
        const SimProtocol::Outcome outcome = state.answer(id, protocol, frame);
        require(!outcome.reset || outcome.reply.isEmpty());
        if (!outcome.reply.isEmpty())
            requireWholeFrame(outcome.reply, protocol.grantedPdu());
        if (outcome.close || outcome.reset)
            break;
    }
    return 0;
}
