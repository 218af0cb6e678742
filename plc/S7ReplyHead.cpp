#include "S7ReplyHead.h"

#include "ByteReader.h"
#include "S7Types.h"

bool S7ReplyHead::read(ByteReader &in, const QByteArray &reply)
{
    const quint8 version = in.u8();
    in.u8(); // reserved
    const int frameLength = in.u16();
    const quint8 lengthIndicator = in.u8();
    const quint8 tpduCode = in.u8();
    const quint8 tpduNumber = in.u8();
    const quint8 protocol = in.u8();
    rosctr = in.u8();
    in.u16(); // reserved
    pduReference = in.u16();
    parameterLength = in.u16();
    dataLength = in.u16();
    const bool ack = rosctr == S7::RosctrAck || rosctr == S7::RosctrAckData;
    error = ack ? in.u16() : 0;
    const int headerSize = ack ? S7::S7AckHeaderSize : S7::UserDataJobHeaderSize;
    return in.ok() && version == S7::TpktVersion && frameLength == reply.size()
           && lengthIndicator == S7::CotpDataHeaderLengthIndicator && tpduCode == S7::CotpData
           && (tpduNumber & S7::CotpEndOfTransmission) && protocol == S7::ProtocolId
           && (ack || rosctr == S7::RosctrUserData)
           && S7::TpktHeaderSize + S7::CotpDataHeaderSize + headerSize + parameterLength + dataLength == reply.size();
}
