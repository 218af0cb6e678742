#ifndef QUILLMARSH_CLOCKOFFSET_H
#define QUILLMARSH_CLOCKOFFSET_H

#include <QDateTime>

#include "CDriveExtension.h"

// How far the PLC's clock is ahead of this machine's (behind: negative), in
// ms: the CPU's clock, read through the extension, against this machine's
// local time halfway through the read, so that the round trip splits evenly.
class ClockOffset
{
public:
    // A record status (StatusOk: *offsetMs holds it, and *clock, where
    // given, the CPU's clock); why tells the cause.
    static int measure(CDriveExtension *extension, qint64 *offsetMs, CDriveExtension::Why *why,
                       QDateTime *clock = nullptr);
};

#endif
