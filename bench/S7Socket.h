#ifndef QUILLMARSH_S7SOCKET_H
#define QUILLMARSH_S7SOCKET_H

#include <QByteArray>
#include <QString>

#include <vector>

// A blocking S7 client connection on a plain POSIX socket: TCP connection,
// COTP connection request and S7 setup, then one whole frame out and one
// whole frame back per exchange. No event loop and one receive buffer for
// every reply: what any client must pay for a request and its reply. Every
// wait is bounded by the socket's send and receive time-outs.
class S7Socket
{
public:
    S7Socket();
    ~S7Socket();
    S7Socket(const S7Socket &) = delete;
    S7Socket &operator=(const S7Socket &) = delete;

    // Connects to 127.0.0.1:port and does both handshake steps; false with
    // error() set.
    bool open(quint16 port);
    void close();
    // Sends a frame and receives the reply's whole frame (by its TPKT
    // length); false when either fails.
    bool exchange(const char *frame, size_t size);
    bool exchange(const QByteArray &frame) { return exchange(frame.constData(), size_t(frame.size())); }
    // The last reply, as far as it came.
    const char *replyData() const { return buffer.data(); }
    size_t replySize() const { return replyLength; }
    QByteArray reply() const { return QByteArray(buffer.data(), int(replyLength)); }
    // Sends bytes as far as the peer takes them within timeoutMs and reads
    // nothing; the number of bytes taken. Leaves the socket non-blocking.
    qint64 push(const QByteArray &bytes, int timeoutMs);
    QString error() const { return message; }

private:
    bool sendAll(const char *data, size_t size);
    bool receiveFrame();

    int fd = -1;
    std::vector<char> buffer;
    size_t replyLength = 0;
    QString message;
};

#endif
