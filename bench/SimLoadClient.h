#ifndef QUILLMARSH_SIMLOADCLIENT_H
#define QUILLMARSH_SIMLOADCLIENT_H

#include <QByteArray>

// A blocking S7 client on a plain POSIX socket for load runs: handshake,
// then write and read jobs on data block 1, one frame at a time; or raw
// bytes pushed without reading anything back.
class SimLoadClient
{
public:
    ~SimLoadClient();

    bool open(quint16 port);
    void close();
    // True when the CPU answered the write with success.
    bool write(quint16 reference, int offset, const QByteArray &bytes);
    // True with *bytes set when the CPU answered the read with its data.
    bool read(quint16 reference, int offset, int count, QByteArray *bytes);
    // Sends bytes as far as the connection takes them within timeoutMs and
    // never reads; the number of bytes it took.
    qint64 push(const QByteArray &bytes, int timeoutMs);
    // Sends one frame and reads its answer; true when one came.
    bool exchange(const QByteArray &frame, QByteArray *answer = nullptr);

private:
    bool sendAll(const QByteArray &bytes);
    bool receiveFrame(QByteArray *frame);

    int fd = -1;
};

#endif
