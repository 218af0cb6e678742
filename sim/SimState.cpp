#include "SimState.h"

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
    : m_pduSize(DefaultPduSize)
{
    for (int area : {SimMemory::AreaInputs, SimMemory::AreaOutputs, SimMemory::AreaMarkers})
        m_memory.resize(area, 0, DefaultAreaSize);
    for (int number : DefaultBlocks)
        m_memory.createBlock(number, DefaultAreaSize);
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
    QMutexLocker lock(&m_mutex);
    m_pduSize = bytes;
}

void SimState::setFault(SimPlc::Fault fault, int param)
{
    QMutexLocker lock(&m_mutex);
    m_fault.fault = fault;
    m_fault.param = param > 0 ? param : defaultParam(fault);
    ++m_fault.generation;
}

SimState::FaultSetting SimState::fault() const
{
    QMutexLocker lock(&m_mutex);
    return m_fault;
}

void SimState::resize(int area, int dbNumber, int bytes)
{
    QMutexLocker lock(&m_mutex);
    m_memory.resize(area, dbNumber, bytes);
}

void SimState::addDataBlock(int number, int bytes)
{
    QMutexLocker lock(&m_mutex);
    m_memory.createBlock(number, bytes);
}

void SimState::removeDataBlock(int number)
{
    QMutexLocker lock(&m_mutex);
    m_memory.removeBlock(number);
}

QByteArray SimState::memory(int area, int dbNumber, int offset, int length) const
{
    QMutexLocker lock(&m_mutex);
    const int size = m_memory.size(area, dbNumber);
    if (length < 0)
        length = size - offset;
    QByteArray bytes;
    m_memory.read(area, dbNumber, offset, length, &bytes);
    return bytes;
}

bool SimState::setMemory(int area, int dbNumber, int offset, const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    return m_memory.write(area, dbNumber, offset, bytes) == SimMemory::Access::Ok;
}

void SimState::recordFrame(const QByteArray &frame)
{
    QMutexLocker lock(&m_mutex);
    // Keep the most recent frames only, so that a long run stays bounded.
    constexpr int MaxKeptFrames = 10000;
    if (m_frames.size() >= MaxKeptFrames)
        m_frames.removeFirst();
    m_frames.append(frame);
}

QList<QByteArray> SimState::receivedFrames() const
{
    QMutexLocker lock(&m_mutex);
    return m_frames;
}

void SimState::clearReceivedFrames()
{
    QMutexLocker lock(&m_mutex);
    m_frames.clear();
}

SimProtocol::Outcome SimState::answer(SimProtocol &protocol, const QByteArray &frame)
{
    QMutexLocker lock(&m_mutex);
    return protocol.answer(frame, m_memory, m_pduSize);
}

void SimState::connectionOpened()
{
    QMutexLocker lock(&m_mutex);
    ++m_open;
    ++m_accepted;
}

void SimState::connectionClosed()
{
    QMutexLocker lock(&m_mutex);
    --m_open;
}

void SimState::resetCounters()
{
    QMutexLocker lock(&m_mutex);
    m_open = 0;
    m_accepted = 0;
}

int SimState::connectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_open;
}

int SimState::acceptedCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_accepted;
}
