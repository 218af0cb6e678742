#pragma once

#include <QByteArray>

// Bounds-checked big-endian reader over received bytes. A read past the end
// yields 0 and latches the failure, so a parser can read a whole structure and
// test ok() once instead of checking every field.
class SimFrameReader
{
public:
    explicit SimFrameReader(const QByteArray &bytes, int offset = 0);

    quint8 u8();
    quint16 u16();
    quint32 u24();
    QByteArray take(int count);
    void skip(int count);

    int position() const { return m_pos; }
    int remaining() const { return m_ok ? m_bytes.size() - m_pos : 0; }
    bool ok() const { return m_ok; }

private:
    bool claim(int count);

    QByteArray m_bytes;
    int m_pos;
    bool m_ok;
};
