#include "SimConnection.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtEndian>

namespace {
constexpr int SplitPauseMs = 300;
constexpr int ShortReplyBytes = 4;
constexpr int MaxGarbageBytes = 64;
constexpr char HugeFiller = char(0xAA);
}

SimConnection::SimConnection(QTcpSocket *socket, SimState *state, QObject *parent)
    : QObject(parent), m_socket(socket), m_state(state)
{
    m_socket->setParent(this);
    m_sendTimer.setSingleShot(true);
    connect(&m_sendTimer, &QTimer::timeout, this, &SimConnection::sendNextStep);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &SimConnection::onDisconnected);
    m_faultGeneration = m_state->fault().generation;
}

void SimConnection::abort()
{
    m_sendTimer.stop();
    m_outbox.clear();
    m_socket->abort();
    onDisconnected();
}

void SimConnection::onDisconnected()
{
    if (m_finished)
        return;
    m_finished = true;
    m_sendTimer.stop();
    emit finished(this);
}

void SimConnection::onReadyRead()
{
    m_inbox.append(m_socket->readAll());
    QByteArray frame;
    while (!m_closing && takeFrame(&frame))
        handleFrame(frame);
}

// Cuts one frame off the inbox by its TPKT length. A header that cannot start
// a valid frame closes the connection: there is no way to resynchronise.
bool SimConnection::takeFrame(QByteArray *frame)
{
    if (m_inbox.size() < SimProtocol::TpktHeaderSize)
        return false;
    const int length = qFromBigEndian<quint16>(m_inbox.constData() + SimProtocol::TpktLengthOffset);
    if (quint8(m_inbox.at(0)) != SimProtocol::TpktVersion || length < SimProtocol::MinFrameSize) {
        m_inbox.clear();
        closeGracefully();
        return false;
    }
    if (m_inbox.size() < length)
        return false;
    *frame = m_inbox.left(length);
    m_inbox.remove(0, length);
    return true;
}

void SimConnection::handleFrame(const QByteArray &frame)
{
    m_state->recordFrame(frame);
    const SimState::FaultSetting fault = m_state->fault();
    if (fault.generation != m_faultGeneration) {
        m_faultGeneration = fault.generation;
        m_framesUnderFault = 0;
    }
    ++m_framesUnderFault;

    switch (fault.fault) {
    case SimPlc::Fault::Silent:
        return;
    case SimPlc::Fault::CloseAfterFrames:
        if (m_framesUnderFault >= fault.param) {
            closeGracefully();
            return;
        }
        break;
    case SimPlc::Fault::RefuseConnect:
        if (SimProtocol::isConnectionRequest(frame)) {
            enqueue(0, SimProtocol::refusal(frame), true);
            return;
        }
        break;
    default:
        break;
    }
    sendWithFault(m_state->answer(m_protocol, frame), fault);
}

void SimConnection::sendWithFault(const SimProtocol::Outcome &outcome, const SimState::FaultSetting &fault)
{
    const QByteArray &reply = outcome.reply;
    const int half = reply.size() / 2;
    switch (fault.fault) {
    case SimPlc::Fault::ShortReply:
        enqueue(0, reply.left(ShortReplyBytes), outcome.close);
        break;
    case SimPlc::Fault::LateReply:
        enqueue(fault.param, reply, outcome.close);
        break;
    case SimPlc::Fault::SplitReply:
        enqueue(0, reply.left(half));
        enqueue(SplitPauseMs, reply.mid(half), outcome.close);
        break;
    case SimPlc::Fault::Garbage: {
        QByteArray garbage(1 + QRandomGenerator::global()->bounded(MaxGarbageBytes), '\0');
        for (char &byte : garbage)
            byte = char(QRandomGenerator::global()->bounded(256));
        enqueue(0, garbage, outcome.close);
        break;
    }
    case SimPlc::Fault::HugeReply: {
        // Starts like a real frame so a reader commits to it, then never ends.
        QByteArray huge(qMax(fault.param, SimProtocol::TpktHeaderSize), HugeFiller);
        huge[0] = char(SimProtocol::TpktVersion);
        huge[1] = '\0';
        huge[2] = char(0xFF);
        huge[3] = char(0xFF);
        enqueue(0, huge, outcome.close);
        break;
    }
    case SimPlc::Fault::ByteByByte:
        for (int i = 0; i < reply.size(); ++i)
            enqueue(i == 0 ? 0 : fault.param, reply.mid(i, 1));
        if (outcome.close)
            enqueue(0, QByteArray(), true);
        break;
    case SimPlc::Fault::CloseMidReply:
        enqueue(0, reply.left(half), true);
        break;
    case SimPlc::Fault::PreviousReply:
        enqueue(0, m_previousReply, outcome.close);
        m_previousReply = reply;
        break;
    default:
        enqueue(0, reply, outcome.close);
        break;
    }
}

void SimConnection::enqueue(int delayMs, const QByteArray &bytes, bool closeAfter)
{
    if (bytes.isEmpty() && !closeAfter)
        return;
    m_outbox.append(Step{delayMs, bytes, closeAfter});
    if (closeAfter)
        m_closing = true;
    if (m_outbox.size() == 1 && !m_sendTimer.isActive())
        m_sendTimer.start(delayMs);
}

void SimConnection::sendNextStep()
{
    if (m_outbox.isEmpty() || m_finished)
        return;
    const Step step = m_outbox.takeFirst();
    if (!step.bytes.isEmpty()) {
        m_socket->write(step.bytes);
        m_socket->flush();
    }
    if (step.closeAfter) {
        m_outbox.clear();
        m_socket->disconnectFromHost();
        return;
    }
    if (!m_outbox.isEmpty())
        m_sendTimer.start(m_outbox.first().delayMs);
}

void SimConnection::closeGracefully()
{
    enqueue(0, QByteArray(), true);
}
