#ifndef QUILLMARSH_SIMFAULTNAME_H
#define QUILLMARSH_SIMFAULTNAME_H

#include "SimPlc.h"

#include <QString>

// The simulated PLC's fault modes by name, as --fault MODE[:ARG] and the
// control port's "fault MODE [ARG]" give them: off, silent, refuse, short,
// late[:MS], split, close[:FRAMES], garbage, huge[:BYTES], trickle[:MS],
// close-mid, previous.
class SimFaultName
{
public:
    // False with *error set for an unknown mode or an argument out of range
    // (or given to a mode that takes none). An absent argument is 0: the
    // mode's default.
    static bool parse(const QString &mode, const QString &argument, SimPlc::Fault *fault, int *param,
                      QString *error);
    static QString name(SimPlc::Fault fault);
    static QString help(); // one line per mode
};

#endif
