#ifndef QUILLMARSH_RAWSOCKETCLIENT_H
#define QUILLMARSH_RAWSOCKETCLIENT_H

#include <array>
#include <string>
#include <vector>

#include "BenchClient.h"

// The floor: a plain blocking POSIX socket client that sends the very frames
// the plug-in sends and blocks in recv() for the whole reply. No event loop,
// no signals, no copies beyond one receive buffer: what any client must pay
// for one request/reply on this machine.
class RawSocketClient : public BenchClient
{
public:
    RawSocketClient();
    ~RawSocketClient() override;

    QString name() const override { return QStringLiteral("floor"); }
    bool connectTo(quint16 port) override;
    void disconnect() override;
    bool run(const BenchCase &c, std::chrono::nanoseconds *elapsed) override;

    // The request frame sent for c (the PDU reference is a constant here).
    static std::string requestFor(const BenchCase &c);

private:
    bool exchange(const std::string &request);
    bool sendAll(const std::string &bytes);
    bool receiveFrame();
    bool checkReply(const BenchCase &c) const;
    QByteArray reply() const;

    int fd = -1;
    std::vector<char> buffer;  // one receive buffer for every reply
    size_t frameLength = 0;         // bytes of the last reply in buffer
    std::array<std::string, 3> requests; // by BenchCase::Kind
};

#endif
