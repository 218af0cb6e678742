#ifndef QUILLMARSH_BYTEREADER_H
#define QUILLMARSH_BYTEREADER_H

#include <QByteArray>
#include <QtEndian>

// A cursor over received bytes. Every read checks the remaining length
// itself; a read past the end yields 0 and marks the reader as failed, so a
// caller tests ok() once after a run of reads.
class ByteReader
{
public:
    explicit ByteReader(const QByteArray &data) : m_data(data) {}

    int position() const { return m_pos; }
    int remaining() const { return m_data.size() - m_pos; }
    bool ok() const { return m_ok; }

    bool seek(int pos)
    {
        if (pos < 0 || pos > m_data.size())
            return fail();
        m_pos = pos;
        return true;
    }
    quint8 u8()
    {
        if (!take(1))
            return 0;
        return quint8(m_data.at(m_pos - 1));
    }
    quint16 u16()
    {
        if (!take(2))
            return 0;
        return qFromBigEndian<quint16>(m_data.constData() + m_pos - 2);
    }
    QByteArray bytes(int n)
    {
        if (n < 0 || !take(n))
            return QByteArray();
        return m_data.mid(m_pos - n, n);
    }

private:
    bool take(int n)
    {
        if (!m_ok || n > remaining())
            return fail();
        m_pos += n;
        return true;
    }
    bool fail()
    {
        m_ok = false;
        return false;
    }

    const QByteArray &m_data;
    int m_pos = 0;
    bool m_ok = true;
};

#endif
