#include "TypeNames.h"

namespace {
struct TypeName
{
    DataType type;
    const char *name;
};

const TypeName kTypes[] = {
    {Bool, "Bool"},   {Int8, "Int8"},     {UInt8, "UInt8"},   {Int16, "Int16"},
    {UInt16, "UInt16"}, {Int32, "Int32"}, {UInt32, "UInt32"}, {Float, "Float"},
    {Int64, "Int64"}, {UInt64, "UInt64"}, {Double, "Double"},
};

// The elementary types of S7 programs by their own names; BYTE, WORD and
// DWORD are bit strings, read as the unsigned type of their width.
const TypeName kS7Types[] = {
    {Bool, "BOOL"},   {UInt8, "BYTE"},   {UInt16, "WORD"},  {UInt32, "DWORD"}, {Int8, "SINT"},
    {UInt8, "USINT"}, {Int16, "INT"},    {UInt16, "UINT"},  {Int32, "DINT"},   {UInt32, "UDINT"},
    {Float, "REAL"},  {Int64, "LINT"},   {UInt64, "ULINT"}, {Double, "LREAL"},
};

template <int N>
DataType lookUp(const TypeName (&table)[N], const QString &name)
{
    for (const TypeName &t : table) {
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return t.type;
    }
    return NoType;
}
} // namespace

DataType TypeNames::fromName(const QString &name)
{
    const DataType type = lookUp(kTypes, name);
    return type != NoType ? type : lookUp(kS7Types, name);
}

QString TypeNames::name(DataType type)
{
    for (const TypeName &t : kTypes) {
        if (t.type == type)
            return QString::fromLatin1(t.name);
    }
    return QString();
}

QStringList TypeNames::all()
{
    QStringList names;
    for (const TypeName &t : kTypes)
        names << QString::fromLatin1(t.name);
    return names;
}

QStringList TypeNames::s7Names()
{
    QStringList names;
    for (const TypeName &t : kS7Types)
        names << QString::fromLatin1(t.name);
    return names;
}
