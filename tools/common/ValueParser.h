#ifndef QUILLMARSH_VALUEPARSER_H
#define QUILLMARSH_VALUEPARSER_H

#include <QString>
#include <QStringList>
#include <QVariant>

#include "DataType.h"

// Turns value texts from the command line into the QList<T> that a write
// record carries for the data type. Every value is checked against the
// type's range here, so a value that does not fit is refused before anything
// is sent instead of wrapping on the PLC.
//   Bool: 0, 1, true, false.  Integers: decimal or 0x hexadecimal, with a sign
//   where the type has one.  Float, Double: C-locale decimals, inf, nan.
class ValueParser
{
public:
    // An invalid QVariant with *error set when a text is not acceptable.
    static QVariant parse(DataType type, const QStringList &texts, QString *error);

    static bool parseBool(const QString &text, bool *value);
    // Whole numbers: false with *outOfRange set when the text is a number
    // that does not fit between min and max.
    static bool parseSigned(const QString &text, qlonglong min, qlonglong max, qlonglong *value,
                            bool *outOfRange);
    static bool parseUnsigned(const QString &text, qulonglong max, qulonglong *value,
                              bool *outOfRange);
    // Floating point: false with *outOfRange set when a finite text would
    // round to infinity in the type, whose smallest such magnitude is
    // overflowMagnitude (a text such as FLT_MAX's nine digits, a little above
    // the exact value, still rounds to it and is taken).
    static bool parseReal(const QString &text, double overflowMagnitude, double *value, bool *outOfRange);
};

#endif
