#include "SimPlc.h"

#include "SimCpuProfile.h"
#include "SimServer.h"
#include "SimState.h"

#include <QThread>

SimPlc::SimPlc(QObject *parent)
    : QObject(parent), state(new SimState)
{
}

SimPlc::~SimPlc()
{
    stop();
}

bool SimPlc::start(quint16 port, const QHostAddress &address)
{
    stop();
    state->resetCounters();
    serverThread = new QThread;
    serverThread->setObjectName(QStringLiteral("SimPlc"));
    server = new SimServer(state.get());
    server->moveToThread(serverThread);
    // The server and its connections are destroyed on their own thread as it ends.
    connect(serverThread, &QThread::finished, server, &QObject::deleteLater);
    serverThread->start();

    bool listening = false;
    QMetaObject::invokeMethod(server, [&] {
        listening = server->listen(address, port);
        listenPort = server->port();
        listenError = server->errorString();
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        const QString error = listenError;
        stop();
        listenError = error;
    }
    return listening;
}

void SimPlc::stop()
{
    if (!serverThread)
        return;
    QMetaObject::invokeMethod(server, [this] { server->shutdown(); }, Qt::BlockingQueuedConnection);
    serverThread->quit();
    serverThread->wait();
    delete serverThread;
    serverThread = nullptr;
    server = nullptr;
    listenPort = 0;
    listenError.clear();
}

quint16 SimPlc::port() const { return listenPort; }
bool SimPlc::isRunning() const { return serverThread != nullptr; }
QString SimPlc::errorString() const { return listenError; }

bool SimPlc::setCpu(const QString &profile)
{
    const SimCpuProfile *found = SimCpuProfile::find(profile);
    if (found)
        state->setCpu(*found);
    return found != nullptr;
}
QString SimPlc::cpu() const { return QLatin1String(state->cpu().name); }
void SimPlc::setPduSize(int bytes) { state->setPduSize(bytes); }
void SimPlc::setCpuRunning(bool run) { state->setRunning(run); }
bool SimPlc::cpuRunning() const { return state->running(); }
void SimPlc::setFault(Fault fault, int param) { state->setFault(fault, param); }
void SimPlc::setAreaSize(Area area, int bytes)
{
    // Data blocks are sized one by one through addDataBlock.
    if (area != AreaDataBlocks)
        state->resize(area, 0, bytes);
}
void SimPlc::addDataBlock(int number, int bytes) { state->addDataBlock(number, bytes); }
void SimPlc::removeDataBlock(int number) { state->removeDataBlock(number); }
void SimPlc::removeDataBlocks() { state->removeDataBlocks(); }

QByteArray SimPlc::memory(Area area, int dbNumber, int offset, int length) const
{
    return state->memory(area, dbNumber, offset, length);
}

bool SimPlc::setMemory(Area area, int dbNumber, int offset, const QByteArray &bytes)
{
    return state->setMemory(area, dbNumber, offset, bytes);
}

bool SimPlc::setBit(Area area, int dbNumber, int byteAddress, int bit, bool value)
{
    return state->setBit(area, dbNumber, byteAddress, bit, value);
}

void SimPlc::setFrameLog(bool on) { state->setFrameLog(on); }
QList<QByteArray> SimPlc::receivedFrames() const { return state->receivedFrames(); }
void SimPlc::clearReceivedFrames() { state->clearReceivedFrames(); }
int SimPlc::connectionCount() const { return state->connectionCount(); }
int SimPlc::acceptedCount() const { return state->acceptedCount(); }
QStringList SimPlc::clients() const { return state->clients(); }

bool SimPlc::startCapture(const QString &path, qint64 maxBytes, QString *error)
{
    return state->capture().start(path, maxBytes, error);
}
void SimPlc::stopCapture() { state->capture().stop(); }
