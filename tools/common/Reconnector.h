#ifndef QUILLMARSH_RECONNECTOR_H
#define QUILLMARSH_RECONNECTOR_H

#include <QDateTime>
#include <QString>

class CDriveBaseClass;

// Brings a polling command's PLC connection back after the PLC went away.
// The connection counts as lost on a read answered "not connected", or on
// two reads in a row that got no answer. While it is lost the poller calls
// reconnect() whenever waitMs() has passed; the wait starts at 0.5 s and
// doubles after every failed attempt up to 5 s. Used on the thread that owns
// the driver object.
class Reconnector
{
public:
    static constexpr int kFirstWaitMs = 500;
    static constexpr int kLongestWaitMs = 5000;

    Reconnector(CDriveBaseClass *driver, const QString &endpoint);

    // Counts the status of one read or write.
    void note(int status);
    bool connected() const { return !lost; }
    // One ConnectDrive attempt; true when the connection is back.
    bool reconnect();
    // Attempts made since the connection was lost (0 while connected).
    int attempts() const { return attemptCount; }
    // The wait before the next attempt.
    int waitMs() const { return nextWaitMs; }
    // When the loss was noted; invalid while connected.
    QDateTime downSince() const { return lost ? lostAt : QDateTime(); }
    // "connected to ADDR", or "reconnecting to ADDR (attempt N), down since
    // HH:MM:SS" with N the attempt waited for: 1 from the moment the loss is
    // noted.
    QString stateText() const;

private:
    CDriveBaseClass *driver;
    QString plc;
    bool lost = false;
    QDateTime lostAt;
    int noReplyRun = 0;
    int attemptCount = 0;
    int nextWaitMs = kFirstWaitMs;
};

#endif
