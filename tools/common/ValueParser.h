#ifndef QUILLMARSH_VALUEPARSER_H
#define QUILLMARSH_VALUEPARSER_H

#include <QString>
#include <QStringList>
#include <QVariant>

#include "DataType.h"

// Turns value texts from the command line and the panel into the QList<T>
// that a write record carries for the data type, each text a value literal
// of the type as S7Codec reads it (5, -0x1F, 16#FF, W#16#BEEF, INT#-5, 1.5,
// inf, true). Every value is checked against the type's range, so a value
// that does not fit is refused before anything is sent instead of wrapping
// on the PLC.
class ValueParser
{
public:
    // An invalid QVariant with *error set when a text is not acceptable.
    static QVariant parse(DataType type, const QStringList &texts, QString *error);
};

#endif
