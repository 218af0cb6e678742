#include "SimLoad.h"

#include "S7Frame.h"
#include "S7Socket.h"
#include "SimProcessProbe.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtEndian>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int RangeBytes = 64;            // each client's own range of DB1
constexpr int SettleMs = 500;             // for the simulator to close what the clients closed
constexpr long MaxGrowthKiB = 16 * 1024;  // "flat": what a run may add to the resident set
constexpr int UnreadReadBytes = 200;      // each unread request asks for this much
constexpr int PushTimeoutMs = 10000;
constexpr int LargeFrameBytes = 61440;
constexpr int DataBlock = 1;

// An empty CPU name leaves --cpu out, for simulators that predate it.
QStringList simArguments(const SimLoad::Options &options)
{
    QStringList arguments{QStringLiteral("--db"), QStringLiteral("1:%1").arg(options.clients * RangeBytes)};
    if (!options.cpu.isEmpty())
        arguments << QStringLiteral("--cpu") << options.cpu;
    return arguments;
}

QByteArray pattern(int client, quint32 cycle)
{
    QByteArray bytes(RangeBytes, '\0');
    for (int i = 0; i < RangeBytes; ++i)
        bytes[i] = char((client * 131 + cycle * 7 + quint32(i)) & 0xFF);
    return bytes;
}

// What each client counted.
struct Tally
{
    std::atomic<long> cycles{0};
    std::atomic<long> lost{0};    // read back as it was before the write
    std::atomic<long> torn{0};    // read back as neither the old nor the new bytes
    std::atomic<long> failed{0};  // a job not answered as asked
};

bool writeRange(S7Socket &connection, quint16 reference, int offset, const QByteArray &bytes)
{
    return connection.exchange(S7Frame::writeRequest(reference, DataBlock, offset, bytes.size(), bytes,
                                                     S7::AreaDataBlocks))
        && S7Frame::judgeWriteReply(connection.reply()) == JobOk;
}

bool readRange(S7Socket &connection, quint16 reference, int offset, int count, QByteArray *bytes)
{
    bytes->clear();
    return connection.exchange(S7Frame::readRequest(reference, offset, count, DataBlock, S7::AreaDataBlocks))
        && S7Frame::judgeReadReply(connection.reply(), count, bytes) == JobOk;
}

void workOwnRange(quint16 port, int client, int seconds, Tally *tally)
{
    S7Socket connection;
    if (!connection.open(port)) {
        ++tally->failed;
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray previous(RangeBytes, '\0');
    for (quint32 cycle = 1; clock.elapsed() < seconds * 1000; ++cycle) {
        const QByteArray bytes = pattern(client, cycle);
        QByteArray back;
        const quint16 reference = quint16(cycle * 2);
        if (!writeRange(connection, reference, client * RangeBytes, bytes)
            || !readRange(connection, quint16(reference + 1), client * RangeBytes, RangeBytes, &back)) {
            ++tally->failed;
            return;
        }
        if (back == previous)
            ++tally->lost;
        else if (back != bytes)
            ++tally->torn;
        previous = bytes;
        ++tally->cycles;
    }
}

void append16(QByteArray *out, int value)
{
    char bytes[2];
    qToBigEndian(quint16(value), bytes);
    out->append(bytes, 2);
}

// A write job of LargeFrameBytes bytes, too large for any PDU: the CPU
// refuses it whole. Its data is an octet string, whose length counts bytes.
QByteArray largeFrame(quint16 reference)
{
    QByteArray frame = QByteArray::fromHex("0300");
    append16(&frame, 35 + LargeFrameBytes);
    frame += QByteArray::fromHex("02f080" "32010000");
    append16(&frame, reference);
    append16(&frame, 14);                  // parameters: function, item count, one item
    append16(&frame, 4 + LargeFrameBytes); // data: item header and bytes
    frame += QByteArray::fromHex("0501120a1002");
    append16(&frame, LargeFrameBytes);
    frame += QByteArray::fromHex("000184000000" "0009");
    append16(&frame, LargeFrameBytes);
    return frame + QByteArray(LargeFrameBytes, '\x5a');
}

} // namespace

int SimLoad::run(const Options &options)
{
    SimProcessProbe probe;
    if (!probe.start(options.program, simArguments(options))) {
        std::fprintf(stderr, "sim-load: cannot start %s\n", qPrintable(options.program));
        return 2;
    }
    probe.stop();
    bool met = clientsAtOnce(options);
    met &= unreadReplies(options);
    met &= largeFrames(options);
    met &= stopsRightAfterListening(options);
    std::printf("sim-load: %s\n", met ? "PASS" : "FAIL");
    return met ? 0 : 1;
}

bool SimLoad::clientsAtOnce(const Options &options)
{
    SimProcessProbe sim;
    if (!sim.start(options.program, simArguments(options)))
        return false;
    const ProcStatus status = sim.status();
    const long rssBefore = status.residentKiB();
    const int fdsBefore = status.descriptors();
    Tally tally;
    std::vector<std::thread> workers;
    for (int client = 0; client < options.clients; ++client)
        workers.emplace_back(workOwnRange, sim.port(), client, options.seconds, &tally);
    QThread::msleep(SettleMs);
    const int fdsDuring = status.descriptors();
    for (std::thread &worker : workers)
        worker.join();
    QThread::msleep(SettleMs);
    const long rssAfter = status.residentKiB();
    const int fdsAfter = status.descriptors();
    std::printf("clients: %d clients for %d s on %s: %ld write/read cycles (%ld/s), lost %ld, torn %ld, failed %ld\n",
                options.clients, options.seconds, qPrintable(options.cpu), tally.cycles.load(),
                tally.cycles.load() / qMax(1, options.seconds), tally.lost.load(), tally.torn.load(),
                tally.failed.load());
    std::printf("clients: simulator resident %ld KiB before, %ld KiB after (peak %ld KiB); descriptors %d before, "
                "%d during, %d after\n", rssBefore, rssAfter, status.peakResidentKiB(), fdsBefore, fdsDuring, fdsAfter);
    const bool stopped = sim.stop();
    return tally.lost == 0 && tally.torn == 0 && tally.failed == 0 && rssAfter - rssBefore < MaxGrowthKiB
        && fdsAfter == fdsBefore && stopped;
}

bool SimLoad::unreadReplies(const Options &options)
{
    SimProcessProbe sim;
    S7Socket client;
    if (!sim.start(options.program, simArguments(options)) || !client.open(sim.port()))
        return false;
    const ProcStatus status = sim.status();
    const long rssBefore = status.residentKiB();
    const QByteArray request = S7Frame::readRequest(1, 0, UnreadReadBytes, 1, S7::AreaDataBlocks);
    QByteArray requests;
    while (requests.size() < options.unreadBytes)
        requests += request;
    const qint64 taken = client.push(requests.left(int(options.unreadBytes)), PushTimeoutMs);
    const long rssHeld = status.residentKiB();
    client.close();
    QThread::msleep(SettleMs);
    const long rssAfter = status.residentKiB();
    std::printf("unread: %lld bytes of read requests offered, %lld taken in %d s; simulator resident %ld KiB before, "
                "%ld KiB while held, %ld KiB after (peak %ld KiB)\n", qint64(options.unreadBytes), taken,
                PushTimeoutMs / 1000, rssBefore, rssHeld, rssAfter, status.peakResidentKiB());
    const long growth = status.peakResidentKiB() - rssBefore;
    const bool stopped = sim.stop();
    return growth < MaxGrowthKiB && stopped;
}

bool SimLoad::largeFrames(const Options &options)
{
    SimProcessProbe sim;
    S7Socket client;
    if (!sim.start(options.program, simArguments(options)) || !client.open(sim.port()))
        return false;
    const ProcStatus status = sim.status();
    const long rssBefore = status.residentKiB();
    int answered = 0;
    for (int i = 0; i < options.largeFrames; ++i) {
        if (client.exchange(largeFrame(quint16(i))))
            ++answered;
    }
    const long rssAfter = status.residentKiB();
    std::printf("large frames: %d frames of %d bytes, %d answered; simulator resident %ld KiB before, %ld KiB after "
                "(peak %ld KiB)\n", options.largeFrames, LargeFrameBytes + 35, answered, rssBefore, rssAfter,
                status.peakResidentKiB());
    client.close();
    const bool stopped = sim.stop();
    return answered == options.largeFrames && rssAfter - rssBefore < MaxGrowthKiB && stopped;
}

bool SimLoad::stopsRightAfterListening(const Options &options)
{
    int failures = 0;
    for (int run = 0; run < options.stopRuns; ++run) {
        SimProcessProbe sim;
        if (!sim.start(options.program, {}) || !sim.stop())
            ++failures;
    }
    std::printf("stop: SIGTERM right after \"listening on\": %d of %d runs did not end with \"stopped\" and 0\n",
                failures, options.stopRuns);
    return failures == 0;
}
