#ifndef QUILLMARSH_BYTEWRITER_H
#define QUILLMARSH_BYTEWRITER_H

#include <QByteArray>
#include <QtEndian>

// Appends big-endian fields to a frame.
class ByteWriter
{
public:
    explicit ByteWriter(QByteArray &frame) : m_frame(frame) {}

    void u8(quint8 v) { m_frame.append(char(v)); }
    void u16(quint16 v)
    {
        uchar b[2];
        qToBigEndian(v, b);
        m_frame.append(reinterpret_cast<const char *>(b), 2);
    }
    // The low 24 bits, as S7 start addresses carry them.
    void u24(quint32 v)
    {
        u8(quint8(v >> 16));
        u16(quint16(v));
    }
    void bytes(const char *data, int size) { m_frame.append(data, size); }

private:
    QByteArray &m_frame;
};

#endif
