#include "CmdQuillmarsh.h"

#include <QDebug>
#include <QMessageLogger>
#include <QTcpSocket>

#include <cstdlib>
#include <limits>

#include "S7ConnectFrames.h"
#include "S7Frame.h"

CmdQuillmarsh::CmdQuillmarsh(QObject *parent) : QObject(parent) {}

CmdQuillmarsh::~CmdQuillmarsh()
{
    if (socketInUse())
        disconnectPlc();
    releaseSocket();
}

int CmdQuillmarsh::connectPlc(QString ip, int port)
{
    if (!socket) {
        socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, this, &CmdQuillmarsh::myconnected);
        connect(socket, &QTcpSocket::disconnected, this, &CmdQuillmarsh::mydisconnected);
        connect(socket, &QTcpSocket::readyRead, this, &CmdQuillmarsh::myreadyRead);
    }
    this->port = port;
    // Numeric addresses only: a host name would block on a DNS look-up.
    if (!hostAddress.setAddress(ip))
        return ConnectBadText;

    socket->abort();
    granted = CDriveExtension::Negotiated();
    failedStep = CDriveExtension::ConnectStepNone;
    socket->connectToHost(hostAddress, quint16(port), QIODevice::ReadWrite);
    socket->waitForConnected(ConnectTimeoutMs);
    const auto state = socket->state();
    // Still connecting counts as under way: the handshake step then finds
    // the socket not connected and the connect fails as a handshake failure.
    if (state != QAbstractSocket::ConnectingState && state != QAbstractSocket::ConnectedState)
        return ConnectTimeout;
    // Jobs in flight together go out at once: with Nagle's algorithm the
    // second frame would wait for the first one's acknowledgement, which
    // rides on its reply, a whole round trip later.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    if (connectRequest() != S7Frame::HandshakeOk)
        failedStep = CDriveExtension::ConnectStepRequest;
    else if (setupCommunication() != S7Frame::HandshakeOk)
        failedStep = CDriveExtension::ConnectStepSetup;
    if (failedStep != CDriveExtension::ConnectStepNone) {
        disconnectPlc();
        return ConnectHandshakeFailed;
    }
    return ConnectOk;
}

int CmdQuillmarsh::disconnectPlc()
{
    if (!socket)
        return ReleaseNoSocket;
    socket->close();
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->waitForDisconnected(DisconnectTimeoutMs);
    return ReleaseDone;
}

int CmdQuillmarsh::releaseSocket()
{
    if (socket) {
        disconnect(socket, nullptr, this, nullptr);
        delete socket;
        socket = nullptr;
    }
    return ReleaseDone;
}

int CmdQuillmarsh::exchange(QByteArray request, QByteArray &reply)
{
    if (socket) {
        sendFrame(request);
        socket->waitForReadyRead(ReplyTimeoutMs);
    }
    // Whatever the buffer holds is the reply, also bytes that came in after
    // an earlier job had given up on them: a late reply answers the next job.
    if (recvBuffer.isEmpty())
        return ExchangeNoReply;
    reply.append(recvBuffer);
    recvBuffer.clear();
    return ExchangeOk;
}

bool CmdQuillmarsh::socketInUse() const
{
    return socket && socket->state() != QAbstractSocket::UnconnectedState;
}

bool CmdQuillmarsh::isConnected() const
{
    return socket && socket->state() == QAbstractSocket::ConnectedState;
}

int CmdQuillmarsh::unsentResult() const
{
    // A job that cannot be sent as asked: not acceptable, or not connected.
    return isConnected() ? JobBadReply : JobNotConnected;
}

int CmdQuillmarsh::handshakeStep(const QByteArray &request, quint8 expectedTpduCode, QByteArray *reply)
{
    if (!isConnected())
        return S7Frame::HandshakeNotConnected;
    if (exchange(request, *reply) != ExchangeOk)
        return S7Frame::HandshakeUnconfirmed;
    return S7Frame::judgeHandshakeReply(*reply, expectedTpduCode);
}

int CmdQuillmarsh::connectRequest()
{
    QByteArray reply;
    return handshakeStep(S7ConnectFrames::connectRequest(options), S7::CotpConnectionConfirm, &reply);
}

int CmdQuillmarsh::setupCommunication()
{
    QByteArray reply;
    const int result = handshakeStep(S7ConnectFrames::setupCommunication(options), S7::CotpData, &reply);
    // Only jobs of the extension are sized by the grant; the step itself
    // still passes on the COTP code alone.
    if (result == S7Frame::HandshakeOk && !S7ConnectFrames::readSetupReply(reply, &granted))
        granted = {S7::MinimumPduLength, 1, 1};
    return result;
}

quint16 CmdQuillmarsh::nextPduReference()
{
    // Two draws of the unseeded C generator, the first one the high byte.
    // Jobs draw it first thing, also when they then refuse to send, so the
    // sequence of references depends only on the number of jobs asked for.
    const int high = std::rand() & 0xFF;
    const int low = std::rand() & 0xFF;
    return quint16((high << 8) | low);
}

void CmdQuillmarsh::logFrame(const char *label, const QString &addressText, int byteCount,
                             const QByteArray &frame) const
{
    // Filled one arg() at a time, so a "%1" inside the address text is
    // filled by the next step, as the log has always shown it.
    const QString line = (QStringLiteral("lib[Quillmarsh]") + QString::fromUtf8(label)
                          + QStringLiteral(" %1:%2 Area=%3  len = %4 msg : %5"))
                             .arg(hostAddress.toString())
                             .arg(port)
                             .arg(addressText)
                             .arg(byteCount)
                             .arg(QString::fromLatin1(frame.toHex()));
    // File, line and function left out; the category is "default".
    QMessageLogger(nullptr, 0, nullptr).debug() << line;
}

int CmdQuillmarsh::runJob(const QByteArray &request, QByteArray &reply, const char *requestLabel,
                          const QString &addressText, int byteCount)
{
    if (!isConnected())
        return JobNotConnected;
    if (debugOn)
        logFrame(requestLabel, addressText, byteCount, request);
    sentReference = S7Frame::pduReferenceOf(request);
    exchange(request, reply);
    if (debugOn)
        logFrame("响应", addressText, byteCount, reply);
    return JobOk;
}

int CmdQuillmarsh::readArea(int byteAddress, int byteCount, QByteArray *out, int dbNumber, int area,
                            QString addressText)
{
    const QByteArray request =
        S7Frame::readRequest(nextPduReference(), byteAddress, byteCount, dbNumber, area);
    QByteArray reply;
    const int sent = runJob(request, reply, "读命令", addressText, byteCount);
    if (sent != JobOk)
        return noteJob(sent, reply);
    return noteJob(S7Frame::judgeReadReply(reply, byteCount, out), reply);
}

int CmdQuillmarsh::writeArea(int dbNumber, int byteAddress, int byteCount, QByteArray payload, int area,
                             QString addressText)
{
    const QByteArray request =
        S7Frame::writeRequest(nextPduReference(), dbNumber, byteAddress, byteCount, payload, area);
    // Bytes from beyond the payload, or more than the frame's own length
    // fields can describe: a request that cannot be made.
    if (request.isEmpty())
        return unsentResult();
    QByteArray reply;
    const int sent = runJob(request, reply, "写命令", addressText, byteCount);
    if (sent != JobOk)
        return noteJob(sent, reply);
    return noteJob(S7Frame::judgeWriteReply(reply), reply);
}

int CmdQuillmarsh::writeBits(int dbNumber, int byteAddress, int bit, QByteArray bits, int area,
                             QString addressText)
{
    const quint16 reference = nextPduReference();
    if (bit < 0 || bit > 7 || byteAddress < 0 || bits.isEmpty() || bits.size() > S7Frame::maxBitsPerJob())
        return unsentResult();
    const QByteArray request =
        S7Frame::writeBitsRequest(reference, dbNumber, int(quint32(byteAddress) * 8 + quint32(bit)), bits, area);
    QByteArray reply;
    const int byteCount = (bits.size() + 7) / 8; // as for a whole-byte Bool write
    const int sent = runJob(request, reply, "写命令", addressText, byteCount);
    if (sent != JobOk)
        return noteJob(sent, reply);
    return noteJob(S7Frame::judgeWriteReply(reply, bits.size()), reply);
}

int CmdQuillmarsh::statusOfJob(int result)
{
    switch (result) {
    case JobOk: return StatusOk;
    case JobBadReply: return StatusBadReply;
    case JobNoReply: return StatusNoReply;
    default: return StatusNotConnected;
    }
}

int CmdQuillmarsh::noteJob(int result, const QByteArray &reply)
{
    lastResult = result;
    lastReply = reply;
    return result;
}

void CmdQuillmarsh::sendFrame(const QByteArray &frame)
{
    if (!socket)
        return;
    socket->write(frame.constData(), frame.size());
    socket->flush();
    socket->waitForBytesWritten(WriteTimeoutMs);
}

bool CmdQuillmarsh::waitForBytes(int ms)
{
    return socket && socket->waitForReadyRead(ms);
}

QByteArray CmdQuillmarsh::takeReceived()
{
    QByteArray taken;
    taken.swap(recvBuffer);
    return taken;
}

void CmdQuillmarsh::dropReceived()
{
    recvBuffer.clear();
    if (socket)
        socket->readAll();
}

void CmdQuillmarsh::myconnected() {}

void CmdQuillmarsh::mydisconnected()
{
    const int error = socket ? int(socket->error()) : int(QAbstractSocket::UnknownSocketError);
    QMessageLogger(nullptr, 0, nullptr).warning() << QStringLiteral("lib[Quillmarsh]%1:%2 Disconnected=%3")
                                      .arg(hostAddress.toString())
                                      .arg(port)
                                      .arg(error);
}

void CmdQuillmarsh::myreadyRead()
{
    // The buffer holds what this notification brought and nothing older: a
    // reply is what arrived with the first readyRead, never two segments.
    if (!socket || socket->bytesAvailable() <= 0)
        return;
    // While jobs are kept in flight, each notification adds to what is not
    // taken yet.
    if (streaming) {
        recvBuffer.append(socket->readAll());
        return;
    }
    const qint64 available = socket->bytesAvailable();
    recvBuffer.resize(int(qMin<qint64>(available, std::numeric_limits<int>::max())));
    const qint64 got = socket->read(recvBuffer.data(), recvBuffer.size());
    recvBuffer.resize(int(qMax<qint64>(got, 0)));
}
