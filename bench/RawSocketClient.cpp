#include "RawSocketClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QtEndian>

#include "S7Frame.h"

namespace {

constexpr int kTimeoutMs = 2000; // every blocking call, as the plug-in's reply wait
constexpr quint16 kPduReference = 0x0100;
constexpr size_t kMaxFrame = 65535; // the TPKT length field is 16 bits
constexpr int kTpktLengthOffset = 2;

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

} // namespace

RawSocketClient::RawSocketClient()
{
    buffer.resize(kMaxFrame);
    for (const BenchCase &c : BenchCase::all())
        requests[size_t(c.kind)] = requestFor(c);
}

RawSocketClient::~RawSocketClient()
{
    disconnect();
}

std::string RawSocketClient::requestFor(const BenchCase &c)
{
    if (c.isWrite())
        return toStd(S7Frame::writeRequest(kPduReference, c.dbNumber, c.byteAddress, c.image.size(), c.image,
                                           S7::AreaDataBlocks));
    return toStd(S7Frame::readRequest(kPduReference, c.byteAddress, c.image.size(), c.dbNumber,
                                      S7::AreaDataBlocks));
}

bool RawSocketClient::connectTo(quint16 port)
{
    disconnect();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Bounded waits: the send time-out also bounds connect() on Linux.
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
        error = QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        disconnect();
        return false;
    }
    // Handshake: COTP connection request, then S7 setup communication.
    const bool confirmed = exchange(toStd(S7Frame::connectRequest()))
            && S7Frame::judgeHandshakeReply(reply(), S7::CotpConnectionConfirm) == S7Frame::HandshakeOk;
    const bool setUp = confirmed && exchange(toStd(S7Frame::setupCommunication()))
            && S7Frame::judgeHandshakeReply(reply(), S7::CotpData) == S7Frame::HandshakeOk;
    if (!setUp) {
        error = QStringLiteral("handshake refused or unanswered");
        disconnect();
    }
    return setUp;
}

void RawSocketClient::disconnect()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool RawSocketClient::run(const BenchCase &c, std::chrono::nanoseconds *elapsed)
{
    const std::string &request = requests[size_t(c.kind)];
    const auto start = std::chrono::steady_clock::now();
    const bool answered = exchange(request);
    *elapsed = std::chrono::steady_clock::now() - start;
    if (answered && checkReply(c))
        return true;
    error = QStringLiteral("unexpected reply of %1 bytes: %2").arg(frameLength).arg(QString::fromLatin1(reply().toHex()));
    return false;
}

QByteArray RawSocketClient::reply() const
{
    return QByteArray(buffer.data(), int(frameLength));
}

bool RawSocketClient::checkReply(const BenchCase &c) const
{
    const size_t expected = size_t(c.image.size());
    if (c.isWrite())
        return frameLength == size_t(S7::WriteReplyLength)
                && quint8(buffer[size_t(S7::WriteReplyReturnCodeOffset)]) == S7::ReturnCodeSuccess;
    return frameLength == size_t(S7::ReadReplyDataOffset) + expected
            && std::memcmp(buffer.data() + S7::ReadReplyDataOffset, c.image.constData(), expected) == 0;
}

bool RawSocketClient::exchange(const std::string &request)
{
    return fd >= 0 && sendAll(request) && receiveFrame();
}

bool RawSocketClient::sendAll(const std::string &bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            error = QStringLiteral("send failed");
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

// One whole frame by its TPKT length; every recv() either brings bytes or
// ends the wait (time-out, error, peer closed).
bool RawSocketClient::receiveFrame()
{
    size_t have = 0;
    size_t want = size_t(S7::TpktHeaderSize);
    while (have < want) {
        const ssize_t n = ::recv(fd, buffer.data() + have, kMaxFrame - have, 0);
        if (n <= 0) {
            frameLength = have;
            return false;
        }
        have += size_t(n);
        if (have >= size_t(S7::TpktHeaderSize)) {
            const size_t length = qFromBigEndian<quint16>(buffer.data() + kTpktLengthOffset);
            want = qMax(length, size_t(S7::TpktHeaderSize));
        }
    }
    // Bytes beyond the frame would belong to no request of ours.
    frameLength = have;
    return have == want;
}
