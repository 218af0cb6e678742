#include "ClockOffset.h"

#include <QDateTime>

int ClockOffset::measure(CDriveExtension *extension, qint64 *offsetMs, CDriveExtension::Why *why)
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QDateTime clock;
    const int status = extension->readClock(&clock, why);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    if (status == StatusOk)
        *offsetMs = clock.toMSecsSinceEpoch() - (before + after) / 2;
    return status;
}
