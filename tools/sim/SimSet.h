#ifndef QUILLMARSH_SIMSET_H
#define QUILLMARSH_SIMSET_H

#include <QByteArray>
#include <QString>

class S7Address;
class SimPlc;

// A value put into the simulated PLC's memory, as the control port's "set"
// and --preset give it: ADDRESS[:TYPE] (S7Address's forms, any S7 type or
// the plug-in's name of one) and a value literal of the type (S7Codec's
// grammar). Without a TYPE, a literal typed by a type's name (INT#-5,
// TIME#1S) is of that type, else the address picks one: a bit BOOL, a byte
// USINT or SINT, a word UINT or INT, a double word UDINT or DINT (REAL for
// a value that is no whole number), signed for a value below zero.
class SimSet
{
public:
    // Writes the value's bytes, which *written receives; false with *error set.
    static bool apply(SimPlc *plc, const QString &target, const QString &value, QByteArray *written,
                      QString *error);
    // Writes bytes at the address, or the bit it names (nonzero first byte:
    // set); false when the PLC does not serve that memory.
    static bool write(SimPlc *plc, const S7Address &address, const QByteArray &bytes);
};

#endif
