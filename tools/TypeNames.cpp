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
} // namespace

DataType TypeNames::fromName(const QString &name)
{
    for (const TypeName &t : kTypes) {
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return t.type;
    }
    return NoType;
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
