#ifndef QUILLMARSH_SIMSTATUSLIST_H
#define QUILLMARSH_SIMSTATUSLIST_H

#include <QByteArray>
#include <QDateTime>
#include <QList>

class SimCpuProfile;

// The CPU's system state list (SZL) as a client reads it with the "read SZL"
// user-data function: module identification (0x0011), component
// identification (0x001C) and the current operating mode (0x0424), with the
// single-record (0x01xx) and header-only (0x0Fxx) extracts of the first two.
// An id is written as extract << 8 | partial list number.
class SimStatusList
{
public:
    enum class Result { Ok, NoSuchIndex, NoSuchList };

    static constexpr quint16 ModuleIdentification = 0x0011;
    static constexpr quint16 ComponentIdentification = 0x001C;
    static constexpr quint16 OperatingMode = 0x0424;

    explicit SimStatusList(const SimCpuProfile &cpu);

    // The answer to id and index: the list's id, the index as answered,
    // record length and record count, then the records. running: the CPU is
    // in RUN (else STOP); now: the CPU's clock, carried by the mode record.
    Result read(quint16 id, quint16 index, bool running, const QDateTime &now, QByteArray *answer) const;

private:
    struct Record
    {
        quint16 index;
        QByteArray bytes; // the whole record, its index word first
    };
    struct List
    {
        int recordSize = 0;
        QList<Record> records;
        bool anyIndex = false; // the whole list answers any index, echoing it
    };

    bool partialList(quint8 number, bool running, const QDateTime &now, List *list) const;
    List identification() const;
    List components() const;
    static List operatingMode(bool running, const QDateTime &now);
    bool keeps(quint16 id) const;

    const SimCpuProfile &profile;
};

#endif
