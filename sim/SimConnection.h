#pragma once

#include "SimProtocol.h"
#include "SimState.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One client connection on the server thread: cuts the byte stream into TPKT
// frames, has them answered, and sends the replies, misbehaving on purpose
// when a fault is set.
class SimConnection : public QObject
{
    Q_OBJECT
public:
    SimConnection(QTcpSocket *socket, SimState *state, QObject *parent = nullptr);

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
    void onDisconnected();
    bool takeFrame(QByteArray *frame);
    void handleFrame(const QByteArray &frame);
    void sendWithFault(const SimProtocol::Outcome &outcome, const SimState::FaultSetting &fault);
    void enqueue(int delayMs, const QByteArray &bytes, bool closeAfter = false);
    void sendNextStep();
    void closeGracefully();

    QTcpSocket *m_socket;
    SimState *m_state;
    SimProtocol m_protocol;
    QByteArray m_inbox;
    QList<Step> m_outbox;
    QTimer m_sendTimer;
    bool m_closing = false;
    bool m_finished = false;
    QByteArray m_previousReply;
    quint64 m_faultGeneration = 0;
    int m_framesUnderFault = 0;
};
