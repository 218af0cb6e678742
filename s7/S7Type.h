#ifndef QUILLMARSH_S7TYPE_H
#define QUILLMARSH_S7TYPE_H

#include <QString>
#include <QStringList>

#include <array>

#include "DataType.h"

// An elementary S7 data type: its kind, and for STRING and WSTRING the
// declared length. The one table of S7 types below gives each kind its
// name, its size in a block with standard access, how a value literal of it
// is read, and the plug-in's type that reads it (Bool to Double), if any.
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
    // How a value of the kind is written as a number: not at all, a bit,
    // a whole number with or without a sign, a floating-point number.
    enum class Number { None, Bit, Unsigned, Signed, Real };

    struct Info
    {
        Kind kind;
        const char *name;
        int size;           // bytes in a block; 0 for BOOL (one bit) and STRING/WSTRING (by length)
        Number number;
        DataType served;    // the plug-in's type that reads it, or NoType (read as bytes)
        const char *servedName; // the plug-in's name of that type, on the kind that stands for it
    };

    // In the order of Kind. Bit strings read as the unsigned type of their
    // width; TIMER, COUNTER and the block numbers are words.
    static constexpr Info kTypes[] = {
        {Bool, "BOOL", 0, Number::Bit, ::Bool, "Bool"},
        {Byte, "BYTE", 1, Number::Unsigned, UInt8, nullptr},
        {Word, "WORD", 2, Number::Unsigned, UInt16, nullptr},
        {DWord, "DWORD", 4, Number::Unsigned, UInt32, nullptr},
        {LWord, "LWORD", 8, Number::Unsigned, UInt64, nullptr},
        {SInt, "SINT", 1, Number::Signed, Int8, "Int8"},
        {USInt, "USINT", 1, Number::Unsigned, UInt8, "UInt8"},
        {Int, "INT", 2, Number::Signed, Int16, "Int16"},
        {UInt, "UINT", 2, Number::Unsigned, UInt16, "UInt16"},
        {DInt, "DINT", 4, Number::Signed, Int32, "Int32"},
        {UDInt, "UDINT", 4, Number::Unsigned, UInt32, "UInt32"},
        {LInt, "LINT", 8, Number::Signed, Int64, "Int64"},
        {ULInt, "ULINT", 8, Number::Unsigned, UInt64, "UInt64"},
        {Real, "REAL", 4, Number::Real, Float, "Float"},
        {LReal, "LREAL", 8, Number::Real, Double, "Double"},
        {Char, "CHAR", 1, Number::None, NoType, nullptr},
        {WChar, "WCHAR", 2, Number::None, NoType, nullptr},
        {String, "STRING", 0, Number::None, NoType, nullptr},
        {WString, "WSTRING", 0, Number::None, NoType, nullptr},
        {Time, "TIME", 4, Number::None, NoType, nullptr},
        {LTime, "LTIME", 8, Number::None, NoType, nullptr},
        {S5Time, "S5TIME", 2, Number::None, NoType, nullptr},
        {Date, "DATE", 2, Number::None, NoType, nullptr},
        {TimeOfDay, "TIME_OF_DAY", 4, Number::None, NoType, nullptr},
        {LTimeOfDay, "LTIME_OF_DAY", 8, Number::None, NoType, nullptr},
        {DateAndTime, "DATE_AND_TIME", 8, Number::None, NoType, nullptr},
        {LDateAndTime, "LDT", 8, Number::None, NoType, nullptr},
        {Dtl, "DTL", 12, Number::None, NoType, nullptr},
        {Timer, "TIMER", 2, Number::Unsigned, UInt16, nullptr},
        {Counter, "COUNTER", 2, Number::Unsigned, UInt16, nullptr},
        {BlockDb, "BLOCK_DB", 2, Number::Unsigned, UInt16, nullptr},
        {BlockFb, "BLOCK_FB", 2, Number::Unsigned, UInt16, nullptr},
        {BlockFc, "BLOCK_FC", 2, Number::Unsigned, UInt16, nullptr},
        {Pointer, "POINTER", 6, Number::None, NoType, nullptr},
        {Any, "ANY", 10, Number::None, NoType, nullptr},
    };

    // STRING and WSTRING without a length hold this many characters.
    static constexpr int kDefaultStringLength = 254;
    static constexpr int kMaxStringLength = 254;
    static constexpr int kMaxWStringLength = 16382;

    S7Type() = default;
    explicit S7Type(Kind kind, int length = kDefaultStringLength) : kind(kind), length(length) {}

    // The type of that name, any letter case: an S7 name ("Int",
    // "DATE_AND_TIME"), another spelling of one ("DT", "TOD"), a STRING or
    // WSTRING with its length ("String[20]"), or the plug-in's name of a
    // type it serves ("Int16", "float"), which the type then goes by.
    // Invalid for any other text.
    static S7Type fromName(const QString &name);
    // The kind that stands for a type the plug-in serves, going by the
    // plug-in's name; Invalid for any other type.
    static S7Type ofServed(DataType type);
    // The plug-in's type that a tag of that type name is read as: the
    // plug-in's own names and the S7 names of its numbers and bit strings
    // (INT, WORD, LREAL); NoType for any other name.
    static DataType servedTypeOf(const QString &name);
    // The plug-in's name of a type it serves ("Int16"); empty for any other.
    static QString servedName(DataType type);
    static QStringList servedNames();
    // The S7 names servedTypeOf() takes.
    static QStringList numberNames();
    // PLC bytes of count elements of a served type (a Bool: count bits in
    // whole bytes); 0 for a type the plug-in does not serve. A count too
    // large wraps instead of overflowing.
    static constexpr int byteLength(DataType type, int count);

    bool isValid() const { return kind != Invalid; }
    bool isBool() const { return kind == Bool; }
    bool isString() const { return kind == String || kind == WString; }
    // "INT", "STRING[20]", "DATE_AND_TIME"; the plug-in's name ("Int16") for
    // a type named by it.
    QString name() const;
    // Bytes in a block; 0 for BOOL, which takes one bit.
    int size() const;
    // BYTE, CHAR, SINT and USINT may start at an odd byte; every wider type
    // starts at an even one.
    bool startsAtByte() const { return size() == 1; }
    Number number() const { return info().number; }
    // The plug-in's type that reads it, or NoType when it is read as bytes.
    DataType servedType() const { return info().served; }
    // POINTER and ANY are shown but not written.
    bool isWritable() const { return kind != Pointer && kind != Any; }

    bool operator==(const S7Type &o) const { return kind == o.kind && length == o.length; }

    Kind kind = Invalid;
    int length = kDefaultStringLength;
    bool namedAsServed = false;

private:
    static constexpr Info kInvalid = {Invalid, "?", 0, Number::None, NoType, nullptr};
    constexpr const Info &info() const { return kind == Invalid ? kInvalid : kTypes[kind - 1]; }
};

constexpr int S7Type::byteLength(DataType type, int count)
{
    // The served types' element sizes, taken from the table at compile time.
    constexpr auto sizes = [] {
        std::array<int, Double + 1> of{};
        for (const Info &t : kTypes) {
            if (t.servedName)
                of[size_t(t.served)] = t.size;
        }
        return of;
    }();
    if (type == ::Bool)
        return count / 8 + (count % 8 != 0 ? 1 : 0);
    const int size = type >= NoType && type <= Double ? sizes[size_t(type)] : 0;
    return int(quint32(count) * quint32(size));
}

#endif
