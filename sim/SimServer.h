#ifndef QUILLMARSH_SIMSERVER_H
#define QUILLMARSH_SIMSERVER_H

#include <QHostAddress>
#include <QList>
#include <QObject>

class QTcpServer;
class SimConnection;
class SimState;

// The listening side; lives on the simulator's own thread together with all
// its connections.
class SimServer : public QObject
{
    Q_OBJECT
public:
    explicit SimServer(SimState *sharedState, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QHostAddress address() const;
    quint16 port() const;
    QString errorString() const;
    // Stops listening and drops every open connection at once.
    void shutdown();

private:
    void onNewConnection();
    void onConnectionFinished(SimConnection *connection);

    SimState *state;
    QTcpServer *tcpServer;
    QList<SimConnection *> connections;
};

#endif
