#ifndef QUILLMARSH_S7NUMBERCODEC_H
#define QUILLMARSH_S7NUMBERCODEC_H

#include <QByteArray>
#include <QString>
#include <QVariant>

#include "S7Type.h"

// The numbers and bits of S7 (every type whose number() is not None) between
// their bytes in a block and their values, and the one grammar of their
// value literals, as engineering tools write them and the command line
// takes them:
//   BOOL    0, 1, true, false, BOOL#TRUE (any letter case)
//   whole   5, -5, 1_000, 16#FF, 2#1010_0101, 8#17, 0x1F, W#16#BEEF, B#16#FF,
//           DW#16#..., LW#16#..., L#-5, INT#-5, INT#16#7F
//   REAL    1.5, -2.5e3, .5, inf, -inf, nan, REAL#1.5, LREAL#...
// A typed prefix must name a type of the same kind of number; the value is
// checked against the type's range and refused, never wrapped, when it does
// not fit. Pure functions.
class S7NumberCodec
{
public:
    static bool handles(const S7Type &type) { return type.number() != S7Type::Number::None; }
    // The element the plug-in's read of these bytes gives, as the one-element
    // list a record carries (a BOOL: bit 0 of the first byte), and its text.
    // bytes holds at least type.size() bytes (one for a BOOL).
    static QVariant decode(const S7Type &type, const QByteArray &bytes, QString *text);
    // The image of a literal (a BOOL: one byte, 01 or 00), appended to *out;
    // false with *error set when it is malformed or out of the type's range.
    static bool encode(const S7Type &type, const QString &text, QByteArray *out, QString *error);
    // Whether a literal is a whole number in one of the forms above, in range
    // or not, and if so whether it is below zero.
    static bool isWhole(const QString &text, bool *negative);
    // The image of a number: rounded to a whole one and held within the
    // type's range for the whole types, nonzero is 1 for a BOOL.
    static QByteArray fromNumber(const S7Type &type, double value);
    // The type's smallest and largest values (whole ones exactly up to 2^53).
    static double lowest(const S7Type &type);
    static double highest(const S7Type &type);
};

#endif
