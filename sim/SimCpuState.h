#ifndef QUILLMARSH_SIMCPUSTATE_H
#define QUILLMARSH_SIMCPUSTATE_H

#include "SimCpuProfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What the CPU does and how it is reached and protected, the same for every
// connection: its operating state, the TSAPs it answers, PUT/GET access, the
// protection level and its password, its clock and its diagnostic buffer.
// Not thread-safe; the owner locks.
class SimCpuState
{
public:
    // Diagnostic buffer event ids. Mode changes carry the CPU's own ids;
    // for password events and injected faults no capture of ours shows a
    // CPU's id, and they take ids of the range kept for user events (our
    // choice).
    static constexpr quint16 EventWarmRestartRequest = 0x1381; // by a programming device
    static constexpr quint16 EventColdRestartRequest = 0x1385;
    static constexpr quint16 EventRun = 0x4302;                // startup ends, RUN
    static constexpr quint16 EventStopBySwitch = 0x4303;       // the mode selector
    static constexpr quint16 EventStopByPg = 0x4304;           // a programming device's stop
    static constexpr quint16 EventPasswordAccepted = 0xA001;
    static constexpr quint16 EventPasswordRefused = 0xA002;
    static constexpr quint16 EventPasswordCleared = 0xA003;
    static constexpr quint16 EventFaultInjected = 0xA100;      // plus the fault's number

    // What a job does to the CPU's data, for the protection level.
    enum class Operation { Read, Write };

    struct Event
    {
        quint16 id;
        QDateTime time;
    };

    // RUN, PUT/GET access on, no protection, the machine's clock, the
    // profile's TSAPs.
    explicit SimCpuState(const SimCpuProfile &cpu);

    const SimCpuProfile &profile() const { return cpuProfile; }

    bool running() const { return run; }
    // Records cause (0: none); a start also records the change to RUN.
    void setRunning(bool on, quint16 cause);

    // The called TSAPs of rack and slot (any connection type the profile
    // serves), or exactly one pair of TSAPs.
    void setRackSlot(int rack, int slot);
    void setTsaps(quint16 calling, quint16 called);
    bool serves(quint16 calling, quint16 called) const;
    // The TSAPs served, for a log line.
    QString servedTsaps() const;

    bool putGet() const { return putGetAccess; }
    // False when the profile has no such switch.
    bool setPutGet(bool on);

    // Level 1 is no protection; 2 refuses writes, 3 and above reads too,
    // unless the connection gave the password. False for a level the
    // profile lacks, or a protection without a password of 1 to 8
    // characters.
    bool setProtection(int level, const QString &password);
    int protectionLevel() const { return level; }
    bool permits(Operation operation, bool legitimated) const;
    // The password as a client sends it in a session password request.
    bool passwordMatches(const QByteArray &encoded) const;

    QDateTime now() const;
    qint64 clockOffsetMs() const { return offsetMs; }
    void setClockOffsetMs(qint64 ms) { offsetMs = ms; }
    void setClock(const QDateTime &time);

    void record(quint16 event);
    const QList<Event> &events() const { return diagnostics; } // the latest first

private:
    const SimCpuProfile &cpuProfile;
    bool run = true;
    SimCpuProfile::Tsaps tsaps;
    bool putGetAccess = true;
    int level = 1;
    QByteArray secret; // padded with blanks to the password size
    qint64 offsetMs = 0;
    QList<Event> diagnostics;
};

#endif
