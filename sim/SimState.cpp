#include "SimState.h"

#include <QDateTime>
#include <QMutexLocker>

namespace {
constexpr int DefaultPduSize = 240;
constexpr int DefaultAreaSize = 1024;
constexpr int DefaultBlocks[] = {1, 2, 10};
constexpr int DefaultLateReplyMs = 2500;
constexpr int DefaultHugeReplyBytes = 4 * 1024 * 1024;
constexpr int DefaultByteByBytePauseMs = 50;
}

SimState::SimState()
    : statusList(QDateTime::currentDateTime()), pduSize(DefaultPduSize)
{
    for (int area : {SimMemory::AreaInputs, SimMemory::AreaOutputs, SimMemory::AreaMarkers})
        cpuMemory.resize(area, 0, DefaultAreaSize);
    for (int number : DefaultBlocks)
        cpuMemory.createBlock(number, DefaultAreaSize);
}

int SimState::defaultParam(SimPlc::Fault fault)
{
    switch (fault) {
    case SimPlc::Fault::LateReply: return DefaultLateReplyMs;
    case SimPlc::Fault::HugeReply: return DefaultHugeReplyBytes;
    case SimPlc::Fault::ByteByByte: return DefaultByteByBytePauseMs;
    case SimPlc::Fault::CloseAfterFrames: return 1;
    default: return 0;
    }
}

void SimState::setPduSize(int bytes)
{
    QMutexLocker lock(&mutex);
    pduSize = bytes;
}

void SimState::setFault(SimPlc::Fault fault, int param)
{
    QMutexLocker lock(&mutex);
    faultSetting.fault = fault;
    faultSetting.param = param > 0 ? param : defaultParam(fault);
    ++faultSetting.generation;
}

SimState::FaultSetting SimState::fault() const
{
    QMutexLocker lock(&mutex);
    return faultSetting;
}

void SimState::resize(int area, int dbNumber, int bytes)
{
    QMutexLocker lock(&mutex);
    cpuMemory.resize(area, dbNumber, bytes);
}

void SimState::addDataBlock(int number, int bytes)
{
    QMutexLocker lock(&mutex);
    cpuMemory.createBlock(number, bytes);
}

void SimState::removeDataBlock(int number)
{
    QMutexLocker lock(&mutex);
    cpuMemory.removeBlock(number);
}

void SimState::removeDataBlocks()
{
    QMutexLocker lock(&mutex);
    cpuMemory.removeBlocks();
}

QByteArray SimState::memory(int area, int dbNumber, int offset, int length) const
{
    QMutexLocker lock(&mutex);
    const int size = cpuMemory.size(area, dbNumber);
    if (length < 0)
        length = size - offset;
    QByteArray bytes;
    cpuMemory.read(area, dbNumber, offset, length, &bytes);
    return bytes;
}

bool SimState::setMemory(int area, int dbNumber, int offset, const QByteArray &bytes)
{
    QMutexLocker lock(&mutex);
    return cpuMemory.write(area, dbNumber, offset, bytes) == SimMemory::Access::Ok;
}

void SimState::recordFrame(const QByteArray &frame)
{
    QMutexLocker lock(&mutex);
    // Keep the most recent frames only, so that a long run stays bounded.
    constexpr int MaxKeptFrames = 10000;
    if (frames.size() >= MaxKeptFrames)
        frames.removeFirst();
    frames.append(frame);
}

QList<QByteArray> SimState::receivedFrames() const
{
    QMutexLocker lock(&mutex);
    return frames;
}

void SimState::clearReceivedFrames()
{
    QMutexLocker lock(&mutex);
    frames.clear();
}

SimProtocol::Outcome SimState::answer(SimProtocol &protocol, const QByteArray &frame)
{
    QMutexLocker lock(&mutex);
    return protocol.answer(frame, cpuMemory, statusList, pduSize);
}

void SimState::connectionOpened()
{
    QMutexLocker lock(&mutex);
    ++openConnections;
    ++acceptedConnections;
}

void SimState::connectionClosed()
{
    QMutexLocker lock(&mutex);
    --openConnections;
}

void SimState::resetCounters()
{
    QMutexLocker lock(&mutex);
    openConnections = 0;
    acceptedConnections = 0;
}

int SimState::connectionCount() const
{
    QMutexLocker lock(&mutex);
    return openConnections;
}

int SimState::acceptedCount() const
{
    QMutexLocker lock(&mutex);
    return acceptedConnections;
}
