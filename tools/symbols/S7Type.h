#ifndef QUILLMARSH_S7TYPE_H
#define QUILLMARSH_S7TYPE_H

#include <QString>

#include "DataType.h"

// An elementary S7 data type as a data-block source declares it: its kind,
// and for STRING and WSTRING the declared length. It knows its size in a
// block with standard access, whether it starts at an even byte, and which
// of the plug-in's types (Bool to Double) reads it, if any.
class S7Type
{
public:
    enum Kind {
        Invalid,
        Bool, Byte, Word, DWord, LWord,
        SInt, USInt, Int, UInt, DInt, UDInt, LInt, ULInt,
        Real, LReal,
        Char, WChar, String, WString,
        Time, LTime, S5Time, Date, TimeOfDay, LTimeOfDay, DateAndTime, LDateAndTime, Dtl,
        Timer, Counter, BlockDb, BlockFb, BlockFc, Pointer, Any
    };
    // STRING and WSTRING without a length hold this many characters.
    static constexpr int kDefaultStringLength = 254;
    static constexpr int kMaxStringLength = 254;
    static constexpr int kMaxWStringLength = 16382;

    S7Type() = default;
    explicit S7Type(Kind kind, int length = kDefaultStringLength) : kind(kind), length(length) {}

    // The type of that name, any letter case ("Int", "DATE_AND_TIME", "DT");
    // Invalid for a name that is not an elementary type.
    static S7Type fromName(const QString &name);
    static bool isStringName(const QString &name);

    bool isValid() const { return kind != Invalid; }
    bool isBool() const { return kind == Bool; }
    bool isString() const { return kind == String || kind == WString; }
    // "INT", "STRING[20]", "DATE_AND_TIME".
    QString name() const;
    // Bytes in a block; 0 for BOOL, which takes one bit.
    int size() const;
    // BYTE, CHAR, SINT and USINT may start at an odd byte; every wider type
    // starts at an even one.
    bool startsAtByte() const;
    // The plug-in's type that reads it, or NoType when it is read as bytes.
    DataType servedType() const;
    // POINTER and ANY are shown but not written.
    bool isWritable() const { return kind != Pointer && kind != Any; }

    bool operator==(const S7Type &o) const { return kind == o.kind && length == o.length; }

    Kind kind = Invalid;
    int length = kDefaultStringLength;
};

#endif
