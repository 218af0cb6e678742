#ifndef QUILLMARSH_S7ITEMFRAMES_H
#define QUILLMARSH_S7ITEMFRAMES_H

// Read and write jobs of many items, apart from the socket: the request
// bytes, and the verdict on a reply. Requests carry 12-byte S7ANY items;
// a reply carries per item a return code, a transport size, a length and
// the data, with a fill byte after an item of odd length that is not the last.

#include <QByteArray>
#include <QVector>

#include "ResultCodes.h"
#include "S7Types.h"

namespace S7ItemFrames {

// One item: bytes from start in an area (and data block), or, with bit 0..7
// in a write, that one bit.
struct Item
{
    int area = 0;
    int dbNumber = 0;
    int start = 0;    // byte address
    int length = 0;   // bytes to read or write (1 for a bit)
    int bit = -1;
    QByteArray data;  // a write's bytes; for a bit one byte, 0 or 1
};

struct ItemResult
{
    quint8 returnCode = 0; // 0xFF: done
    QByteArray data;       // a read item's bytes, when done
};

// JobOk: the reply adds up, each item has its result. JobBadReply (and no
// item results): it does not (problem says where), or the PLC refused the
// whole job (its header's error class and code are not 0).
struct Verdict
{
    int result = JobBadReply;
    quint8 errorClass = 0;
    quint8 errorCode = 0;
    const char *problem = "";
    QVector<ItemResult> items;
};

QByteArray readRequest(quint16 pduReference, const QVector<Item> &items);
QByteArray writeRequest(quint16 pduReference, const QVector<Item> &items);
Verdict judgeReadReply(const QByteArray &reply, quint16 pduReference, const QVector<Item> &items);
Verdict judgeWriteReply(const QByteArray &reply, quint16 pduReference, int itemCount);

// Bytes of the S7 PDU (from its header on) that jobs take, for fitting them
// into the granted PDU. previousLength is that of the item before, -1 for
// none: after an odd one the new item starts with a fill byte.
constexpr int JobBaseSize = S7::S7JobHeaderSize + S7::VarParameterHeaderSize;
constexpr int ReplyBaseSize = S7::S7AckHeaderSize + S7::ReplyParameterSize;
int dataItemSize(int length, int previousLength);          // in a read reply or a write request
int writeReplySize(int itemCount);

} // namespace S7ItemFrames

#endif
