#ifndef QUILLMARSH_SIMSTATUSLIST_H
#define QUILLMARSH_SIMSTATUSLIST_H

#include <QByteArray>
#include <QDateTime>

// The CPU's system state list (SZL): the partial lists a client reads with the
// "read SZL" user-data function, as an S7-300 CPU in RUN answers them: module
// identification (0x0011), component identification (0x001C) and the current
// operating mode (0x0424).
class SimStatusList
{
public:
    static constexpr quint16 ModuleIdentification = 0x0011;
    static constexpr quint16 ComponentIdentification = 0x001C;
    static constexpr quint16 OperatingMode = 0x0424;

    // since: when the CPU went to RUN; the operating-mode record carries it.
    explicit SimStatusList(const QDateTime &since);

    // The partial list of id and index: record length and record count, then
    // the records. False when the CPU keeps no such list.
    bool read(quint16 id, quint16 index, QByteArray *list) const;

private:
    QByteArray moduleIdentification() const;
    QByteArray componentIdentification() const;
    QByteArray operatingMode() const;

    QDateTime runSince;
};

#endif
