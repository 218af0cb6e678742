#ifndef QUILLMARSH_SYMBOLLEAF_H
#define QUILLMARSH_SYMBOLLEAF_H

#include <QByteArray>
#include <QString>

#include "CLabelVariable.h"
#include "S7Codec.h"
#include "S7Type.h"

// One elementary member of a data block, laid out: its symbol, where it
// lives, its S7 type and how the plug-in reads and writes it. Types the
// plug-in serves are read as themselves (a BOOL as the Bool at its bit);
// S7's own types as the UInt8 bytes they take, decoded here.
class SymbolLeaf
{
public:
    struct ReadRequest
    {
        QString address;
        DataType type = NoType;
        int count = 0;
    };

    QString symbol;    // "Motor_DB".Axis[2].Speed
    QString key;       // the symbol in lower case without quotes, for look-ups
    QString parent;    // the symbol of the struct, array or block around it
    QString block;     // the data block's name
    int dbNumber = 0;
    int byte = 0;
    int bit = -1;      // 0 to 7 for a BOOL, else -1
    S7Type type;
    QString comment;
    QString initial;   // the declared or BEGIN value's text; empty if none

    // Bytes it takes; 0 for a BOOL.
    int size() const { return type.size(); }
    // The plug-in's type that reads it; NoType when it is read as bytes.
    DataType servedType() const { return type.servedType(); }
    // DB5.DBX0.1, DB5.DBB10, DB5.DBW12 or DB5.DBD38, as the plug-in takes it.
    QString address() const;
    ReadRequest readRequest() const;
    // Its value from the record that readRequest() read.
    S7Codec::Value decodeRecord(const CLabelVariable &record) const;
    // The record that writes a value text (address, type, count, value);
    // false with *error set when the text does not fit the type.
    bool writeRecord(const QString &text, CLabelVariable *record, QString *error) const;
};

#endif
