#ifndef QUILLMARSH_RAWSOCKETCLIENT_H
#define QUILLMARSH_RAWSOCKETCLIENT_H

#include <array>

#include "BenchClient.h"
#include "S7Socket.h"

// The floor: the very frames the plug-in sends, over a plain blocking
// socket (S7Socket), made once. What any client must pay for one request
// and its reply on this machine.
class RawSocketClient : public BenchClient
{
public:
    RawSocketClient();

    QString name() const override { return QStringLiteral("floor"); }
    bool connectTo(quint16 port) override;
    void disconnect() override { socket.close(); }
    void perform(const BenchCase &c) override;
    bool check(const BenchCase &c) override;

    // The request frame sent for c (the PDU reference is a constant here).
    static QByteArray requestFor(const BenchCase &c);

private:
    S7Socket socket;
    bool answered = false;
    std::array<QByteArray, BenchCase::KindCount> requests;
};

#endif
