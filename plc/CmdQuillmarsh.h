#ifndef QUILLMARSH_CMDQUILLMARSH_H
#define QUILLMARSH_CMDQUILLMARSH_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

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

    explicit CmdQuillmarsh(QObject *parent = nullptr);
    ~CmdQuillmarsh() override;

    // 0 connected and handshake done; -1 not an IP address; -2 handshake
    // failed (connection closed); -3 TCP connection not under way.
    int connectPlc(QString ip, int port);
    // 1 without a socket, else 0 after closing.
    int disconnectPlc();
    int releaseSocket();
    // Sends request and appends the bytes of the first readyRead to reply:
    // 0, or -1 when nothing was received.
    int exchange(QByteArray request, QByteArray &reply);

    // Handshake steps: 0 answered as expected, 1 not, -3 not connected.
    int connectRequest();
    int setupCommunication();

    // Jobs: 0 ok, -1 answer not acceptable, -2 no answer, -3 not connected.
    int readArea(int byteAddress, int byteCount, QByteArray *out, int dbNumber, int area,
                 QString addressText);
    int writeArea(int dbNumber, int byteAddress, int byteCount, QByteArray payload, int area,
                  QString addressText);
    // Writes consecutive single bits from byteAddress.bit on, one BIT item
    // each (bits holds one 0/1 byte per bit), leaving every other bit alone.
    // A bit outside 0..7 or more bits than one job carries: -1, nothing sent.
    int writeBits(int dbNumber, int byteAddress, int bit, QByteArray bits, int area,
                  QString addressText);

    QByteArray recvBuffer;
    QHostAddress hostAddress;
    QTcpSocket *socket = nullptr;
    int port = 0;
    bool debugOn = false;

public slots:
    void myconnected();
    void mydisconnected();
    void myreadyRead();

private:
    bool isConnected() const;
    int refusal() const;
    int handshakeStep(const QByteArray &request, quint8 expectedTpduCode);
    int runJob(const QByteArray &request, QByteArray &reply, const char *requestLabel,
               const QString &addressText, int byteCount);
    void logFrame(const char *label, const QString &addressText, int byteCount,
                  const QByteArray &frame) const;
    static quint16 nextPduReference();
};

#endif
