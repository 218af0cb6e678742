#ifndef QUILLMARSH_SIMFRAMEREADER_H
#define QUILLMARSH_SIMFRAMEREADER_H

#include <QByteArray>

// Bounds-checked big-endian reader over received bytes. A read past the end
// yields 0 and latches the failure, so a parser can read a whole structure and
// test ok() once instead of checking every field. The simulator keeps its
// own reader on purpose, apart from the driver's, so that a mistake cannot
// hide by being shared by both ends of a test.
class SimFrameReader
{
public:
    explicit SimFrameReader(const QByteArray &received, int offset = 0);

    quint8 u8();
    quint16 u16();
    quint32 u24();
    QByteArray take(int count);
    void skip(int count);

    int position() const { return pos; }
    int remaining() const { return inBounds ? bytes.size() - pos : 0; }
    bool ok() const { return inBounds; }

private:
    bool claim(int count);

    QByteArray bytes;
    int pos;
    bool inBounds;
};

#endif
