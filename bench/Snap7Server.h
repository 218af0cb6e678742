#ifndef QUILLMARSH_SNAP7SERVER_H
#define QUILLMARSH_SNAP7SERVER_H

#include <cstdint>
#include <vector>

#include "BenchServer.h"

// snap7's S7 server in this process, with data block 1 registered. snap7
// listens and serves on threads of its own.
class Snap7Server : public BenchServer
{
public:
    Snap7Server();
    ~Snap7Server() override;

    QString name() const override { return QStringLiteral("snap7"); }
    bool start() override;
    quint16 port() const override { return listenPort; }
    bool setBytes(int dbNumber, int offset, const QByteArray &bytes) override;
    QByteArray bytes(int dbNumber, int offset, int length) const override;

private:
    bool inBlock(int dbNumber, int offset, int length) const;

    uintptr_t server = 0;
    quint16 listenPort = 0;
    std::vector<char> block;
};

#endif
