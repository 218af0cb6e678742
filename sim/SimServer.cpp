#include "SimServer.h"

#include "SimConnection.h"
#include "SimState.h"

#include <QTcpServer>
#include <QTcpSocket>

SimServer::SimServer(SimState *sharedState, QObject *parent)
    : QObject(parent), state(sharedState), tcpServer(new QTcpServer(this))
{
    connect(tcpServer, &QTcpServer::newConnection, this, &SimServer::onNewConnection);
}

bool SimServer::listen(const QHostAddress &address, quint16 port)
{
    return tcpServer->listen(address, port);
}

QHostAddress SimServer::address() const
{
    return tcpServer->serverAddress();
}

quint16 SimServer::port() const
{
    return tcpServer->serverPort();
}

QString SimServer::errorString() const
{
    return tcpServer->errorString();
}

void SimServer::shutdown()
{
    tcpServer->close();
    // abort() reports back through onConnectionFinished, which edits the list.
    const QList<SimConnection *> open = connections;
    for (SimConnection *connection : open)
        connection->abort();
}

void SimServer::onNewConnection()
{
    while (QTcpSocket *socket = tcpServer->nextPendingConnection()) {
        auto *connection = new SimConnection(socket, state, this);
        connect(connection, &SimConnection::finished, this, &SimServer::onConnectionFinished);
        connections.append(connection);
    }
}

void SimServer::onConnectionFinished(SimConnection *connection)
{
    connections.removeOne(connection);
    connection->deleteLater();
}
