#ifndef QUILLMARSH_ELEMENTTYPES_H
#define QUILLMARSH_ELEMENTTYPES_H

// The element types that a record's value carries, shared by the record's
// own code and by the driver's value codec.

#include <QList>
#include <QString>
#include <QVariant>

#include "CLabelVariable.h"
#include "DataType.h"

namespace ElementTypes {

template <typename T>
struct Tag
{
    using type = T;
};

// Calls f with a Tag of the element type of kind (Bool to String); for any
// other value f is not called and f's default result is returned.
template <typename F>
inline auto withElementType(DataType kind, F &&f)
{
    switch (kind) {
    case Bool: return f(Tag<bool>());
    case Int8: return f(Tag<char>());
    case UInt8: return f(Tag<uchar>());
    case Int16: return f(Tag<short>());
    case UInt16: return f(Tag<ushort>());
    case Int32: return f(Tag<int>());
    case UInt32: return f(Tag<uint>());
    case Float: return f(Tag<float>());
    case Int64: return f(Tag<qlonglong>());
    case UInt64: return f(Tag<qulonglong>());
    case Double: return f(Tag<double>());
    case String: return f(Tag<QString>());
    default: return decltype(f(Tag<bool>()))();
    }
}

// The list of T that value holds or converts to. False when Qt's meta-type
// system knows no conversion; a conversion that is known but fails gives an
// empty list, as QVariant::value() does.
template <typename T>
inline bool readList(const QVariant &value, QList<T> &list)
{
    const int id = listMetaTypeId<T>();
    if (!value.canConvert(id))
        return false;
    if (value.userType() == id)
        list = *static_cast<const QList<T> *>(value.constData());
    else
        list = value.value<QList<T>>();
    return true;
}

} // namespace ElementTypes

#endif
