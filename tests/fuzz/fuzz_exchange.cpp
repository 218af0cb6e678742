// The reply path through a real socket. A peer thread on loopback answers the
// handshake once, then answers every job with the bytes of one fuzz input, so
// the socket's own cutting of the stream (and bytes left over from earlier
// inputs) reach the job as they would from a PLC.
//
// Input: [read or write][byte count, 16 bits][reply bytes...]

#include <QByteArray>
#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <thread>

#include "FuzzRequire.h"
#include "CmdQuillmarsh.h"

namespace {

constexpr size_t HeaderBytes = 3;
constexpr size_t MaxReply = 8192;
constexpr int MaxCount = 4096;
constexpr int TpktHeaderSize = 4;
constexpr int CotpCodeOffset = 5;
constexpr int FunctionOffset = 17;
constexpr quint8 CotpConnectionRequest = 0xE0;
constexpr quint8 FunctionSetup = 0xF0;
constexpr int DataBlock = 0x84;

// The reply to the next job, set before the job sends its request.
std::mutex replyMutex;
QByteArray pendingReply;

bool readAll(int fd, char *to, int n)
{
    for (int got = 0; got < n;) {
        const ssize_t r = ::recv(fd, to + got, size_t(n - got), 0);
        if (r <= 0)
            return false;
        got += int(r);
    }
    return true;
}

QByteArray replyTo(const QByteArray &frame)
{
    if (quint8(frame.at(CotpCodeOffset)) == CotpConnectionRequest)
        return QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300");
    if (frame.size() > FunctionOffset && quint8(frame.at(FunctionOffset)) == FunctionSetup)
        return QByteArray::fromHex("0300001b02f080320300" "00ccc1000800000000f0000001000100f0");
    std::lock_guard<std::mutex> lock(replyMutex);
    return pendingReply;
}

// One connection, frames cut by their TPKT length, until the driver closes.
void servePeer(int listener)
{
    const int fd = ::accept(listener, nullptr, nullptr);
    char header[TpktHeaderSize];
    while (fd >= 0 && readAll(fd, header, TpktHeaderSize)) {
        const int length = quint8(header[2]) << 8 | quint8(header[3]);
        if (length <= CotpCodeOffset)
            break;
        QByteArray frame(header, TpktHeaderSize);
        frame.resize(length);
        if (!readAll(fd, frame.data() + TpktHeaderSize, length - TpktHeaderSize))
            break;
        const QByteArray reply = replyTo(frame);
        if (::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL) != reply.size())
            break;
    }
    if (fd >= 0)
        ::close(fd);
}

CmdQuillmarsh *connectToPeer()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    require(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(listener, 1) == 0);
    require(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    std::thread(servePeer, listener).detach();
    auto *cmd = new CmdQuillmarsh; // lives for the whole run
    require(cmd->connectPlc(QStringLiteral("127.0.0.1"), ntohs(address.sin_port)) == ConnectOk);
    return cmd;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv); // the socket's thread needs one
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size <= HeaderBytes || size > HeaderBytes + MaxReply)
        return 0; // an empty reply would only wait out the reply time
    static CmdQuillmarsh *cmd = connectToPeer();
    const int count = qMin(int(uint16_t(data[1] << 8 | data[2])), MaxCount);
    {
        std::lock_guard<std::mutex> lock(replyMutex);
        pendingReply = QByteArray(reinterpret_cast<const char *>(data + HeaderBytes), int(size - HeaderBytes));
    }

    QByteArray out;
    const int result = data[0] & 1
        ? cmd->writeArea(1, 0, count, QByteArray(count, '\0'), DataBlock, QString())
        : cmd->readArea(0, count, &out, 1, DataBlock, QString());
    require(result == JobOk || result == JobBadReply || result == JobNoReply);
    require(out.size() == (result == JobOk && !(data[0] & 1) ? count : 0));
    return 0;
}
