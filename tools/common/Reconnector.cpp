#include "Reconnector.h"

#include <algorithm>

#include "CDriveBaseClass.h"

namespace {
// Reads in a row without an answer after which the PLC counts as gone: one
// can be a slow answer, two are a connection that no longer carries any.
const int kNoReplyLimit = 2;
} // namespace

Reconnector::Reconnector(CDriveBaseClass *driverObject, const QString &endpoint)
    : driver(driverObject), plc(endpoint)
{
}

void Reconnector::note(int status)
{
    noReplyRun = status == StatusNoReply ? noReplyRun + 1 : 0;
    if (!lost && (status == StatusNotConnected || noReplyRun >= kNoReplyLimit)) {
        lost = true;
        lostAt = QDateTime::currentDateTime();
    }
}

bool Reconnector::reconnect()
{
    ++attemptCount;
    if (driver->ConnectDrive(plc) == ConnectOk) {
        lost = false;
        noReplyRun = 0;
        attemptCount = 0;
        nextWaitMs = kFirstWaitMs;
        return true;
    }
    lost = true;
    nextWaitMs = std::min(nextWaitMs * 2, kLongestWaitMs);
    return false;
}

QString Reconnector::stateText() const
{
    if (!lost)
        return QStringLiteral("connected to %1").arg(plc);
    return QStringLiteral("reconnecting to %1 (attempt %2), down since %3")
        .arg(plc)
        .arg(attemptCount + 1)
        .arg(lostAt.toString(QStringLiteral("HH:mm:ss")));
}
