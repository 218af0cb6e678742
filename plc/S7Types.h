#ifndef QUILLMARSH_S7TYPES_H
#define QUILLMARSH_S7TYPES_H

// Everything the frames of ISO-on-TCP / S7 communication need to be built and
// read: codes, fixed lengths, the offsets of the fields we look at, and the
// three frame layers every frame carries. Multi-byte fields are big-endian.
// The simulator's core keeps its own copy of these on purpose, so that a
// mistake cannot hide by being shared by both ends of a test.

#include <QtGlobal>

#include "ByteWriter.h"
#include "S7Memory.h"

namespace S7 {

// RFC 1006 TPKT
constexpr quint8 TpktVersion = 0x03;

// ISO 8073 COTP TPDU codes (byte 1 of the COTP header)
constexpr quint8 CotpConnectionRequest = 0xE0;
constexpr quint8 CotpConnectionConfirm = 0xD0;
constexpr quint8 CotpDisconnectRequest = 0x80;
constexpr quint8 CotpData = 0xF0;
constexpr quint8 CotpEndOfTransmission = 0x80; // TPDU number 0, last data unit

// COTP connection request parameters
constexpr quint8 CotpParamTpduSize = 0xC0;
constexpr quint8 CotpParamCallingTsap = 0xC1;
constexpr quint8 CotpParamCalledTsap = 0xC2;
constexpr quint8 CotpTpduSize1024 = 0x0A;
constexpr quint16 LocalTsap = 0x1000;
constexpr quint16 RemoteTsap = 0x0300; // connection type 3, rack 0, slot 0

// S7 header
constexpr quint8 ProtocolId = 0x32;
constexpr quint8 RosctrJob = 0x01;
constexpr quint8 RosctrAckData = 0x03;

// S7 functions
constexpr quint8 FunctionSetupCommunication = 0xF0;
constexpr quint8 FunctionReadVariable = 0x04;
constexpr quint8 FunctionWriteVariable = 0x05;

// Setup communication (the PDU length asked for is S7::RequestedPduLength)
constexpr quint16 SetupPduReference = 0xCCC1;
constexpr quint16 MaxParallelJobs = 1;

// Variable specification items (S7ANY addressing)
constexpr quint8 ItemVariableSpec = 0x12;
constexpr quint8 ItemSpecLength = 0x0A;     // bytes of the item after this one
constexpr quint8 SyntaxIdS7Any = 0x10;
constexpr quint8 TransportSizeBit = 0x01;
constexpr quint8 TransportSizeByte = 0x02;

// Data items of a write job
constexpr quint8 DataItemReserved = 0x00;
constexpr quint8 DataTransportBit = 0x03;   // length counts bits, one bit per item
constexpr quint8 DataTransportByte = 0x04;  // length counts bits of whole bytes
constexpr quint8 ReturnCodeSuccess = 0xFF;

// Layer sizes and offsets from the start of a frame
constexpr int TpktHeaderSize = 4;
constexpr int CotpDataHeaderSize = 3;
constexpr int S7JobHeaderSize = 10;
constexpr int S7AckHeaderSize = 12;
constexpr int CotpTpduCodeOffset = 5;            // TPKT (4) + COTP length indicator (1)
constexpr int JobParameterOffset = TpktHeaderSize + CotpDataHeaderSize + S7JobHeaderSize;   // 17
constexpr int AckParameterOffset = TpktHeaderSize + CotpDataHeaderSize + S7AckHeaderSize;   // 19

// Variable jobs: function + item count, then 12 bytes per item
constexpr int VarParameterHeaderSize = 2;
constexpr int VarItemSize = 12;
constexpr int DataItemHeaderSize = 4;

// Replies of the variable jobs
constexpr int ReadReplyDataOffset = AckParameterOffset + VarParameterHeaderSize + DataItemHeaderSize; // 25
constexpr int WriteReplyReturnCodeOffset = AckParameterOffset + VarParameterHeaderSize;               // 21
constexpr int WriteReplyLength = WriteReplyReturnCodeOffset + 1;                                      // 22
static_assert(ReadReplyDataOffset == TpktHeaderSize + CotpDataHeaderSize + ReadReplyOverhead,
              "a read reply's data follow the frame layers and the reply's overhead within the PDU");

// ---- connection options, multi-item jobs, user data --------------------

// Connection request: the fixed part, the called TSAP's fields, what a setup may ask for.
constexpr int CotpFixedRequestSize = 7;   // length indicator, code, two references, class
constexpr int TsapTypeShift = 8;          // called TSAP: connection type in the high byte,
constexpr int TsapRackShift = 5;          // rack in bits 5..7 and slot in bits 0..4 of the low one
constexpr int MaxRack = 7;
constexpr int MaxSlot = 31;
constexpr int MaxParallelJobsAsked = 255;

// Fields of the frames at fixed offsets
constexpr int TpktLengthOffset = 2;
constexpr int RosctrOffset = 8;
constexpr int PduReferenceOffset = 11;
constexpr int SetupReplyJobsOffset = AckParameterOffset + 2; // after function and reserved byte

constexpr quint8 RosctrAck = 0x02;
constexpr quint8 RosctrUserData = 0x07;
constexpr quint8 CotpDataHeaderLengthIndicator = CotpDataHeaderSize - 1;

// Data items of a reply: transport sizes and the unit of their length.
constexpr quint8 DataTransportNull = 0x00;
constexpr quint8 DataTransportReal = 0x07;   // length in bytes
constexpr quint8 DataTransportOctets = 0x09; // length in bytes

// The most items one variable job carries. snap7's server and client take
// at most 20 (MaxVars in s7_types.h) and the 240-byte PDU of the small CPUs
// has room for 19 request items; more than 20 is never asked.
constexpr int MaxItemsPerJob = 20;
constexpr int ReplyParameterSize = VarParameterHeaderSize;           // function, item count
constexpr int WriteReturnCodeSize = 1;

// User data (ROSCTR 7): a parameter head 00 01 12, its length, method,
// type with function group, subfunction, sequence number; answers and
// follow-up requests go on with data unit reference, last-unit flag and an
// error word.
constexpr quint8 UserDataHead[] = {0x00, 0x01, 0x12};
constexpr quint8 UserDataShortLength = 4;
constexpr quint8 UserDataLongLength = 8;
constexpr quint8 UserDataMethodRequest = 0x11;
constexpr quint8 UserDataMethodResponse = 0x12; // also marks a follow-up request
constexpr quint8 UserDataTypeRequest = 0x4;
constexpr quint8 UserDataTypeResponse = 0x8;
constexpr int UserDataTypeShift = 4;
constexpr quint8 UserDataGroupCpu = 0x4;     // system state lists
constexpr quint8 UserDataGroupClock = 0x7;
constexpr quint8 UserDataGroupSecurity = 0x5;
constexpr quint8 UserDataSetPassword = 0x01;
// The session password: 8 bytes, padded with blanks; each is XORed with
// 0x55, and from the third on with the encoded byte two places before too.
constexpr int PasswordSize = 8;
constexpr char PasswordPad = ' ';
constexpr quint8 PasswordMask = 0x55;
constexpr quint8 UserDataReadSzl = 0x01;
constexpr quint8 UserDataReadClock = 0x01;
constexpr quint8 UserDataLastUnit = 0x00;
constexpr quint8 ReturnCodeOutOfRange = 0x05;
constexpr quint8 ReturnCodeNoObject = 0x0A;  // also the return code of a request's empty data item
constexpr int UserDataJobHeaderSize = S7JobHeaderSize; // user data has no error fields in the header
constexpr int SzlSelectorSize = 4;                     // list id and index
// The largest list assembled from data units; a peer that announces more
// units after this is not believed.
constexpr int MaxSzlListBytes = 0xFFFF;

// Date and time as the CPU keeps it: eight BCD bytes, year (90..99 for
// 1990..1999, 00..89 for 2000..2089), month, day, hour, minute, second,
// two digits of milliseconds, and the third digit with the weekday.
constexpr int DateAndTimeSize = 8;
constexpr int ClockReplySize = 2 + DateAndTimeSize; // reserved byte, year's century, date and time

} // namespace S7

// The three layers at the front of every frame, written big-endian.

// RFC 1006 header: version, reserved, length of the whole frame.
struct TpktHeader
{
    quint8 version = S7::TpktVersion;
    quint8 reserved = 0;
    quint16 length = 0;

    void writeTo(ByteWriter &out) const
    {
        out.u8(version);
        out.u8(reserved);
        out.u16(length);
    }
};

// COTP data TPDU header: length indicator, TPDU code, number with EOT flag.
struct CotpDataHeader
{
    quint8 lengthIndicator = S7::CotpDataHeaderSize - 1;
    quint8 tpduCode = S7::CotpData;
    quint8 tpduNumber = S7::CotpEndOfTransmission;

    void writeTo(ByteWriter &out) const
    {
        out.u8(lengthIndicator);
        out.u8(tpduCode);
        out.u8(tpduNumber);
    }
};

// S7 header of a job (10 bytes). An ack-data carries error class and code
// behind these fields; the driver never sends one.
struct S7Header
{
    quint8 protocolId = S7::ProtocolId;
    quint8 rosctr = S7::RosctrJob;
    quint16 reserved = 0;
    quint16 pduReference = 0;
    quint16 parameterLength = 0;
    quint16 dataLength = 0;

    void writeTo(ByteWriter &out) const
    {
        out.u8(protocolId);
        out.u8(rosctr);
        out.u16(reserved);
        out.u16(pduReference);
        out.u16(parameterLength);
        out.u16(dataLength);
    }
};

// TPKT, COTP data header and the 10-byte S7 header of a request.
inline void writeFrameStart(ByteWriter &out, int frameLength, quint16 pduReference, int parameterLength,
                            int dataLength, quint8 rosctr = S7::RosctrJob)
{
    TpktHeader tpkt;
    tpkt.length = quint16(frameLength);
    tpkt.writeTo(out);
    CotpDataHeader().writeTo(out);
    S7Header s7;
    s7.rosctr = rosctr;
    s7.pduReference = pduReference;
    s7.parameterLength = quint16(parameterLength);
    s7.dataLength = quint16(dataLength);
    s7.writeTo(out);
}

#endif
