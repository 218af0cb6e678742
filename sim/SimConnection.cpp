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

SimConnection::SimConnection(QTcpSocket *clientSocket, SimState *sharedState, QObject *parent)
    : QObject(parent), socket(clientSocket), state(sharedState)
{
    socket->setParent(this);
    sendTimer.setSingleShot(true);
    connect(&sendTimer, &QTimer::timeout, this, &SimConnection::sendNextStep);
    connect(socket, &QTcpSocket::readyRead, this, &SimConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &SimConnection::onDisconnected);
    faultGeneration = state->fault().generation;
}

void SimConnection::abort()
{
    sendTimer.stop();
    outbox.clear();
    socket->abort();
    onDisconnected();
}

void SimConnection::onDisconnected()
{
    if (finishReported)
        return;
    finishReported = true;
    sendTimer.stop();
    emit finished(this);
}

void SimConnection::onReadyRead()
{
    inbox.append(socket->readAll());
    QByteArray frame;
    while (!closing && takeFrame(&frame))
        handleFrame(frame);
}

// Cuts one frame off the inbox by its TPKT length. A header that cannot start
// a valid frame closes the connection: there is no way to resynchronise.
bool SimConnection::takeFrame(QByteArray *frame)
{
    if (inbox.size() < SimProtocol::TpktHeaderSize)
        return false;
    const int length = qFromBigEndian<quint16>(inbox.constData() + SimProtocol::TpktLengthOffset);
    if (quint8(inbox.at(0)) != SimProtocol::TpktVersion || length < SimProtocol::MinFrameSize) {
        inbox.clear();
        closeGracefully();
        return false;
    }
    if (inbox.size() < length)
        return false;
    *frame = inbox.left(length);
    inbox.remove(0, length);
    return true;
}

void SimConnection::handleFrame(const QByteArray &frame)
{
    state->recordFrame(frame);
    const SimState::FaultSetting fault = state->fault();
    if (fault.generation != faultGeneration) {
        faultGeneration = fault.generation;
        framesUnderFault = 0;
    }
    ++framesUnderFault;

    switch (fault.fault) {
    case SimPlc::Fault::Silent:
        return;
    case SimPlc::Fault::CloseAfterFrames:
        if (framesUnderFault >= fault.param) {
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
    sendWithFault(state->answer(protocol, frame), fault);
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
        enqueue(0, previousReply, outcome.close);
        previousReply = reply;
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
    outbox.append(Step{delayMs, bytes, closeAfter});
    if (closeAfter)
        closing = true;
    if (outbox.size() == 1 && !sendTimer.isActive())
        sendTimer.start(delayMs);
}

void SimConnection::sendNextStep()
{
    if (outbox.isEmpty() || finishReported)
        return;
    const Step step = outbox.takeFirst();
    if (!step.bytes.isEmpty()) {
        socket->write(step.bytes);
        socket->flush();
    }
    if (step.closeAfter) {
        outbox.clear();
        socket->disconnectFromHost();
        return;
    }
    if (!outbox.isEmpty())
        sendTimer.start(outbox.first().delayMs);
}

void SimConnection::closeGracefully()
{
    enqueue(0, QByteArray(), true);
}
