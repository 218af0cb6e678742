#ifndef QUILLMARSH_CMDQUILLMARSH_H
#define QUILLMARSH_CMDQUILLMARSH_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include "ResultCodes.h"

class QTcpSocket;

// The connection to one PLC: the TCP socket, the ISO-on-TCP / S7 handshake
// and the read and write jobs. Every call blocks the calling thread on the
// socket with fixed time-outs; the socket's signals reach the slots on the
// same thread while it waits.
class CmdQuillmarsh : public QObject
{
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int WriteTimeoutMs = 30000;
    static constexpr int ReplyTimeoutMs = 2000;
    static constexpr int DisconnectTimeoutMs = 30000;

    enum ExchangeResult : int { ExchangeOk = 0, ExchangeNoReply = -1 };

    explicit CmdQuillmarsh(QObject *parent = nullptr);
    ~CmdQuillmarsh() override;

    // ConnectOk, or ConnectBadText (not an IP address), ConnectHandshakeFailed
    // (connection closed again) or ConnectTimeout (no TCP connection under way).
    int connectPlc(QString ip, int port);
    // ReleaseNoSocket without a socket, else ReleaseDone after closing.
    int disconnectPlc();
    int releaseSocket();
    // Sends request and appends the bytes of the first readyRead to reply:
    // ExchangeOk, or ExchangeNoReply when nothing was received.
    int exchange(QByteArray request, QByteArray &reply);

    // Handshake steps: an S7Frame::HandshakeResult.
    int connectRequest();
    int setupCommunication();

    // Jobs answer an EJobResult.
    int readArea(int byteAddress, int byteCount, QByteArray *out, int dbNumber, int area,
                 QString addressText);
    // A byte count past what one write frame can describe, or beyond the
    // payload, is refused before anything is sent.
    int writeArea(int dbNumber, int byteAddress, int byteCount, QByteArray payload, int area,
                  QString addressText);
    // Writes consecutive single bits from byteAddress.bit on, one BIT item
    // each (bits holds one 0/1 byte per bit), leaving every other bit alone.
    // A bit outside 0..7 or more bits than one job carries: refused, nothing sent.
    int writeBits(int dbNumber, int byteAddress, int bit, QByteArray bits, int area,
                  QString addressText);

    bool hasSocket() const { return socket != nullptr; }
    // True while a socket exists and is not in the unconnected state.
    bool socketInUse() const;
    void setDebug(bool on) { debugOn = on; }

public slots:
    void myconnected();
    void mydisconnected();
    void myreadyRead();

private:
    QByteArray recvBuffer;
    QHostAddress hostAddress;
    QTcpSocket *socket = nullptr;
    int port = 0;
    bool debugOn = false;

    bool isConnected() const;
    // The result of a job that cannot be sent as asked.
    int unsentResult() const;
    int handshakeStep(const QByteArray &request, quint8 expectedTpduCode);
    int runJob(const QByteArray &request, QByteArray &reply, const char *requestLabel,
               const QString &addressText, int byteCount);
    void logFrame(const char *label, const QString &addressText, int byteCount,
                  const QByteArray &frame) const;
    static quint16 nextPduReference();
};

#endif
