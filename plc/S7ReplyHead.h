#ifndef QUILLMARSH_S7REPLYHEAD_H
#define QUILLMARSH_S7REPLYHEAD_H

#include <QByteArray>

class ByteReader;

// The three layers at the front of a reply frame, read through a bounds-
// checked reader: TPKT, COTP data header and the S7 header (12 bytes for an
// ack or ack-data, with the error word; 10 for user data, without).
struct S7ReplyHead
{
    quint8 rosctr = 0;
    quint16 pduReference = 0;
    int parameterLength = 0;
    int dataLength = 0;
    quint16 error = 0; // error class (high byte) and code; 0 for user data

    // Reads the layers from the start of reply and leaves the reader at the
    // parameter block. False when they do not hold together: not TPKT
    // version 3 with the frame's own length, not a whole COTP data unit, not
    // S7 communication, or parameter and data lengths that do not add up to
    // the frame.
    bool read(ByteReader &in, const QByteArray &reply);
    quint8 errorClass() const { return quint8(error >> 8); }
    quint8 errorCode() const { return quint8(error); }
};

#endif
