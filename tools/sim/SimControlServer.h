#ifndef QUILLMARSH_SIMCONTROLSERVER_H
#define QUILLMARSH_SIMCONTROLSERVER_H

#include "SimControl.h"

#include <QHash>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// The control port: loopback only, a few clients at a time, one command a
// line (at most 256 bytes; a longer one is answered with an error and
// skipped), one answer line each.
class SimControlServer : public QObject
{
    Q_OBJECT
public:
    SimControlServer(SimPlc *target, QObject *parent = nullptr);

    bool listen(quint16 port);
    quint16 port() const;
    QString errorString() const;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *client);

    SimControl control;
    QTcpServer *server;
    QHash<QTcpSocket *, bool> skipping; // per client: inside a line too long
};

#endif
