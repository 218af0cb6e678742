#include "SimState.h"

#include "SimCpuProfile.h"

#include <QDateTime>
#include <QMutexLocker>

namespace {
constexpr int DefaultDataBlockSize = 1024;
constexpr int DefaultBlocks[] = {1, 2, 10};
constexpr int DefaultLateReplyMs = 2500;
constexpr int DefaultHugeReplyBytes = 4 * 1024 * 1024;
constexpr int DefaultByteByBytePauseMs = 50;
constexpr int MaxKeptFrames = 10000;
// The CPU's COTP references and user-data sequence numbers count up from
// these per connection; neither may be 0.
constexpr quint16 FirstReference = 0x0001;
constexpr quint8 FirstSequence = 0x01;
}

SimState::SimState()
{
    setCpu(SimCpuProfile::standard());
    for (int number : DefaultBlocks)
        cpuMemory.createBlock(number, DefaultDataBlockSize);
}

SimState::~SimState() = default;

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

// The profile brings its PDU limit and the sizes of the inputs, outputs,
// markers, timers and counters; data blocks stay as they are.
void SimState::setCpu(const SimCpuProfile &cpu)
{
    QMutexLocker lock(&mutex);
    profile = &cpu;
    statusList.reset(new SimStatusList(cpu));
    pduSize = cpu.pduLimit;
    cpuMemory.resize(SimMemory::AreaInputs, 0, cpu.inputBytes);
    cpuMemory.resize(SimMemory::AreaOutputs, 0, cpu.outputBytes);
    cpuMemory.resize(SimMemory::AreaMarkers, 0, cpu.markerBytes);
    cpuMemory.resize(SimMemory::AreaTimers, 0, cpu.timers * SimMemory::TimerCounterBytes);
    cpuMemory.resize(SimMemory::AreaCounters, 0, cpu.counters * SimMemory::TimerCounterBytes);
}

const SimCpuProfile &SimState::cpu() const
{
    QMutexLocker lock(&mutex);
    return *profile;
}

void SimState::setPduSize(int bytes)
{
    QMutexLocker lock(&mutex);
    pduSize = bytes;
}

void SimState::setRunning(bool on)
{
    QMutexLocker lock(&mutex);
    run = on;
}

bool SimState::running() const
{
    QMutexLocker lock(&mutex);
    return run;
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

bool SimState::setBit(int area, int dbNumber, int byteAddress, int bit, bool value)
{
    QMutexLocker lock(&mutex);
    return cpuMemory.writeBit(area, dbNumber, byteAddress, bit, value) == SimMemory::Access::Ok;
}

void SimState::setFrameLog(bool on)
{
    QMutexLocker lock(&mutex);
    logFrames = on;
    if (!on)
        frames.clear();
}

void SimState::recordFrame(const QByteArray &frame)
{
    QMutexLocker lock(&mutex);
    if (!logFrames)
        return;
    // Keep the most recent frames only, so that a long run stays bounded.
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
    const SimProtocol::Cpu cpu{*profile, *statusList, pduSize, run, QDateTime::currentDateTime()};
    return protocol.answer(frame, cpuMemory, cpu);
}

SimState::Connection SimState::connectionOpened(const QString &peer)
{
    QMutexLocker lock(&mutex);
    Connection connection;
    connection.id = ++lastConnection;
    // Both count up and wrap around, skipping 0.
    connection.reference = quint16(FirstReference + (connection.id - 1) % 0xFFFF);
    connection.sequence = quint8(FirstSequence + (connection.id - 1) % 0xFF);
    openConnections.insert(connection.id, peer);
    ++acceptedConnections;
    return connection;
}

void SimState::connectionClosed(quint64 id)
{
    QMutexLocker lock(&mutex);
    openConnections.remove(id);
}

void SimState::resetCounters()
{
    QMutexLocker lock(&mutex);
    openConnections.clear();
    acceptedConnections = 0;
}

int SimState::connectionCount() const
{
    QMutexLocker lock(&mutex);
    return openConnections.size();
}

int SimState::acceptedCount() const
{
    QMutexLocker lock(&mutex);
    return acceptedConnections;
}

QStringList SimState::clients() const
{
    QMutexLocker lock(&mutex);
    return openConnections.values();
}
