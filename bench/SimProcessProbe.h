#ifndef QUILLMARSH_SIMPROCESSPROBE_H
#define QUILLMARSH_SIMPROCESSPROBE_H

#include <QProcess>
#include <QString>
#include <QStringList>

#include "ProcStatus.h"

// quillmarsh-sim as a process of its own, watched from outside.
class SimProcessProbe
{
public:
    ~SimProcessProbe();

    // Starts program with --port 0 and arguments; false when it does not say
    // "listening on" within a few seconds.
    bool start(const QString &program, const QStringList &arguments);
    // SIGTERM; true when it ends with exit code 0 after printing "stopped".
    bool stop();

    quint16 port() const { return listenPort; }
    ProcStatus status() const { return ProcStatus(process.processId()); }

private:
    QProcess process;
    QByteArray output;
    quint16 listenPort = 0;
};

#endif
