#include "Snap7Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "snap7.h"

namespace {

constexpr int kDataBlock = 1;
constexpr int kBlockSize = 1024;
constexpr int kPortAttempts = 5;

// A loopback port that was free a moment ago: snap7 cannot bind to port 0
// and tell us which port it got.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

Snap7Server::Snap7Server() : server(Srv_Create()), block(kBlockSize, '\0')
{
    Srv_RegisterArea(server, srvAreaDB, kDataBlock, block.data(), kBlockSize);
}

Snap7Server::~Snap7Server()
{
    Srv_Stop(server);
    Srv_Destroy(&server);
}

bool Snap7Server::start()
{
    int result = -1;
    for (int attempt = 0; attempt < kPortAttempts && result != 0; ++attempt) {
        listenPort = freePort();
        Srv_SetParam(server, p_u16_LocalPort, &listenPort);
        result = Srv_StartTo(server, "127.0.0.1");
    }
    if (result != 0) {
        char text[256] = {};
        Srv_ErrorText(result, text, int(sizeof text));
        error = QString::fromLocal8Bit(text);
        listenPort = 0;
    }
    return result == 0;
}

bool Snap7Server::inBlock(int dbNumber, int offset, int length) const
{
    return dbNumber == kDataBlock && offset >= 0 && length >= 0 && offset + length <= kBlockSize;
}

bool Snap7Server::setBytes(int dbNumber, int offset, const QByteArray &bytes)
{
    if (!inBlock(dbNumber, offset, bytes.size()))
        return false;
    Srv_LockArea(server, srvAreaDB, word(dbNumber));
    std::memcpy(block.data() + offset, bytes.constData(), size_t(bytes.size()));
    Srv_UnlockArea(server, srvAreaDB, word(dbNumber));
    return true;
}

QByteArray Snap7Server::bytes(int dbNumber, int offset, int length) const
{
    if (!inBlock(dbNumber, offset, length))
        return QByteArray();
    Srv_LockArea(server, srvAreaDB, word(dbNumber));
    const QByteArray copy(block.data() + offset, length);
    Srv_UnlockArea(server, srvAreaDB, word(dbNumber));
    return copy;
}
