#include "SimControlServer.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {
constexpr int MaxLineBytes = 256;
constexpr int MaxClients = 8;
constexpr qint64 MaxUnsentBytes = 64 * 1024; // answers a client has not taken yet
}

SimControlServer::SimControlServer(SimPlc *target, QObject *parent)
    : QObject(parent), control(target), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &SimControlServer::onNewConnection);
}

bool SimControlServer::listen(quint16 port)
{
    return server->listen(QHostAddress::LocalHost, port);
}

quint16 SimControlServer::port() const
{
    return server->serverPort();
}

QString SimControlServer::errorString() const
{
    return server->errorString();
}

void SimControlServer::onNewConnection()
{
    while (QTcpSocket *client = server->nextPendingConnection()) {
        if (skipping.size() >= MaxClients) {
            client->write("error: too many control clients\n");
            client->disconnectFromHost();
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            continue;
        }
        // One line plus its end is all a client may have buffered.
        client->setReadBufferSize(MaxLineBytes + 1);
        skipping.insert(client, false);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { onReadyRead(client); });
        connect(client, &QTcpSocket::bytesWritten, this, [this, client] { onReadyRead(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            skipping.remove(client);
            client->deleteLater();
        });
    }
}

void SimControlServer::onReadyRead(QTcpSocket *client)
{
    // A client that does not read its answers is not read either.
    while (client->bytesAvailable() > 0 && client->bytesToWrite() <= MaxUnsentBytes) {
        const bool whole = client->canReadLine();
        if (!whole && client->bytesAvailable() <= MaxLineBytes && !skipping.value(client))
            return; // the rest of the line is on its way
        const QByteArray line = whole ? client->readLine(MaxLineBytes + 2) : client->read(client->bytesAvailable());
        const bool ended = line.endsWith('\n');
        if (skipping.value(client)) {
            skipping[client] = !ended; // dropping the rest of a line too long
            continue;
        }
        if (!ended) {
            client->write("error: line longer than 256 bytes\n");
            skipping[client] = true;
            continue;
        }
        const QString answer = control.execute(QString::fromUtf8(line).trimmed());
        client->write(answer.toUtf8() + '\n');
    }
}
