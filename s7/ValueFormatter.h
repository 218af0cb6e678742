#ifndef QUILLMARSH_VALUEFORMATTER_H
#define QUILLMARSH_VALUEFORMATTER_H

#include <QStringList>
#include <QVariant>

#include "DataType.h"

// Texts of the elements of a record value. Bools print as 0/1, Int8 as a
// number (not a character), floats as the shortest text that reads back to
// the same value, non-finite values as inf, -inf and nan.
class ValueFormatter
{
public:
    // At most count elements of the QList<T> held in value; empty when value
    // does not hold the list type of the data type.
    static QStringList elements(const QVariant &value, DataType type, int count);
    static QString joined(const QVariant &value, DataType type, int count);
    // The first element as a number, for trends; false for an empty value.
    static bool firstAsNumber(const QVariant &value, DataType type, double *number);

    static QString formatFloat(float v);
    static QString formatDouble(double v);
};

#endif
