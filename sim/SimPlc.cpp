#include "SimPlc.h"

#include "SimServer.h"
#include "SimState.h"

#include <QThread>

SimPlc::SimPlc(QObject *parent)
    : QObject(parent), m_state(new SimState)
{
}

SimPlc::~SimPlc()
{
    stop();
}

bool SimPlc::start(quint16 port, const QHostAddress &address)
{
    stop();
    m_state->resetCounters();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("SimPlc"));
    m_server = new SimServer(m_state.get());
    m_server->moveToThread(m_thread);
    // The server and its connections are destroyed on their own thread as it ends.
    connect(m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    m_thread->start();

    bool listening = false;
    SimServer *server = m_server;
    QMetaObject::invokeMethod(server, [&] {
        listening = server->listen(address, port);
        m_port = server->port();
        m_error = server->errorString();
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        const QString error = m_error;
        stop();
        m_error = error;
    }
    return listening;
}

void SimPlc::stop()
{
    if (!m_thread)
        return;
    SimServer *server = m_server;
    QMetaObject::invokeMethod(server, [server] { server->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_server = nullptr;
    m_port = 0;
    m_error.clear();
}

quint16 SimPlc::port() const { return m_port; }
bool SimPlc::isRunning() const { return m_thread != nullptr; }
QString SimPlc::errorString() const { return m_error; }

void SimPlc::setPduSize(int bytes) { m_state->setPduSize(bytes); }
void SimPlc::setFault(Fault fault, int param) { m_state->setFault(fault, param); }
void SimPlc::setAreaSize(Area area, int bytes)
{
    // Data blocks are sized one by one through addDataBlock.
    if (area != AreaDataBlocks)
        m_state->resize(area, 0, bytes);
}
void SimPlc::addDataBlock(int number, int bytes) { m_state->addDataBlock(number, bytes); }
void SimPlc::removeDataBlock(int number) { m_state->removeDataBlock(number); }

QByteArray SimPlc::memory(Area area, int dbNumber, int offset, int length) const
{
    return m_state->memory(area, dbNumber, offset, length);
}

bool SimPlc::setMemory(Area area, int dbNumber, int offset, const QByteArray &bytes)
{
    return m_state->setMemory(area, dbNumber, offset, bytes);
}

QList<QByteArray> SimPlc::receivedFrames() const { return m_state->receivedFrames(); }
void SimPlc::clearReceivedFrames() { m_state->clearReceivedFrames(); }
int SimPlc::connectionCount() const { return m_state->connectionCount(); }
int SimPlc::acceptedCount() const { return m_state->acceptedCount(); }
