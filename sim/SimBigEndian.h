#ifndef QUILLMARSH_SIMBIGENDIAN_H
#define QUILLMARSH_SIMBIGENDIAN_H

#include <QByteArray>
#include <QtEndian>

// The simulator's one way of writing a 16-bit field: S7 sends it big-endian.
inline void append16(QByteArray *out, quint16 value)
{
    char be[2];
    qToBigEndian(value, be);
    out->append(be, 2);
}

#endif
