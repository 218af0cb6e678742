#include "ElementImages.h"

#include <QMetaType>
#include <QtEndian>

#include <cstring>
#include <type_traits>

namespace ElementImages {
namespace {

template <typename T>
quint64 bitImage(T element)
{
    using Unsigned = std::conditional_t<sizeof(T) == 1, quint8,
                     std::conditional_t<sizeof(T) == 2, quint16,
                     std::conditional_t<sizeof(T) == 4, quint32, quint64>>>;
    static_assert(sizeof(Unsigned) == sizeof(T), "no unsigned type of this width");
    Unsigned bits;
    std::memcpy(&bits, &element, sizeof bits);
    return bits;
}

template <typename T>
QList<quint64> imagesOf(const QVariant &value, QString *why)
{
    const int expected = qMetaTypeId<QList<T>>();
    if (value.userType() != expected) {
        *why = QStringLiteral("value holds %1, expected %2")
                   .arg(QString::fromLatin1(value.isValid() ? value.typeName() : "nothing"),
                        QString::fromLatin1(QMetaType::typeName(expected)));
        return {};
    }
    QList<quint64> images;
    for (T element : value.value<QList<T>>())
        images.append(bitImage(element));
    return images;
}

} // namespace

int width(DataType type)
{
    switch (type) {
    case Int8: case UInt8: return 1;
    case Int16: case UInt16: return 2;
    case Int32: case UInt32: case Float: return 4;
    case Int64: case UInt64: case Double: return 8;
    default: return 0;
    }
}

QList<quint64> ofValue(DataType type, const QVariant &value, QString *why)
{
    switch (type) {
    case Bool: return imagesOf<bool>(value, why);
    case Int8: return imagesOf<char>(value, why);
    case UInt8: return imagesOf<uchar>(value, why);
    case Int16: return imagesOf<short>(value, why);
    case UInt16: return imagesOf<ushort>(value, why);
    case Int32: return imagesOf<int>(value, why);
    case UInt32: return imagesOf<uint>(value, why);
    case Float: return imagesOf<float>(value, why);
    case Int64: return imagesOf<qlonglong>(value, why);
    case UInt64: return imagesOf<qulonglong>(value, why);
    case Double: return imagesOf<double>(value, why);
    default:
        *why = QStringLiteral("data type %1 carries no list").arg(int(type));
        return {};
    }
}

QList<quint64> ofMemory(const QByteArray &bytes, int width, int count)
{
    QList<quint64> images;
    for (int i = 0; i < count && (i + 1) * width <= bytes.size(); ++i) {
        const uchar *p = reinterpret_cast<const uchar *>(bytes.constData()) + i * width;
        switch (width) {
        case 1: images.append(*p); break;
        case 2: images.append(qFromBigEndian<quint16>(p)); break;
        case 4: images.append(qFromBigEndian<quint32>(p)); break;
        case 8: images.append(qFromBigEndian<quint64>(p)); break;
        default: return {};
        }
    }
    return images;
}

QList<quint64> ofBits(const QByteArray &bytes, int startBit)
{
    QList<quint64> images;
    for (const char byte : bytes)
        for (int bit = startBit; bit < 8; ++bit)
            images.append((quint8(byte) >> bit) & 1u);
    return images;
}

} // namespace ElementImages
