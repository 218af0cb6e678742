#ifndef QUILLMARSH_SIMSIGNAL_H
#define QUILLMARSH_SIMSIGNAL_H

#include "S7Address.h"
#include "S7Type.h"

#include <QByteArray>
#include <QString>

// A value generator for trends: ADDRESS:TYPE:SHAPE:PERIOD[:MIN:MAX], e.g.
// DB1.DBW0:int16:sine:10s, TYPE a number or bit type (INT, REAL, BOOL, or
// the plug-in's names). Shapes: sine, ramp (MIN to MAX, then back to
// MIN), square (MIN for the first half of each period, MAX for the second),
// random (a new value every update). PERIOD in ms, s, m or h (10ms to 24h);
// MIN and MAX, plain decimal numbers, default to 0 and 100 (a Bool moves
// between 0 and 1).
class SimSignal
{
public:
    enum class Shape { Sine, Ramp, Square, Random };

    // False with *error set when text is not a signal the CPU can hold.
    static bool parse(const QString &text, SimSignal *signal, QString *error);

    // The value elapsedMs after the start; random: a number in [0, 1) drawn
    // by the caller, used by the random shape only.
    double valueAt(qint64 elapsedMs, double random) const;
    // That value in the type's bytes.
    QByteArray bytesAt(qint64 elapsedMs, double random) const;

    const S7Address &address() const { return place; }
    const S7Type &type() const { return valueType; }

private:
    S7Address place;
    S7Type valueType;
    Shape shape = Shape::Sine;
    qint64 periodMs = 0;
    double low = 0;
    double high = 100;
};

#endif
