#include "SimConnection.h"

#include <QRandomGenerator>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {
// Bounds on a connection whose client does not read its replies: what Qt
// buffers of the client's bytes, the replies not yet taken by the network,
// the replies waiting for their turn under a fault.
constexpr qint64 ReadBufferBytes = 64 * 1024;
constexpr qint64 MaxUnsentBytes = 256 * 1024;
constexpr int MaxQueuedSteps = 64;
constexpr int SplitPauseMs = 300;
constexpr int ShortReplyBytes = 4;
constexpr int MaxGarbageBytes = 64;
constexpr char HugeFiller = char(0xAA);

QString peerText(const QTcpSocket *socket)
{
    return QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}

} // namespace

SimConnection::SimConnection(QTcpSocket *clientSocket, SimState *sharedState, QObject *parent)
    : QObject(parent), socket(clientSocket), state(sharedState),
      identity(sharedState->connectionOpened(peerText(clientSocket))),
      protocol(identity.reference, identity.sequence)
{
    socket->setParent(this);
    socket->setReadBufferSize(ReadBufferBytes);
    // Each reply leaves as soon as its job is done, also while the one before
    // is unacknowledged (jobs in parallel): our choice, no capture shows
    // whether a CPU's stack holds small segments back.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    sendTimer.setSingleShot(true);
    connect(&sendTimer, &QTimer::timeout, this, &SimConnection::sendNextStep);
    connect(socket, &QTcpSocket::readyRead, this, &SimConnection::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &SimConnection::onBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &SimConnection::onDisconnected);
    faultGeneration = state->fault().generation;
    state->capture().opened(identity.id, socket->peerAddress(), socket->peerPort(), socket->localAddress(),
                            socket->localPort());
}

void SimConnection::abort()
{
    sendTimer.stop();
    outbox.clear();
    closedByUs = true;
    socket->abort();
    onDisconnected();
}

void SimConnection::onDisconnected()
{
    if (finishReported)
        return;
    finishReported = true;
    sendTimer.stop();
    state->capture().closed(identity.id, !closedByUs);
    state->connectionClosed(identity.id);
    emit finished(this);
}

// Frames are taken from the socket only while the replies keep flowing;
// bytes left unread fill Qt's bounded buffer, then the kernel's, then the
// client waits.
void SimConnection::onReadyRead()
{
    QByteArray frame;
    while (!closing && !backedUp()) {
        if (takeFrame(&frame)) {
            handleFrame(frame);
        } else if (socket->bytesAvailable() > 0) {
            inbox.append(socket->read(ReadBufferBytes));
        } else {
            return;
        }
    }
}

void SimConnection::onBytesWritten()
{
    if (!backedUp())
        onReadyRead();
}

bool SimConnection::backedUp() const
{
    return socket->bytesToWrite() > MaxUnsentBytes || outbox.size() > MaxQueuedSteps;
}

// Cuts one frame off the inbox by its TPKT length. A header that cannot start
// a valid frame closes the connection: there is no way to resynchronise.
bool SimConnection::takeFrame(QByteArray *frame)
{
    const int length = SimProtocol::frameLength(inbox);
    if (length < 0) {
        inbox.clear();
        closeGracefully();
    }
    if (length <= 0)
        return false;
    *frame = inbox.left(length);
    inbox.remove(0, length);
    return true;
}

void SimConnection::handleFrame(const QByteArray &frame)
{
    state->capture().received(identity.id, frame);
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
            enqueue(0, SimProtocol::disconnectRequestFor(frame), true);
            return;
        }
        break;
    default:
        break;
    }
    const SimProtocol::Outcome outcome = state->answer(identity.id, protocol, frame);
    if (!outcome.connectionRefused.isEmpty())
        state->reportRefusal(outcome.connectionRefused);
    if (outcome.reset)
        resetConnection();
    else
        sendWithFault(outcome, fault);
}

// Ends the connection at once with a TCP reset (no lingering, so the
// kernel sends RST instead of FIN), dropping whatever was still to send.
void SimConnection::resetConnection()
{
    closing = true;
    sendTimer.stop();
    outbox.clear();
    closedByUs = true;
    state->capture().reset(identity.id);
#ifdef Q_OS_UNIX
    const linger noLinger{1, 0};
    setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
#endif
    socket->abort();
    onDisconnected();
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
    if (!step.bytes.isEmpty())
        send(step.bytes);
    if (step.closeAfter) {
        outbox.clear();
        closedByUs = true;
        socket->disconnectFromHost();
        return;
    }
    if (!outbox.isEmpty())
        sendTimer.start(outbox.first().delayMs);
    else if (!backedUp())
        onReadyRead(); // frames held back while the queue was full
}

void SimConnection::send(const QByteArray &bytes)
{
    state->capture().sent(identity.id, bytes);
    socket->write(bytes);
    socket->flush();
}

void SimConnection::closeGracefully()
{
    enqueue(0, QByteArray(), true);
}
