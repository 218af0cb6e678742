#include "SimLoadClient.h"

#include "S7Frame.h"

#include <QElapsedTimer>
#include <QtEndian>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int TpktHeaderSize = 4;
constexpr int ReadReplyHeader = 25;      // TPKT, COTP, ack-data header, parameters, item header
constexpr int ReturnCodeOffset = 21;
constexpr quint8 ReturnOk = 0xFF;
constexpr int DataBlock = 1;
constexpr int PollSliceMs = 100;
}

SimLoadClient::~SimLoadClient()
{
    close();
}

bool SimLoadClient::open(quint16 port)
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0)
        return false;
    return exchange(S7Frame::connectRequest()) && exchange(S7Frame::setupCommunication());
}

void SimLoadClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool SimLoadClient::sendAll(const QByteArray &bytes)
{
    for (qint64 sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool SimLoadClient::receiveFrame(QByteArray *frame)
{
    QByteArray bytes(TpktHeaderSize, '\0');
    for (int got = 0; got < bytes.size();) {
        const ssize_t n = ::recv(fd, bytes.data() + got, size_t(bytes.size() - got), 0);
        if (n <= 0)
            return false;
        got += int(n);
        if (got == TpktHeaderSize)
            bytes.resize(qMax(TpktHeaderSize, int(qFromBigEndian<quint16>(bytes.constData() + 2))));
    }
    *frame = bytes;
    return true;
}

bool SimLoadClient::exchange(const QByteArray &frame, QByteArray *answer)
{
    QByteArray reply;
    if (!sendAll(frame) || !receiveFrame(&reply))
        return false;
    if (answer)
        *answer = reply;
    return true;
}

bool SimLoadClient::write(quint16 reference, int offset, const QByteArray &bytes)
{
    QByteArray reply;
    return exchange(S7Frame::writeRequest(reference, DataBlock, offset, bytes.size(), bytes, S7::AreaDataBlocks),
                    &reply)
        && S7Frame::judgeWriteReply(reply) == JobOk;
}

bool SimLoadClient::read(quint16 reference, int offset, int count, QByteArray *bytes)
{
    QByteArray reply;
    if (!exchange(S7Frame::readRequest(reference, offset, count, DataBlock, S7::AreaDataBlocks), &reply)
        || reply.size() != ReadReplyHeader + count || quint8(reply.at(ReturnCodeOffset)) != ReturnOk)
        return false;
    *bytes = reply.right(count);
    return true;
}

qint64 SimLoadClient::push(const QByteArray &bytes, int timeoutMs)
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
        ::poll(&watched, 1, PollSliceMs);
    }
    return sent;
}
