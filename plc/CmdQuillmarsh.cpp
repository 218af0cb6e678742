#include "CmdQuillmarsh.h"

#include <QDebug>
#include <QMessageLogger>
#include <QTcpSocket>

#include <cstdlib>
#include <limits>

#include "S7Frame.h"

CmdQuillmarsh::CmdQuillmarsh(QObject *parent) : QObject(parent) {}

CmdQuillmarsh::~CmdQuillmarsh()
{
    if (socket) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            disconnectPlc();
        releaseSocket();
    }
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
        return -1;

    socket->abort();
    socket->connectToHost(hostAddress, quint16(port), QIODevice::ReadWrite);
    socket->waitForConnected(ConnectTimeoutMs);
    const auto state = socket->state();
    if (state != QAbstractSocket::ConnectingState && state != QAbstractSocket::ConnectedState)
        return -3;

    if (connectRequest() != 0 || setupCommunication() != 0) {
        disconnectPlc();
        return -2;
    }
    return 0;
}

int CmdQuillmarsh::disconnectPlc()
{
    if (!socket)
        return 1;
    socket->close();
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->waitForDisconnected(DisconnectTimeoutMs);
    return 0;
}

int CmdQuillmarsh::releaseSocket()
{
    if (socket) {
        disconnect(socket, nullptr, this, nullptr);
        delete socket;
        socket = nullptr;
    }
    return 0;
}

int CmdQuillmarsh::exchange(QByteArray request, QByteArray &reply)
{
    if (socket) {
        socket->write(request.constData(), request.size());
        socket->flush();
        socket->waitForBytesWritten(WriteTimeoutMs);
        socket->waitForReadyRead(ReplyTimeoutMs);
    }
    if (recvBuffer.isEmpty())
        return -1;
    reply.append(recvBuffer);
    recvBuffer.clear();
    return 0;
}

bool CmdQuillmarsh::isConnected() const
{
    return socket && socket->state() == QAbstractSocket::ConnectedState;
}

int CmdQuillmarsh::refusal() const
{
    // A job that cannot be sent as asked: not acceptable, or not connected.
    return isConnected() ? S7Frame::JobBadReply : S7Frame::JobNotConnected;
}

int CmdQuillmarsh::handshakeStep(const QByteArray &request, quint8 expectedTpduCode)
{
    if (!isConnected())
        return -3;
    QByteArray reply;
    if (exchange(request, reply) != 0)
        return 1;
    return S7Frame::judgeHandshakeReply(reply, expectedTpduCode);
}

int CmdQuillmarsh::connectRequest()
{
    return handshakeStep(S7Frame::connectRequest(), S7::CotpConnectionConfirm);
}

int CmdQuillmarsh::setupCommunication()
{
    return handshakeStep(S7Frame::setupCommunication(), S7::CotpData);
}

quint16 CmdQuillmarsh::nextPduReference()
{
    // Two draws of the unseeded C generator, the first one the high byte.
    const int high = std::rand() & 0xFF;
    const int low = std::rand() & 0xFF;
    return quint16((high << 8) | low);
}

void CmdQuillmarsh::logFrame(const char *label, const QString &addressText, int byteCount,
                             const QByteArray &frame) const
{
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
        return S7Frame::JobNotConnected;
    if (debugOn)
        logFrame(requestLabel, addressText, byteCount, request);
    exchange(request, reply);
    if (debugOn)
        logFrame("响应", addressText, byteCount, reply);
    return S7Frame::JobOk;
}

int CmdQuillmarsh::readArea(int byteAddress, int byteCount, QByteArray *out, int dbNumber, int area,
                            QString addressText)
{
    const QByteArray request =
        S7Frame::readRequest(nextPduReference(), byteAddress, byteCount, dbNumber, area);
    QByteArray reply;
    const int sent = runJob(request, reply, "读命令", addressText, byteCount);
    if (sent != S7Frame::JobOk)
        return sent;
    return S7Frame::judgeReadReply(reply, byteCount, out);
}

int CmdQuillmarsh::writeArea(int dbNumber, int byteAddress, int byteCount, QByteArray payload, int area,
                             QString addressText)
{
    const quint16 reference = nextPduReference();
    // Never send bytes from beyond the payload: a payload shorter than the
    // byte count (or a negative count) is a request that cannot be made.
    if (byteCount < 0 || byteCount > payload.size())
        return refusal();
    const QByteArray request =
        S7Frame::writeRequest(reference, dbNumber, byteAddress, byteCount, payload, area);
    QByteArray reply;
    const int sent = runJob(request, reply, "写命令", addressText, byteCount);
    if (sent != S7Frame::JobOk)
        return sent;
    return S7Frame::judgeWriteReply(reply);
}

int CmdQuillmarsh::writeBits(int dbNumber, int byteAddress, int bit, QByteArray bits, int area,
                             QString addressText)
{
    const quint16 reference = nextPduReference();
    if (bit < 0 || bit > 7 || byteAddress < 0 || bits.isEmpty() || bits.size() > S7Frame::maxBitsPerJob())
        return refusal();
    const QByteArray request =
        S7Frame::writeBitsRequest(reference, dbNumber, int(quint32(byteAddress) * 8 + quint32(bit)), bits, area);
    QByteArray reply;
    const int byteCount = (bits.size() + 7) / 8; // as for a whole-byte Bool write
    const int sent = runJob(request, reply, "写命令", addressText, byteCount);
    if (sent != S7Frame::JobOk)
        return sent;
    return S7Frame::judgeWriteReply(reply, bits.size());
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
    // The buffer holds what the last notification brought, not an
    // accumulation: a reply is what arrived with the first readyRead.
    while (socket && socket->bytesAvailable() > 0) {
        const qint64 available = socket->bytesAvailable();
        recvBuffer.resize(int(qMin<qint64>(available, std::numeric_limits<int>::max())));
        const qint64 got = socket->read(recvBuffer.data(), recvBuffer.size());
        recvBuffer.resize(int(qMax<qint64>(got, 0)));
    }
}
