#include "SimPlc.h"

#include "SimCpuProfile.h"
#include "SimServer.h"
#include "SimState.h"

#include <QEventLoop>

SimPlc::SimPlc(QObject *parent)
    : QObject(parent), state(new SimState)
{
    state->setRefusalHandler([this](const QString &line) { emit connectionRefused(line); });
}

SimPlc::~SimPlc()
{
    stop();
}

bool SimPlc::start(quint16 port, const QHostAddress &address)
{
    stop();
    state->resetCounters();
    std::promise<bool> listening;
    std::future<bool> listened = listening.get_future();
    serverThread = std::thread(&SimPlc::serve, this, address, port, std::move(listening));
    if (listened.get())
        return true;
    serverThread.join();
    return false;
}

// The server thread is a std::thread, not a QThread, so that stop() joins it
// to the end: QThread::wait() returns before Qt releases the thread's own
// data, and a process that exits right after sometimes still holds it.
void SimPlc::serve(QHostAddress address, quint16 port, std::promise<bool> listening)
{
    QEventLoop loop;
    SimServer listener(state.get());
    const bool ok = listener.listen(address, port);
    listenPort = ok ? listener.port() : 0;
    listenError = ok ? QString() : listener.errorString();
    if (ok) {
        serverLoop = &loop;
        server = &listener;
    }
    listening.set_value(ok);
    if (ok)
        loop.exec();
}   // the server and its connections end here, on their own thread

void SimPlc::stop()
{
    if (!serverThread.joinable())
        return;
    QMetaObject::invokeMethod(server, [this] {
        server->shutdown();
        serverLoop->quit();
    }, Qt::BlockingQueuedConnection);
    serverThread.join();
    serverLoop = nullptr;
    server = nullptr;
    listenPort = 0;
    listenError.clear();
}

quint16 SimPlc::port() const { return listenPort; }
bool SimPlc::isRunning() const { return server != nullptr; }
QString SimPlc::errorString() const { return listenError; }

bool SimPlc::setCpu(const QString &profile)
{
    const SimCpuProfile *found = SimCpuProfile::find(profile);
    if (found)
        state->setCpu(*found);
    return found != nullptr;
}
QString SimPlc::cpu() const { return QLatin1String(state->cpu().name); }
void SimPlc::setRackSlot(int rack, int slot) { state->setRackSlot(rack, slot); }
void SimPlc::setTsaps(quint16 calling, quint16 called) { state->setTsaps(calling, called); }
bool SimPlc::setPutGet(bool on) { return state->setPutGet(on); }
bool SimPlc::putGet() const { return state->putGet(); }
bool SimPlc::setProtection(int level, const QString &password) { return state->setProtection(level, password); }
int SimPlc::protectionLevel() const { return state->protectionLevel(); }
void SimPlc::setClockOffset(qint64 ms) { state->setClockOffsetMs(ms); }
qint64 SimPlc::clockOffset() const { return state->clockOffsetMs(); }
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
void SimPlc::addDataBlock(int number, int bytes, BlockAccess access)
{
    const SimMemory::BlockAccess kinds[] = {SimMemory::BlockAccess::ReadWrite, SimMemory::BlockAccess::ReadOnly,
                                            SimMemory::BlockAccess::Optimized};
    state->addDataBlock(number, bytes, kinds[int(access)]);
}
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
