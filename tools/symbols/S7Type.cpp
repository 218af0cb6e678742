#include "S7Type.h"

namespace {
struct KindInfo
{
    S7Type::Kind kind;
    const char *name;
    int size;
    DataType served;
};

// Sizes as a block with standard access holds them (see SymbolLayout.cpp
// for the sources). Bit strings read as the unsigned type of their width;
// TIMER, COUNTER and the block numbers are words.
const KindInfo kKinds[] = {
    {S7Type::Bool, "BOOL", 0, ::Bool},
    {S7Type::Byte, "BYTE", 1, UInt8},
    {S7Type::Word, "WORD", 2, UInt16},
    {S7Type::DWord, "DWORD", 4, UInt32},
    {S7Type::LWord, "LWORD", 8, UInt64},
    {S7Type::SInt, "SINT", 1, Int8},
    {S7Type::USInt, "USINT", 1, UInt8},
    {S7Type::Int, "INT", 2, Int16},
    {S7Type::UInt, "UINT", 2, UInt16},
    {S7Type::DInt, "DINT", 4, Int32},
    {S7Type::UDInt, "UDINT", 4, UInt32},
    {S7Type::LInt, "LINT", 8, Int64},
    {S7Type::ULInt, "ULINT", 8, UInt64},
    {S7Type::Real, "REAL", 4, Float},
    {S7Type::LReal, "LREAL", 8, Double},
    {S7Type::Char, "CHAR", 1, NoType},
    {S7Type::WChar, "WCHAR", 2, NoType},
    {S7Type::String, "STRING", 0, NoType},
    {S7Type::WString, "WSTRING", 0, NoType},
    {S7Type::Time, "TIME", 4, NoType},
    {S7Type::LTime, "LTIME", 8, NoType},
    {S7Type::S5Time, "S5TIME", 2, NoType},
    {S7Type::Date, "DATE", 2, NoType},
    {S7Type::TimeOfDay, "TIME_OF_DAY", 4, NoType},
    {S7Type::LTimeOfDay, "LTIME_OF_DAY", 8, NoType},
    {S7Type::DateAndTime, "DATE_AND_TIME", 8, NoType},
    {S7Type::LDateAndTime, "LDT", 8, NoType},
    {S7Type::Dtl, "DTL", 12, NoType},
    {S7Type::Timer, "TIMER", 2, UInt16},
    {S7Type::Counter, "COUNTER", 2, UInt16},
    {S7Type::BlockDb, "BLOCK_DB", 2, UInt16},
    {S7Type::BlockFb, "BLOCK_FB", 2, UInt16},
    {S7Type::BlockFc, "BLOCK_FC", 2, UInt16},
    {S7Type::Pointer, "POINTER", 6, NoType},
    {S7Type::Any, "ANY", 10, NoType},
};

// Other spellings the sources use for the same types.
const struct { const char *alias; S7Type::Kind kind; } kAliases[] = {
    {"TOD", S7Type::TimeOfDay}, {"LTOD", S7Type::LTimeOfDay}, {"DT", S7Type::DateAndTime},
    {"DATE_AND_LTIME", S7Type::LDateAndTime},
};

const KindInfo *infoOf(S7Type::Kind kind)
{
    for (const KindInfo &k : kKinds) {
        if (k.kind == kind)
            return &k;
    }
    return nullptr;
}
} // namespace

S7Type S7Type::fromName(const QString &name)
{
    for (const KindInfo &k : kKinds) {
        if (name.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0)
            return S7Type(k.kind);
    }
    for (const auto &a : kAliases) {
        if (name.compare(QLatin1String(a.alias), Qt::CaseInsensitive) == 0)
            return S7Type(a.kind);
    }
    return S7Type();
}

bool S7Type::isStringName(const QString &name)
{
    return fromName(name).isString();
}

QString S7Type::name() const
{
    const KindInfo *info = infoOf(kind);
    if (!info)
        return QStringLiteral("?");
    const QString base = QString::fromLatin1(info->name);
    return isString() ? QStringLiteral("%1[%2]").arg(base).arg(length) : base;
}

int S7Type::size() const
{
    // STRING: maximum and current length, one byte each, then the
    // characters; WSTRING: the same as words.
    if (kind == String)
        return 2 + length;
    if (kind == WString)
        return 4 + 2 * length;
    const KindInfo *info = infoOf(kind);
    return info ? info->size : 0;
}

bool S7Type::startsAtByte() const
{
    return kind == Byte || kind == Char || kind == SInt || kind == USInt;
}

DataType S7Type::servedType() const
{
    const KindInfo *info = infoOf(kind);
    return info ? info->served : NoType;
}
