#ifndef QUILLMARSH_SIMBIGENDIAN_H
#define QUILLMARSH_SIMBIGENDIAN_H

#include <QByteArray>
#include <QtEndian>

// The simulator's one way of writing 16- and 32-bit fields: S7 sends them
// big-endian. It keeps its own on purpose, apart from the driver's, so that
// a mistake cannot hide by being shared by both ends of a test.
inline void append16(QByteArray *out, quint16 value)
{
    char be[2];
    qToBigEndian(value, be);
    out->append(be, 2);
}

inline void append32(QByteArray *out, quint32 value)
{
    char be[4];
    qToBigEndian(value, be);
    out->append(be, 4);
}

#endif
