#ifndef QUILLMARSH_TYPENAMES_H
#define QUILLMARSH_TYPENAMES_H

#include <QString>
#include <QStringList>

#include "DataType.h"

// Names of the data types the plug-in serves (Bool to Double), as the user
// types them on the command line.
class TypeNames
{
public:
    // The served type of that name, any letter case; NoType when unknown.
    static DataType fromName(const QString &name);
    // The display name ("Int16"); empty for a type that is not served.
    static QString name(DataType type);
    static QStringList all();
};

#endif
