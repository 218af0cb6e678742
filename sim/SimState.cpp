#include "SimState.h"

#include "SimCpuProfile.h"
#include "SimWire.h"

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
// markers, timers and counters; data blocks stay as they are, unless the
// CPU serves V memory: then that is its one data block, and its inputs,
// outputs and markers may be windows into it.
void SimState::setCpu(const SimCpuProfile &cpu)
{
    QMutexLocker lock(&mutex);
    profile = &cpu;
    statusList.reset(new SimStatusList(cpu));
    cpuState.reset(new SimCpuState(cpu));
    pduSize = cpu.pduLimit;
    cpuMemory.unmapAreas();
    cpuMemory.resize(SimMemory::AreaInputs, 0, cpu.inputBytes);
    cpuMemory.resize(SimMemory::AreaOutputs, 0, cpu.outputBytes);
    cpuMemory.resize(SimMemory::AreaMarkers, 0, cpu.markerBytes);
    cpuMemory.resize(SimMemory::AreaTimers, 0, cpu.timers * SimMemory::TimerCounterBytes);
    cpuMemory.resize(SimMemory::AreaCounters, 0, cpu.counters * SimMemory::TimerCounterBytes);
    if (cpu.vMemoryBytes == 0)
        return;
    cpuMemory.removeBlocks();
    cpuMemory.createBlock(1, cpu.vMemoryBytes);
    const struct { int area; int offset; } windows[] = {{SimMemory::AreaInputs, cpu.vMemoryMap.inputs},
                                                         {SimMemory::AreaOutputs, cpu.vMemoryMap.outputs},
                                                         {SimMemory::AreaMarkers, cpu.vMemoryMap.markers}};
    for (const auto &window : windows) {
        if (window.offset >= 0)
            cpuMemory.mapArea(window.area, 1, window.offset);
    }
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

// From the outside the state is set as the mode selector sets it.
void SimState::setRunning(bool on)
{
    QMutexLocker lock(&mutex);
    cpuState->setRunning(on, on ? 0 : SimCpuState::EventStopBySwitch);
}

bool SimState::running() const
{
    QMutexLocker lock(&mutex);
    return cpuState->running();
}

void SimState::setRackSlot(int rack, int slot)
{
    QMutexLocker lock(&mutex);
    cpuState->setRackSlot(rack, slot);
}

void SimState::setTsaps(quint16 calling, quint16 called)
{
    QMutexLocker lock(&mutex);
    cpuState->setTsaps(calling, called);
}

bool SimState::setPutGet(bool on)
{
    QMutexLocker lock(&mutex);
    return cpuState->setPutGet(on);
}

bool SimState::putGet() const
{
    QMutexLocker lock(&mutex);
    return cpuState->putGet();
}

bool SimState::setProtection(int level, const QString &password)
{
    QMutexLocker lock(&mutex);
    return cpuState->setProtection(level, password);
}

int SimState::protectionLevel() const
{
    QMutexLocker lock(&mutex);
    return cpuState->protectionLevel();
}

void SimState::setClockOffsetMs(qint64 ms)
{
    QMutexLocker lock(&mutex);
    cpuState->setClockOffsetMs(ms);
}

qint64 SimState::clockOffsetMs() const
{
    QMutexLocker lock(&mutex);
    return cpuState->clockOffsetMs();
}

// An injected fault goes into the diagnostic buffer, so that a client
// reading it sees when the misbehaviour began.
void SimState::setFault(SimPlc::Fault fault, int param)
{
    QMutexLocker lock(&mutex);
    if (fault != SimPlc::Fault::None)
        cpuState->record(quint16(SimCpuState::EventFaultInjected + int(fault)));
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

void SimState::addDataBlock(int number, int bytes, SimMemory::BlockAccess access)
{
    QMutexLocker lock(&mutex);
    cpuMemory.createBlock(number, bytes, access);
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

SimProtocol::Outcome SimState::answer(quint64 id, SimProtocol &protocol, const QByteArray &frame)
{
    QMutexLocker lock(&mutex);
    const SimProtocol::Cpu cpu{*profile, *statusList, pduSize, *cpuState};
    SimProtocol::Outcome outcome = protocol.answer(frame, cpuMemory, cpu);
    const auto client = openConnections.find(id);
    if (client == openConnections.end())
        return outcome;
    if (outcome.opened || outcome.reset)
        client->tsaps = QStringLiteral("calling %1 called %2").arg(protocol.callingTsap(), protocol.calledTsap());
    if (outcome.opened && !client->admitted) {
        const QString full = admit(id, protocol);
        if (!full.isEmpty()) {
            outcome = SimProtocol::Outcome();
            outcome.reset = true;
            outcome.connectionRefused = QStringLiteral("calling TSAP %1, called TSAP %2; %3")
                                            .arg(protocol.callingTsap(), protocol.calledTsap(), full);
        }
    }
    if (!outcome.connectionRefused.isEmpty())
        outcome.connectionRefused = QStringLiteral("refused %1: %2").arg(client->peer, outcome.connectionRefused);
    return outcome;
}

// A connection of type PG takes a place among the CPU's PG connections,
// any other among the rest; all of them count towards the total. The
// connection that finds no place is reset, as a CPU out of connection
// resources resets it (nodeS7#47, node-red-contrib-s7#34).
QString SimState::admit(quint64 id, const SimProtocol &protocol)
{
    const SimCpuProfile::Connections &limits = profile->connections;
    const bool pg = protocol.connectionType() == SimWire::ConnectionTypePg;
    int total = 0;
    int sameKind = 0;
    for (const Client &client : qAsConst(openConnections)) {
        total += client.admitted ? 1 : 0;
        sameKind += client.admitted && client.pg == pg ? 1 : 0;
    }
    const int kindLimit = pg ? limits.pg : limits.other;
    if (total >= limits.total)
        return QStringLiteral("the CPU's connections (%1) are all in use").arg(limits.total);
    if (sameKind >= kindLimit)
        return QStringLiteral("the CPU's %1 connections (%2) are all in use")
            .arg(pg ? QStringLiteral("PG") : QStringLiteral("OP and S7 basic")).arg(kindLimit);
    Client &client = openConnections[id];
    client.admitted = true;
    client.pg = pg;
    return QString();
}

SimState::Connection SimState::connectionOpened(const QString &peer)
{
    QMutexLocker lock(&mutex);
    Connection connection;
    connection.id = ++lastConnection;
    // Both count up and wrap around, skipping 0.
    connection.reference = quint16(FirstReference + (connection.id - 1) % 0xFFFF);
    connection.sequence = quint8(FirstSequence + (connection.id - 1) % 0xFF);
    Client client;
    client.peer = peer;
    openConnections.insert(connection.id, client);
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

// Each client's address and port, then the TSAPs it asked for once its
// connection request came.
QStringList SimState::clients() const
{
    QMutexLocker lock(&mutex);
    QStringList lines;
    for (const Client &client : openConnections)
        lines << (client.tsaps.isEmpty() ? client.peer : client.peer + QLatin1Char(' ') + client.tsaps);
    return lines;
}

void SimState::setRefusalHandler(std::function<void(const QString &)> handler)
{
    refusalHandler = std::move(handler);
}

void SimState::reportRefusal(const QString &line) const
{
    if (refusalHandler)
        refusalHandler(line);
}
