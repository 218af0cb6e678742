#ifndef QUILLMARSH_SIMCONTROL_H
#define QUILLMARSH_SIMCONTROL_H

#include <QString>

class SimPlc;

// The control port's commands, one a line, one answer line each, "ok ..."
// or "error: ...":
//   fault MODE [ARG]         set a fault mode (see SimFaultName); fault off ends it
//   state [run|stop]         the CPU's state, or set it
//   set ADDRESS[:TYPE] VALUE write a value literal (see SimSet)
//   get ADDRESS [COUNT]      COUNT bytes (by default the width) in hex, or a bit
//   clients                  the open connections
//   help                     the commands
class SimControl
{
public:
    explicit SimControl(SimPlc *target);

    QString execute(const QString &line) const;

private:
    QString fault(const QStringList &words) const;
    QString state(const QStringList &words) const;
    QString set(const QString &line) const;
    QString get(const QStringList &words) const;
    QString clients() const;

    SimPlc *plc;
};

#endif
