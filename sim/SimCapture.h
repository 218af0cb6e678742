#ifndef QUILLMARSH_SIMCAPTURE_H
#define QUILLMARSH_SIMCAPTURE_H

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QMutex>

// Records every byte of every connection into a pcapng file, as TCP over
// IPv4 over Ethernet between the connection's real addresses and ports:
// three-way handshake when a connection opens, a segment per frame received
// and per write sent, sequence and acknowledgement numbers that add up, FINs
// at the end (or the CPU's RST). Past its limit it stops writing, with one
// warning. IPv6 connections are written with IPv4 addresses 0.0.0.0.
// Thread-safe.
class SimCapture
{
public:
    ~SimCapture();

    // Starts a new file at path (replacing one there); false with *error set
    // when it cannot be written.
    bool start(const QString &path, qint64 limitBytes, QString *error);
    void stop();
    bool active() const;

    void opened(quint64 connection, const QHostAddress &client, quint16 clientPort,
                const QHostAddress &server, quint16 serverPort);
    void received(quint64 connection, const QByteArray &bytes);
    void sent(quint64 connection, const QByteArray &bytes);
    void closed(quint64 connection, bool byClient);
    // The CPU reset the connection: one RST from its side ends the flow.
    void reset(quint64 connection);

private:
    struct Flow
    {
        quint32 clientAddress = 0;
        quint32 serverAddress = 0;
        quint16 clientPort = 0;
        quint16 serverPort = 0;
        quint32 clientNext = 0; // sequence number of the client's next byte
        quint32 serverNext = 0;
        quint16 ipIdentification = 0;
    };

    void segment(Flow &flow, bool fromClient, quint8 flags, const QByteArray &payload = QByteArray());
    void data(quint64 connection, bool fromClient, const QByteArray &bytes);
    void write(const QByteArray &block);

    mutable QMutex mutex;
    QFile file;
    qint64 limit = 0;
    qint64 written = 0;
    bool full = false;
    QHash<quint64, Flow> flows;
};

#endif
