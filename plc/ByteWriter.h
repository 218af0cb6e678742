#ifndef QUILLMARSH_BYTEWRITER_H
#define QUILLMARSH_BYTEWRITER_H

#include <QByteArray>
#include <QtEndian>

#include <cstring>

// Writes big-endian fields into a frame of known length: the frame is sized
// once (zero-filled) and filled through a pointer, with no per-field append.
// Writes past the length are dropped; ok() tells whether any was.
class ByteWriter
{
public:
    ByteWriter(QByteArray &frame, int length)
    {
        length = qMax(length, 0);
        frame.fill('\0', length);
        cursor = frame.data();
        limit = cursor + length;
    }

    void u8(quint8 v) { put(&v, 1); }
    void u16(quint16 v)
    {
        uchar b[2];
        qToBigEndian(v, b);
        put(b, 2);
    }
    // The low 24 bits, as S7 start addresses carry them.
    void u24(quint32 v)
    {
        u8(quint8(v >> 16));
        u16(quint16(v));
    }
    void bytes(const char *data, int size) { put(data, size); }
    bool ok() const { return intact; }

private:
    void put(const void *data, int size)
    {
        if (size < 0 || size > limit - cursor) {
            intact = false;
            return;
        }
        std::memcpy(cursor, data, size_t(size));
        cursor += size;
    }

    char *cursor = nullptr;
    char *limit = nullptr;
    bool intact = true;
};

#endif
