#ifndef QUILLMARSH_SIMVALUETYPE_H
#define QUILLMARSH_SIMVALUETYPE_H

#include <QByteArray>
#include <QString>

// The value types the simulator's front writes into memory, by the names
// the command-line host uses (bool, int8, ... double, or their S7 names BOOL,
// SINT, USINT, BYTE, INT, UINT, WORD, DINT, UDINT, DWORD, REAL, LINT, ULINT,
// LREAL, in any letter case), and their big-endian encodings.
class SimValueType
{
public:
    enum Kind { Bool, Int8, UInt8, Int16, UInt16, Int32, UInt32, Float, Int64, UInt64, Double };

    // False when the name is none of the above.
    static bool parse(const QString &name, SimValueType *type);
    static QString names(); // for error messages

    Kind kind() const { return type; }
    QString name() const;
    int size() const; // bytes; a Bool is one bit of one byte
    bool isInteger() const;
    // The range of the type's values (integers exactly up to 2^53).
    double minimum() const;
    double maximum() const;

    // value rounded and held within the type's range.
    QByteArray encode(double value) const;
    // A value in text: decimal or 0x hexadecimal integers, C-locale
    // decimals, inf and nan for floats, 0/1/true/false for Bool. False when
    // it is not a value of the type or out of its range.
    bool encodeText(const QString &text, QByteArray *bytes) const;

private:
    Kind type = Bool;
};

#endif
