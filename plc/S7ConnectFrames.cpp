#include "S7ConnectFrames.h"

#include "ByteReader.h"
#include "S7Types.h"

namespace {

// The host header's defaults are the handshake a plain connect sends.
constexpr S7ConnectFrames::Options Defaults{};
static_assert(Defaults.localTsap == S7::LocalTsap && Defaults.pduSize == S7::RequestedPduLength
                  && Defaults.parallelJobs == S7::MaxParallelJobs && Defaults.remoteTsap < 0
                  && (Defaults.connectionType << S7::TsapTypeShift | Defaults.rack << S7::TsapRackShift
                      | Defaults.slot) == S7::RemoteTsap,
              "default connection options differ from the plain handshake");

void writeTsap(ByteWriter &out, quint8 code, int tsap)
{
    out.u8(code);
    out.u8(2);
    out.u16(quint16(tsap));
}

void writeTpduSize(ByteWriter &out)
{
    out.u8(S7::CotpParamTpduSize);
    out.u8(1);
    out.u8(S7::CotpTpduSize1024);
}

} // namespace

namespace S7ConnectFrames {

bool valid(const Options &o)
{
    const auto within = [](int v, int low, int high) { return v >= low && v <= high; };
    return within(o.connectionType, Options::PG, Options::S7Basic) && within(o.rack, 0, S7::MaxRack)
           && within(o.slot, 0, S7::MaxSlot) && within(o.localTsap, 0, 0xFFFF) && within(o.remoteTsap, -1, 0xFFFF)
           && within(o.pduSize, S7::MinimumPduLength, int(S7::RequestedPduLength))
           && within(o.parallelJobs, 1, S7::MaxParallelJobsAsked)
           && within(o.parameterOrder, Options::TpduSizeFirst, Options::TsapsFirst);
}

quint16 remoteTsap(const Options &o)
{
    if (o.remoteTsap >= 0)
        return quint16(o.remoteTsap);
    return quint16(o.connectionType << S7::TsapTypeShift | o.rack << S7::TsapRackShift | o.slot);
}

QByteArray connectRequest(const Options &options)
{
    constexpr int length = S7::TpktHeaderSize + S7::CotpFixedRequestSize + 3 + 4 + 4;
    QByteArray frame;
    ByteWriter out(frame, length);
    TpktHeader tpkt;
    tpkt.length = length;
    tpkt.writeTo(out);
    out.u8(length - S7::TpktHeaderSize - 1); // COTP length indicator
    out.u8(S7::CotpConnectionRequest);
    out.u16(0x0000);                         // destination reference
    out.u16(0x0001);                         // source reference
    out.u8(0x00);                            // class 0, no options
    if (options.parameterOrder == Options::TpduSizeFirst)
        writeTpduSize(out);
    writeTsap(out, S7::CotpParamCallingTsap, options.localTsap);
    writeTsap(out, S7::CotpParamCalledTsap, remoteTsap(options));
    if (options.parameterOrder == Options::TsapsFirst)
        writeTpduSize(out);
    return frame;
}

QByteArray setupCommunication(const Options &options)
{
    constexpr int parameterLength = 8;
    constexpr int length = S7::JobParameterOffset + parameterLength;
    QByteArray frame;
    ByteWriter out(frame, length);
    TpktHeader tpkt;
    tpkt.length = length;
    tpkt.writeTo(out);
    CotpDataHeader().writeTo(out);
    S7Header s7;
    s7.pduReference = S7::SetupPduReference;
    s7.parameterLength = parameterLength;
    s7.writeTo(out);
    out.u8(S7::FunctionSetupCommunication);
    out.u8(0x00); // reserved
    out.u16(quint16(options.parallelJobs));
    out.u16(quint16(options.parallelJobs));
    out.u16(quint16(options.pduSize));
    return frame;
}

bool readSetupReply(const QByteArray &reply, Negotiated *granted)
{
    ByteReader in(reply);
    in.seek(S7::RosctrOffset);
    const quint8 rosctr = in.u8();
    in.seek(S7::AckParameterOffset - 2);
    const quint16 error = in.u16();
    const quint8 function = in.u8();
    in.seek(S7::SetupReplyJobsOffset);
    Negotiated got;
    got.parallelJobsCalling = in.u16();
    got.parallelJobsCalled = in.u16();
    got.pduSize = in.u16();
    if (!in.ok() || rosctr != S7::RosctrAckData || error != 0 || function != S7::FunctionSetupCommunication
        || got.pduSize == 0 || got.parallelJobsCalling == 0 || got.parallelJobsCalled == 0)
        return false;
    *granted = got;
    return true;
}

} // namespace S7ConnectFrames
