#include "SimServer.h"

#include "SimConnection.h"
#include "SimState.h"

#include <QTcpServer>
#include <QTcpSocket>

SimServer::SimServer(SimState *state, QObject *parent)
    : QObject(parent), m_state(state), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimServer::onNewConnection);
}

bool SimServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 SimServer::port() const
{
    return m_server->serverPort();
}

QString SimServer::errorString() const
{
    return m_server->errorString();
}

void SimServer::shutdown()
{
    m_server->close();
    // abort() reports back through onConnectionFinished, which edits the list.
    const QList<SimConnection *> open = m_connections;
    for (SimConnection *connection : open)
        connection->abort();
}

void SimServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new SimConnection(socket, m_state, this);
        connect(connection, &SimConnection::finished, this, &SimServer::onConnectionFinished);
        m_connections.append(connection);
        m_state->connectionOpened();
    }
}

void SimServer::onConnectionFinished(SimConnection *connection)
{
    m_connections.removeOne(connection);
    m_state->connectionClosed();
    connection->deleteLater();
}
