#ifndef QUILLMARSH_TYPENAMES_H
#define QUILLMARSH_TYPENAMES_H

#include <QString>
#include <QStringList>

#include "DataType.h"

// Names of the data types the plug-in serves (Bool to Double), as the user
// types them on the command line: the plug-in's own names (Int16) and the
// S7 elementary type names (INT, WORD, REAL, ...), any letter case.
class TypeNames
{
public:
    // The served type of that name, any letter case; NoType when unknown.
    static DataType fromName(const QString &name);
    // The display name ("Int16"); empty for a type that is not served.
    static QString name(DataType type);
    static QStringList all();
    static QStringList s7Names();
};

#endif
