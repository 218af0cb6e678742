#include "Snap7Client.h"

#include <cstring>

#include "S7Types.h"
#include "snap7.h"

namespace {
constexpr int kBufferSize = 65536;
constexpr int kTimeoutMs = 2000;
}

Snap7Client::Snap7Client() : client(Cli_Create()), buffer(kBufferSize, '\0')
{
    int timeout = kTimeoutMs;
    Cli_SetParam(client, p_i32_RecvTimeout, &timeout);
    Cli_SetParam(client, p_i32_SendTimeout, &timeout);
    Cli_SetParam(client, p_i32_PingTimeout, &timeout);
}

Snap7Client::~Snap7Client()
{
    Cli_Disconnect(client);
    Cli_Destroy(&client);
}

void Snap7Client::setError(int result)
{
    char text[256] = {};
    Cli_ErrorText(result, text, int(sizeof text));
    error = QString::fromLocal8Bit(text);
}

bool Snap7Client::connectTo(quint16 port)
{
    Cli_Disconnect(client);
    word remotePort = port;
    Cli_SetParam(client, p_u16_RemotePort, &remotePort);
    Cli_SetConnectionParams(client, "127.0.0.1", S7::LocalTsap, S7::RemoteTsap);
    const int result = Cli_Connect(client);
    if (result != 0)
        setError(result);
    return result == 0;
}

void Snap7Client::disconnect()
{
    Cli_Disconnect(client);
}

bool Snap7Client::run(const BenchCase &c, std::chrono::nanoseconds *elapsed)
{
    const int size = c.image.size();
    if (c.isWrite())
        std::memcpy(buffer.data(), c.image.constData(), size_t(size));
    const auto start = std::chrono::steady_clock::now();
    const int result = c.isWrite()
            ? Cli_WriteArea(client, S7AreaDB, c.dbNumber, c.byteAddress, size, S7WLByte, buffer.data())
            : Cli_ReadArea(client, S7AreaDB, c.dbNumber, c.byteAddress, size, S7WLByte, buffer.data());
    *elapsed = std::chrono::steady_clock::now() - start;
    if (result != 0) {
        setError(result);
        return false;
    }
    if (!c.isWrite() && std::memcmp(buffer.data(), c.image.constData(), size_t(size)) != 0) {
        error = QStringLiteral("read returned other bytes");
        return false;
    }
    return true;
}
