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
    explicit ByteReader(const QByteArray &data) : input(data) {}

    int position() const { return cursor; }
    int remaining() const { return input.size() - cursor; }
    bool ok() const { return intact; }

    bool seek(int pos)
    {
        if (pos < 0 || pos > input.size())
            return fail();
        cursor = pos;
        return true;
    }
    quint8 u8()
    {
        if (!take(1))
            return 0;
        return quint8(input.at(cursor - 1));
    }
    quint16 u16()
    {
        if (!take(2))
            return 0;
        return qFromBigEndian<quint16>(input.constData() + cursor - 2);
    }
    QByteArray bytes(int n)
    {
        if (n < 0 || !take(n))
            return QByteArray();
        return input.mid(cursor - n, n);
    }

private:
    bool take(int n)
    {
        if (!intact || n > remaining())
            return fail();
        cursor += n;
        return true;
    }
    bool fail()
    {
        intact = false;
        return false;
    }

    const QByteArray &input;
    int cursor = 0;
    bool intact = true;
};

#endif
