#ifndef QUILLMARSH_S7FRAME_H
#define QUILLMARSH_S7FRAME_H

// Frames apart from the socket: pure functions from arguments to the bytes
// of a request, and from the bytes of a reply to a verdict.

#include <QByteArray>

#include "ResultCodes.h"
#include "S7Types.h"

namespace S7Frame {

// Results of a handshake step.
enum HandshakeResult : int {
    HandshakeOk = 0,
    HandshakeUnconfirmed = 1, // no reply, or not the expected TPDU
    HandshakeNotConnected = -3
};

// Data-block number of an item: V and DB addresses without a block number
// go to data block 1; the other areas carry block 0.
quint16 itemDbNumber(int area, int dbNumber);
// One 12-byte S7ANY variable item; the area byte is the low 8 bits of area.
void writeItem(ByteWriter &out, quint8 transportSize, int elementCount, int dbNumber, int area,
               quint32 bitAddress);

// The PDU reference of a frame with an S7 header; 0 for a shorter one.
quint16 pduReferenceOf(const QByteArray &frame);

// Handshake step 1: COTP connection request (22 bytes).
QByteArray connectRequest();
// Handshake step 2: S7 setup communication job (25 bytes).
QByteArray setupCommunication();
// HandshakeOk when the reply carries the expected COTP TPDU code, else
// HandshakeUnconfirmed; nothing else of the reply is looked at.
int judgeHandshakeReply(const QByteArray &reply, quint8 expectedTpduCode);

// Read-variable job for byteCount bytes from byteAddress (31 bytes).
QByteArray readRequest(quint16 pduReference, int byteAddress, int byteCount, int dbNumber, int area);
// JobOk (data appended to *out), JobBadReply or JobNoReply. A reply is
// accepted by its exact length alone: its header, error class and return code
// are not looked at, so a CPU's error answer of the same length passes.
int judgeReadReply(const QByteArray &reply, int byteCount, QByteArray *out);

// Write-variable job for the first byteCount bytes of payload (35 + byteCount
// bytes). Empty when the payload holds fewer bytes or byteCount is outside
// 0..maxWriteBytes().
QByteArray writeRequest(quint16 pduReference, int dbNumber, int byteAddress, int byteCount,
                        const QByteArray &payload, int area);
// Write-variable job with one BIT item per element of bits (0 or 1 each),
// addressing consecutive bits from firstBit (byte address * 8 + bit).
QByteArray writeBitsRequest(quint16 pduReference, int dbNumber, int firstBit,
                            const QByteArray &bits, int area);
// JobOk when the reply holds one return code per item and all are 0xFF;
// judged by length and return codes only.
int judgeWriteReply(const QByteArray &reply, int itemCount = 1);

// The most bytes one write job can describe: its data length counts bits in
// 16 bits (8191 bytes), which also keeps 35 + bytes within the TPKT length.
constexpr int maxWriteBytes()
{
    return 0xFFFF / 8;
}

// The most BIT items one write job may carry and still fit the smallest PDU.
constexpr int maxBitsPerJob()
{
    // S7 header + parameter (2 + 12 per item) + data (4 header + 1 value per
    // item, a fill byte between items) within the PDU.
    constexpr int perItem = S7::VarItemSize + S7::DataItemHeaderSize + 2;
    return (S7::MinimumPduLength - S7::S7JobHeaderSize - S7::VarParameterHeaderSize + 1) / perItem;
}

} // namespace S7Frame

#endif
