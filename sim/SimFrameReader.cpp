#include "SimFrameReader.h"

#include <QtEndian>

SimFrameReader::SimFrameReader(const QByteArray &bytes, int offset)
    : m_bytes(bytes), m_pos(offset), m_ok(offset >= 0 && offset <= bytes.size())
{
}

bool SimFrameReader::claim(int count)
{
    if (!m_ok || count < 0 || count > m_bytes.size() - m_pos) {
        m_ok = false;
        return false;
    }
    return true;
}

quint8 SimFrameReader::u8()
{
    if (!claim(1))
        return 0;
    return quint8(m_bytes.at(m_pos++));
}

quint16 SimFrameReader::u16()
{
    if (!claim(2))
        return 0;
    const quint16 value = qFromBigEndian<quint16>(m_bytes.constData() + m_pos);
    m_pos += 2;
    return value;
}

quint32 SimFrameReader::u24()
{
    const quint32 high = u8();
    const quint32 low = u16();
    return m_ok ? (high << 16) | low : 0;
}

QByteArray SimFrameReader::take(int count)
{
    if (!claim(count))
        return QByteArray();
    const QByteArray part = m_bytes.mid(m_pos, count);
    m_pos += count;
    return part;
}

void SimFrameReader::skip(int count)
{
    if (claim(count))
        m_pos += count;
}
