#include "SimFrameReader.h"

#include <QtEndian>

SimFrameReader::SimFrameReader(const QByteArray &received, int offset)
    : bytes(received), pos(offset), inBounds(offset >= 0 && offset <= received.size())
{
}

bool SimFrameReader::claim(int count)
{
    if (!inBounds || count < 0 || count > bytes.size() - pos) {
        inBounds = false;
        return false;
    }
    return true;
}

quint8 SimFrameReader::u8()
{
    if (!claim(1))
        return 0;
    return quint8(bytes.at(pos++));
}

quint16 SimFrameReader::u16()
{
    if (!claim(2))
        return 0;
    const quint16 value = qFromBigEndian<quint16>(bytes.constData() + pos);
    pos += 2;
    return value;
}

quint32 SimFrameReader::u24()
{
    const quint32 high = u8();
    const quint32 low = u16();
    return inBounds ? (high << 16) | low : 0;
}

QByteArray SimFrameReader::take(int count)
{
    if (!claim(count))
        return QByteArray();
    const QByteArray part = bytes.mid(pos, count);
    pos += count;
    return part;
}

void SimFrameReader::skip(int count)
{
    if (claim(count))
        pos += count;
}
