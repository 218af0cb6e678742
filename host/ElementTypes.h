#ifndef QUILLMARSH_ELEMENTTYPES_H
#define QUILLMARSH_ELEMENTTYPES_H

// The element types that a record's value carries: the one dispatch from a
// data type to its element type, shared by the record's own code, the
// driver's value codec and the command-line host.

#include <QList>
#include <QString>
#include <QVariant>

#include <type_traits>

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

// The data types a driver plug-in serves: Bool to Double.
inline bool isServed(DataType kind)
{
    return kind >= Bool && kind <= Double;
}

// withElementType for the served data types only: for any other value,
// String included, f is not called and f's default result is returned.
template <typename F>
inline auto withServedElementType(DataType kind, F &&f)
{
    using Result = decltype(f(Tag<bool>()));
    if (!isServed(kind))
        return Result();
    return withElementType(kind, [&](auto tag) -> Result {
        if constexpr (std::is_same_v<typename decltype(tag)::type, QString>)
            return Result();
        else
            return f(tag);
    });
}

// value holding list as a QList<T>, the record's value for T's data type.
template <typename T>
inline QVariant listValue(const QList<T> &list)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 names the type by its QMetaType, known at compile time.
    return QVariant(QMetaType::fromType<QList<T>>(), &list);
#else
    return QVariant(listMetaTypeId<T>(), &list);
#endif
}

// The list of T that value holds or converts to. False when Qt's meta-type
// system knows no conversion; a conversion that is known but fails gives an
// empty list, as QVariant::value() does. Qt 5 and Qt 6 know the same
// conversions here (none between list types, none from QVariantList), with
// one difference: Qt 6's QStringList is QList<QString> itself, so a String
// record takes a QStringList under Qt 6 and refuses it under Qt 5.
template <typename T>
inline bool readList(const QVariant &value, QList<T> &list)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QMetaType type = QMetaType::fromType<QList<T>>();
    const bool exact = value.metaType() == type;
#else
    const int type = listMetaTypeId<T>();
    const bool exact = value.userType() == type;
#endif
    if (!value.canConvert(type))
        return false;
    if (exact)
        list = *static_cast<const QList<T> *>(value.constData());
    else
        list = value.value<QList<T>>();
    return true;
}

} // namespace ElementTypes

#endif
