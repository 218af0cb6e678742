#ifndef QUILLMARSH_S7TIMECODEC_H
#define QUILLMARSH_S7TIMECODEC_H

#include <QByteArray>
#include <QString>

#include "S7Type.h"

// The time and date types of S7 between their bytes in a block and their
// literal texts: TIME (T#1S_200MS), LTIME, S5TIME, DATE (D#2026-12-06),
// TIME_OF_DAY, LTIME_OF_DAY, DATE_AND_TIME, LDT and DTL. Pure functions.
class S7TimeCodec
{
public:
    static bool handles(S7Type::Kind kind);
    // bytes holds at least type.size() bytes. False with *error set for a
    // value the type cannot hold (a month 13, a BCD digit above 9, ...).
    static bool decode(const S7Type &type, const QByteArray &bytes, QString *text, QString *error);
    // The literal with or without its prefix (T#, TIME#, D#, ...); false with
    // *error set when it is malformed or out of the type's range.
    static bool encode(const S7Type &type, const QString &text, QByteArray *out, QString *error);
};

#endif
