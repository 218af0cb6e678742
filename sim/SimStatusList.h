#ifndef QUILLMARSH_SIMSTATUSLIST_H
#define QUILLMARSH_SIMSTATUSLIST_H

#include <QByteArray>
#include <QList>

class SimCpuProfile;
class SimCpuState;

// The CPU's system state list (SZL) as a client reads it with the "read SZL"
// user-data function: the list of lists (0x0000), module identification
// (0x0011), component identification (0x001C), communication capabilities
// (0x0131), protection (0x0232, and 0x0132 on the classic families), the
// diagnostic buffer (0x00A0) and the current operating mode (0x0424), with
// their single-record (0x01xx), latest-entries and header-only (0x0Fxx)
// extracts. An id is written as extract << 8 | partial list number.
class SimStatusList
{
public:
    enum class Result { Ok, NoSuchIndex, NoSuchList };

    static constexpr quint16 ModuleIdentification = 0x0011;
    static constexpr quint16 ComponentIdentification = 0x001C;
    static constexpr quint16 OperatingMode = 0x0424;

    explicit SimStatusList(const SimCpuProfile &cpu);

    // The answer to id and index: the list's id, the index as answered,
    // record length and record count, then the records. cpu: its mode,
    // clock, protection and diagnostic buffer; legitimated: the asking
    // connection gave the password.
    Result read(quint16 id, quint16 index, const SimCpuState &cpu, bool legitimated, QByteArray *answer) const;

private:
    // How an extract picks the records of its partial list: all of them,
    // the one of the index, none (the header only), the current one (of the
    // operating mode) or as many of the latest as the index says.
    enum class Extract { All, One, Header, Current, Latest };
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

    bool partialList(quint8 number, const SimCpuState &cpu, bool legitimated, List *list) const;
    List directory() const;
    List identification() const;
    List components() const;
    List capabilities() const;
    static List protection(const SimCpuState &cpu, bool legitimated);
    static List diagnostics(const SimCpuState &cpu);
    static List operatingMode(const SimCpuState &cpu);
    bool classic() const;
    bool keeps(quint16 id) const;

    const SimCpuProfile &profile;
};

#endif
