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

#endif
