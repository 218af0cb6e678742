#ifndef QUILLMARSH_S7CPUREADER_H
#define QUILLMARSH_S7CPUREADER_H

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include "CDriveExtension.h"

class CmdQuillmarsh;
class S7JobPipe;
namespace S7UserDataFrames { struct Answer; }

// Reads the CPU's system state lists and clock over the connection, one
// user-data job at a time, and takes them apart. Each answers a record
// status (StatusOk, StatusBadReply, StatusNoReply, StatusNotConnected) and
// fills *why (which may be null) with the cause of a failure.
class S7CpuReader
{
public:
    using Why = CDriveExtension::Why;

    explicit S7CpuReader(S7JobPipe &jobs) : pipe(jobs) {}

    // The list with every further data unit it comes in.
    int readSzl(quint16 id, quint16 index, QByteArray *list, Why *why);
    int readIdentity(CDriveExtension::CpuIdentity *identity, Why *why);
    int readOperatingState(CDriveExtension::OperatingState *state, Why *why);
    int readProtection(CDriveExtension::Protection *protection, Why *why);
    int readDiagnosticBuffer(QList<CDriveExtension::DiagnosticEvent> *events, Why *why);
    int readClock(QDateTime *clock, Why *why);
    // The connection's protection password, at most S7::PasswordSize Latin-1
    // characters; a longer one or one outside Latin-1 is refused unsent.
    int sendPassword(const QString &password, Why *why);

private:
    // One job, its answer judged for group and subfunction.
    int run(const QByteArray &request, quint8 group, quint8 subfunction, S7UserDataFrames::Answer *answer, Why *why,
            bool carriesData = true);
    // A list read, then parsed; a list that does not parse is a bad reply.
    template <typename Parse>
    int readParsed(quint16 id, quint16 index, Why *why, Parse parse);

    S7JobPipe &pipe;
};

#endif
