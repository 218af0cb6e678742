#ifndef QUILLMARSH_SIMCONNECTION_H
#define QUILLMARSH_SIMCONNECTION_H

#include "SimProtocol.h"
#include "SimState.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One client connection on the server thread: cuts the byte stream into TPKT
// frames, has them answered, and sends the replies, misbehaving on purpose
// when a fault is set. A client that does not read its replies is not read
// either: past a bound of unsent bytes the connection stops taking frames
// until the client catches up, and TCP holds the client back.
class SimConnection : public QObject
{
    Q_OBJECT
public:
    SimConnection(QTcpSocket *clientSocket, SimState *sharedState, QObject *parent = nullptr);

    void abort();

signals:
    void finished(SimConnection *connection);

private:
    // One piece of output: wait delayMs, send bytes, then optionally close.
    struct Step
    {
        int delayMs = 0;
        QByteArray bytes;
        bool closeAfter = false;
    };

    void onReadyRead();
    void onBytesWritten();
    void onDisconnected();
    bool backedUp() const;
    void send(const QByteArray &bytes);
    bool takeFrame(QByteArray *frame);
    void handleFrame(const QByteArray &frame);
    void sendWithFault(const SimProtocol::Outcome &outcome, const SimState::FaultSetting &fault);
    void enqueue(int delayMs, const QByteArray &bytes, bool closeAfter = false);
    void sendNextStep();
    void closeGracefully();
    void resetConnection();

    QTcpSocket *socket;
    SimState *state;
    const SimState::Connection identity;
    SimProtocol protocol;
    QByteArray inbox;
    QList<Step> outbox;
    QTimer sendTimer;
    bool closing = false;
    bool finishReported = false;
    bool closedByUs = false;
    QByteArray previousReply;
    quint64 faultGeneration = 0;
    int framesUnderFault = 0;
};

#endif
