#ifndef QUILLMARSH_S7IMAGE_H
#define QUILLMARSH_S7IMAGE_H

// The byte images of the plug-in's types in PLC memory and the lists a
// record carries: elements one after the other, most significant byte first.
// Integers and floating point alike travel as bit images: a float is its
// 32-bit pattern, so signed zeros, infinities and NaN payloads survive.
// Header-only, so that the plug-in links none of this library's objects.

#include <QByteArray>
#include <QList>
#include <QVariant>
#include <QtEndian>

#include <cstring>
#include <type_traits>

#include "DataType.h"
#include "ElementTypes.h"

namespace S7Image {

// The unsigned integer with the width of T, carrier of its bit image.
template <typename T>
using BitsOf = std::conditional_t<sizeof(T) == 1, quint8,
               std::conditional_t<sizeof(T) == 2, quint16,
               std::conditional_t<sizeof(T) == 4, quint32, quint64>>>;

// The image of U at offset, most significant byte first; bytes at or past
// the end of the input read as 0.
template <typename U>
U read(const QByteArray &bytes, qint64 offset)
{
    if (offset >= 0 && offset + qint64(sizeof(U)) <= bytes.size())
        return qFromBigEndian<U>(bytes.constData() + offset);
    U image = 0;
    for (qint64 k = 0; k < qint64(sizeof(U)); ++k) {
        const qint64 at = offset + k;
        const quint8 b = at >= 0 && at < bytes.size() ? quint8(bytes.at(int(at))) : 0;
        image = U((image << 8) | b);
    }
    return image;
}

// Appends the image of U, most significant byte first.
template <typename U>
void append(QByteArray *out, U image)
{
    uchar be[sizeof(U)];
    qToBigEndian(image, be);
    out->append(reinterpret_cast<const char *>(be), int(sizeof be));
}

// Element i of T from its image.
template <typename T>
T element(const QByteArray &bytes, int i)
{
    const BitsOf<T> image = read<BitsOf<T>>(bytes, qint64(i) * qint64(sizeof(T)));
    T v;
    std::memcpy(&v, &image, sizeof v);
    return v;
}

// count elements of T, each sizeof(T) bytes; missing bytes read as 0.
template <typename T>
QVariant decode(const QByteArray &bytes, int count)
{
    QList<T> list;
    if (count > 0)
        list.reserve(qMin(count, 1 << 20));
    for (int i = 0; i < count; ++i)
        list.append(element<T>(bytes, i));
    return ElementTypes::listValue(list);
}

// Bits startBit..7 of each of count bytes, least significant first: the
// start bit applies to every byte. Nothing for a start bit outside 0..7.
inline QVariant decodeBits(int startBit, const QByteArray &bytes, int count)
{
    QList<bool> list;
    if (startBit < 0 || startBit > 7 || count < 1)
        return ElementTypes::listValue(list);
    list.reserve(int(qMin<qint64>(qint64(count) * (8 - startBit), 1 << 20)));
    for (int i = 0; i < count; ++i) {
        const quint8 byte = read<quint8>(bytes, i);
        for (int j = startBit; j < 8; ++j)
            list.append(((byte >> j) & 1) != 0);
    }
    return ElementTypes::listValue(list);
}

// Appends the images of the first count elements of value's list; a list
// with fewer elements gives what it has and no more. A bool takes a whole
// byte, 01 or 00.
template <typename T>
void encode(const QVariant &value, int count, QByteArray *out)
{
    using U = BitsOf<T>;
    QList<T> list;
    if (!ElementTypes::readList(value, list) || count < 1)
        return;
    const int n = qMin(count, list.size());
    out->reserve(out->size() + n * int(sizeof(U)));
    for (int i = 0; i < n; ++i) {
        U image;
        if constexpr (std::is_same_v<T, bool>)
            image = list.at(i) ? 1 : 0;
        else
            std::memcpy(&image, &list.at(i), sizeof image);
        append(out, image);
    }
}

// Elements that value offers as the data type's list: -1 when it holds no
// list of, and converts to no list of, the element type, or the type is not
// served.
inline int elementsOffered(const QVariant &value, DataType type)
{
    if (!ElementTypes::isServed(type))
        return -1;
    return ElementTypes::withServedElementType(type, [&](auto tag) {
        QList<typename decltype(tag)::type> list;
        return ElementTypes::readList(value, list) ? list.size() : -1;
    });
}

} // namespace S7Image

#endif
