#ifndef QUILLMARSH_S7REASONS_H
#define QUILLMARSH_S7REASONS_H

// Why a job or an item failed, in a short English text a technician can act
// on, from the codes the PLC answered with.

#include <QByteArray>
#include <QString>

#include "CDriveExtension.h"

namespace S7Reasons {

using Why = CDriveExtension::Why;

// The error word of a reply's header (class in the high byte) or of a
// user-data answer.
Why ofError(quint16 error);
// An item's return code.
Why ofReturnCode(quint8 returnCode);
// A reply that does not add up.
Why ofMismatch(const char *problem);
// A record's status where no reply tells more: refusals before sending, no
// reply, no connection.
Why ofStatus(int status);
// A job of ReadVariable or WriteVariable: its result and its reply.
Why ofSingleJob(int result, const QByteArray &reply);

} // namespace S7Reasons

#endif
