#ifndef QUILLMARSH_SNAP7PEER_H
#define QUILLMARSH_SNAP7PEER_H

#include <QByteArray>
#include <QProcess>
#include <QString>

// snap7's S7 server, run by Node.js in a child process (snap7-server.js), and
// the line protocol on its stdin/stdout that lets a test look into and change
// the server's memory without going through the driver.
//
// Areas are named as the script names them: "PE" inputs, "PA" outputs,
// "MK" markers, "DB" data blocks (1 and 10; block 5 does not exist).
class Snap7Peer
{
public:
    Snap7Peer();
    ~Snap7Peer();

    // Starts the server and waits for it to listen. On failure returns false
    // and lastError() says why (Node.js or node-snap7 missing, no port...).
    bool start();
    void stop();

    quint16 port() const { return listenPort; }
    QString lastError() const { return error; }

    // The server's own memory; an empty array (and lastError()) on failure.
    QByteArray dump(const QString &area, int db, int start, int length);
    bool set(const QString &area, int db, int start, const QByteArray &bytes);
    // Puts every area back to its seed pattern.
    bool reseed();

    // The seed pattern: byte i of an area starts as (i * 7 + tag) & 0xFF,
    // where the tag is 0x81 for PE, 0x82 PA, 0x83 MK and 0x84 + n for DB n.
    static QByteArray seeded(const QString &area, int db, int start, int length);

private:
    QString command(const QString &line);
    QString readLine(int timeoutMs);
    QString failWith(const QString &text);

    QProcess process;
    QByteArray pending;
    quint16 listenPort = 0;
    QString error;
};

#endif
