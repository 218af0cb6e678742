#include "ClockOffset.h"

#include <QDateTime>

int ClockOffset::measure(CDriveExtension *extension, qint64 *offsetMs, CDriveExtension::Why *why,
                         QDateTime *clock)
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QDateTime read;
    const int status = extension->readClock(&read, why);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    if (status == StatusOk)
        *offsetMs = read.toMSecsSinceEpoch() - (before + after) / 2;
    if (clock)
        *clock = read;
    return status;
}
