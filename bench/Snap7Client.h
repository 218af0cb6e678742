#ifndef QUILLMARSH_SNAP7CLIENT_H
#define QUILLMARSH_SNAP7CLIENT_H

#include <cstdint>
#include <vector>

#include "BenchClient.h"

// snap7's native client doing the same reads and writes through its C API,
// with the same TSAPs as the plug-in.
class Snap7Client : public BenchClient
{
public:
    Snap7Client();
    ~Snap7Client() override;

    QString name() const override { return QStringLiteral("snap7"); }
    bool connectTo(quint16 port) override;
    void disconnect() override;
    bool run(const BenchCase &c, std::chrono::nanoseconds *elapsed) override;

private:
    void setError(int result);

    uintptr_t client = 0;
    std::vector<char> buffer;
};

#endif
