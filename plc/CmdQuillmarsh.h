#ifndef QUILLMARSH_CMDQUILLMARSH_H
#define QUILLMARSH_CMDQUILLMARSH_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include "CDriveExtension.h"
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

    // The record status of a job result: 0, 7, 8, 9 for JobOk, JobBadReply,
    // JobNoReply, JobNotConnected.
    static int statusOfJob(int result);

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
    bool isConnected() const;
    void setDebug(bool on) { debugOn = on; }
    bool debugging() const { return debugOn; }
    void logFrame(const char *label, const QString &addressText, int byteCount, const QByteArray &frame) const;

    // The handshake a host asked for through the extension (the defaults
    // send what a plain connect sends), and what the PLC granted at the last
    // setup: all 0 before one, the smallest PDU and one job when the setup
    // reply did not say.
    void setConnectionOptions(const CDriveExtension::ConnectionOptions &asked) { options = asked; }
    CDriveExtension::ConnectionOptions connectionOptions() const { return options; }
    CDriveExtension::Negotiated negotiated() const { return granted; }
    // The handshake step the last connectPlc failed at, a CDriveExtension::ConnectStep.
    int lastConnectFailure() const { return failedStep; }

    // The last job readArea, writeArea or writeBits sent: its result and the
    // reply it got.
    int lastJobResult() const { return lastResult; }
    QByteArray lastJobReply() const { return lastReply; }
    // Its PDU reference, -1 before the first: a reply that comes too late
    // for it carries this one.
    int lastJobReference() const { return sentReference; }

    // For jobs kept in flight together: the frames go out one by one and the
    // replies are taken as a stream. While streaming, every readyRead
    // appends to the receive buffer instead of replacing it, so that no
    // bytes are lost between two takes.
    void setStreaming(bool on) { streaming = on; }
    // Writes the whole frame and waits for it to leave, as exchange does.
    void sendFrame(const QByteArray &frame);
    // Waits up to ms for more bytes; false when none came.
    bool waitForBytes(int ms);
    QByteArray takeReceived();
    // Drops what was received and not taken.
    void dropReceived();

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

    CDriveExtension::ConnectionOptions options;
    CDriveExtension::Negotiated granted;
    int failedStep = CDriveExtension::ConnectStepNone;
    int lastResult = JobOk;
    QByteArray lastReply;
    int sentReference = -1;
    bool streaming = false;

    // The result of a job that cannot be sent as asked.
    int unsentResult() const;
    int handshakeStep(const QByteArray &request, quint8 expectedTpduCode, QByteArray *reply);
    int runJob(const QByteArray &request, QByteArray &reply, const char *requestLabel,
               const QString &addressText, int byteCount);
    int noteJob(int result, const QByteArray &reply);
    static quint16 nextPduReference();
};

#endif
