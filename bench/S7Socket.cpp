#include "S7Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#include "S7Frame.h"

namespace {

constexpr int kTimeoutMs = 2000;    // every blocking call, as the plug-in's reply wait
constexpr size_t kMaxFrame = 65535; // the TPKT length field is 16 bits
constexpr int kTpktLengthOffset = 2;
constexpr int kPushPollMs = 100;

} // namespace

S7Socket::S7Socket() : buffer(kMaxFrame) {}

S7Socket::~S7Socket()
{
    close();
}

bool S7Socket::open(quint16 port)
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        message = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // The send time-out also bounds connect() on Linux.
    const timeval timeout{kTimeoutMs / 1000, (kTimeoutMs % 1000) * 1000};
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0) {
        message = QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    const bool confirmed = exchange(S7Frame::connectRequest())
            && S7Frame::judgeHandshakeReply(reply(), S7::CotpConnectionConfirm) == S7Frame::HandshakeOk;
    const bool setUp = confirmed && exchange(S7Frame::setupCommunication())
            && S7Frame::judgeHandshakeReply(reply(), S7::CotpData) == S7Frame::HandshakeOk;
    if (!setUp) {
        message = QStringLiteral("handshake refused or unanswered");
        close();
    }
    return setUp;
}

void S7Socket::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool S7Socket::exchange(const char *frame, size_t size)
{
    replyLength = 0;
    return fd >= 0 && sendAll(frame, size) && receiveFrame();
}

bool S7Socket::sendAll(const char *data, size_t size)
{
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            message = QStringLiteral("send failed");
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

// One whole frame by its TPKT length; every recv() either brings bytes or
// ends the wait (time-out, error, peer closed). Each recv() takes what is
// there, so a reply costs one call.
bool S7Socket::receiveFrame()
{
    size_t want = size_t(S7::TpktHeaderSize);
    while (replyLength < want) {
        const ssize_t n = ::recv(fd, buffer.data() + replyLength, kMaxFrame - replyLength, 0);
        if (n <= 0) {
            message = QStringLiteral("no whole reply");
            return false;
        }
        replyLength += size_t(n);
        if (replyLength >= size_t(S7::TpktHeaderSize))
            want = qMax(size_t(qFromBigEndian<quint16>(buffer.data() + kTpktLengthOffset)),
                        size_t(S7::TpktHeaderSize));
    }
    // Bytes beyond the frame would belong to no request of ours.
    return replyLength == want;
}

qint64 S7Socket::push(const QByteArray &bytes, int timeoutMs)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    while (sent < bytes.size() && clock.elapsed() < timeoutMs) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        pollfd watched = {fd, POLLOUT, 0};
        ::poll(&watched, 1, kPushPollMs);
    }
    return sent;
}
