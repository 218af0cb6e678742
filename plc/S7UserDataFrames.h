#ifndef QUILLMARSH_S7USERDATAFRAMES_H
#define QUILLMARSH_S7USERDATAFRAMES_H

// User-data jobs (ROSCTR 7) apart from the socket: reading a system state
// list (function group 4) with the requests for its further data units, and
// reading the CPU's clock (group 7); the verdict on their replies.

#include <QByteArray>

#include "ResultCodes.h"

namespace S7UserDataFrames {

QByteArray szlRequest(quint16 pduReference, quint16 id, quint16 index);
// Asks for the next data unit of the list whose reply carried sequence.
QByteArray szlFollowUp(quint16 pduReference, quint8 sequence);
QByteArray clockRequest(quint16 pduReference);
// Sets the protection password of this connection; password holds at most
// S7::PasswordSize bytes.
QByteArray passwordRequest(quint16 pduReference, const QByteArray &password);

// JobOk: an answer of the group and subfunction asked, with its data (or,
// for a function that answers none, with no error word). JobBadReply: a
// reply that does not add up (problem), or an answer that refuses (error
// word, or a return code other than 0xFF).
struct Answer
{
    int result = JobBadReply;
    quint16 error = 0;
    quint8 returnCode = 0;
    quint8 sequence = 0;
    bool lastUnit = true;
    QByteArray data; // what follows the data item's header
    const char *problem = "";
};

Answer judgeReply(const QByteArray &reply, quint16 pduReference, quint8 group, quint8 subfunction,
                  bool carriesData = true);

} // namespace S7UserDataFrames

#endif
