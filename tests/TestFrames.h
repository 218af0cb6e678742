#ifndef QUILLMARSH_TESTFRAMES_H
#define QUILLMARSH_TESTFRAMES_H

#include <QByteArray>
#include <QList>
#include <QtEndian>

// Frames as the tests write them: hex digits (blanks between them are
// skipped), and big-endian words in and out of them.
inline QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

inline QByteArray be16(int value)
{
    QByteArray bytes(2, '\0');
    qToBigEndian(quint16(value), bytes.data());
    return bytes;
}

// 0 past the end.
inline quint16 word(const QByteArray &bytes, int offset)
{
    return offset >= 0 && offset + 2 <= bytes.size() ? qFromBigEndian<quint16>(bytes.constData() + offset) : 0;
}

// The read jobs among frames a PLC received.
inline int readJobs(const QList<QByteArray> &frames)
{
    const int functionOffset = 17;   // TPKT 4, COTP 3, S7 header 10
    int n = 0;
    for (const QByteArray &frame : frames)
        n += frame.size() > functionOffset && frame.at(functionOffset) == '\x04';
    return n;
}

#endif
