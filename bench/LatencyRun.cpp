#include "LatencyRun.h"

#include <sched.h>

#include <algorithm>
#include <cstdio>

#include "AllocationCounter.h"
#include "PluginClient.h"
#include "RawSocketClient.h"
#include "S7Types.h"
#include "SimServerHost.h"

const QString LatencyRun::ConnectKey = QStringLiteral("connect");

namespace {

// The PDU reference follows protocol id, message type and the reserved word.
constexpr int kPduReferenceOffset = S7::TpktHeaderSize + S7::CotpDataHeaderSize + 4;
constexpr int kPduReferenceSize = 2;

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0.0;
    const auto middle = samples.begin() + long(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

double microseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// This thread on the last CPU for as long as it lives; threads it starts
// inherit the mask. The old mask comes back at the end.
class PinnedToOneCpu
{
public:
    PinnedToOneCpu()
    {
        pinned = sched_getaffinity(0, sizeof old, &old) == 0;
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = CPU_SETSIZE - 1; cpu >= 0 && pinned; --cpu) {
            if (CPU_ISSET(cpu, &old)) {
                CPU_SET(cpu, &one);
                pinned = sched_setaffinity(0, sizeof one, &one) == 0;
                break;
            }
        }
    }
    ~PinnedToOneCpu()
    {
        if (pinned)
            sched_setaffinity(0, sizeof old, &old);
    }

private:
    cpu_set_t old;
    bool pinned = false;
};

} // namespace

LatencyRun::LatencyRun(const Options &options) : options(options) {}

bool LatencyRun::run()
{
    const PinnedToOneCpu pin;
    SimServerHost server;
    PluginClient plugin;
    RawSocketClient floor;
    if (!server.start()) {
        error = QStringLiteral("the simulated PLC does not start: %1").arg(server.errorString());
        return false;
    }
    if (!plugin.load(options.pluginPath)) {
        error = QStringLiteral("cannot load the plug-in %1: %2").arg(options.pluginPath, plugin.errorString());
        return false;
    }
    for (BenchClient *client : {static_cast<BenchClient *>(&plugin), static_cast<BenchClient *>(&floor)}) {
        if (!client->connectTo(server.port())) {
            error = QStringLiteral("%1 cannot connect: %2").arg(client->name(), client->errorString());
            return false;
        }
    }
    for (const BenchCase &c : BenchCase::all()) {
        if (!measureCase(server, c, plugin, floor))
            return false;
        if (c.isWrite() && server.bytes(c.dbNumber, c.byteAddress, c.image.size()) != c.image) {
            error = QStringLiteral("%1: the written value is not in the PLC's memory").arg(c.title);
            return false;
        }
    }
    return measureConnects(server, plugin, floor);
}

double LatencyRun::timeRatio(const QString &key) const
{
    const Figures f = figures.value(key);
    return median(f.pluginUs) / median(f.floorUs);
}

double LatencyRun::pluginMedianAllocations(const QString &key) const
{
    return median(figures.value(key).pluginAllocations);
}

bool LatencyRun::runBlock(BenchClient &client, const BenchCase &c, int count, std::vector<double> *times,
                          std::vector<double> *allocations)
{
    for (int i = 0; i < count; ++i) {
        const quint64 before = AllocationCounter::count();
        const auto start = std::chrono::steady_clock::now();
        quillmarsh_bench_operation(&client, &c);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const quint64 made = AllocationCounter::count() - before;
        if (!client.check(c)) {
            error = QStringLiteral("%1, %2: %3").arg(client.name(), c.title, client.errorString());
            return false;
        }
        if (times)
            times->push_back(microseconds(elapsed));
        if (allocations)
            allocations->push_back(double(made));
    }
    return true;
}

// The floor must send what the plug-in sends; the server saw the plug-in's
// last frame, which may differ in its PDU reference alone.
bool LatencyRun::sameFrameAsFloor(const SimServerHost &server, const BenchCase &c)
{
    QByteArray seen = server.lastFrame();
    QByteArray expected = RawSocketClient::requestFor(c);
    const QByteArray sent = seen;
    if (seen.size() == expected.size()) {
        seen.replace(kPduReferenceOffset, kPduReferenceSize, QByteArray(kPduReferenceSize, '\0'));
        expected.replace(kPduReferenceOffset, kPduReferenceSize, QByteArray(kPduReferenceSize, '\0'));
    }
    if (seen != expected)
        error = QStringLiteral("%1: the plug-in sent %2, the floor sends %3")
                    .arg(c.title, QString::fromLatin1(sent.toHex()), QString::fromLatin1(expected.toHex()));
    return seen == expected;
}

bool LatencyRun::measureCase(SimServerHost &server, const BenchCase &c, BenchClient &plugin, BenchClient &floor)
{
    // One untimed block each first; the plug-in's goes last, so that its
    // frame is the last one the server saw.
    if (!runBlock(floor, c, options.block, nullptr, nullptr) || !runBlock(plugin, c, options.block, nullptr, nullptr)
        || !sameFrameAsFloor(server, c))
        return false;
    Figures &f = figures[c.key];
    f.pluginUs.reserve(size_t(options.ops));
    f.floorUs.reserve(size_t(options.ops));
    for (int round = 0; round < qMax(1, options.ops / options.block); ++round) {
        BenchClient &first = round % 2 == 0 ? plugin : floor;
        BenchClient &second = round % 2 == 0 ? floor : plugin;
        for (BenchClient *client : {&first, &second}) {
            const bool isPlugin = client == &plugin;
            if (!runBlock(*client, c, options.block, isPlugin ? &f.pluginUs : &f.floorUs,
                          isPlugin ? &f.pluginAllocations : nullptr))
                return false;
        }
        server.forgetFrames();
    }
    report(c.title, f, options.ops);
    return true;
}

bool LatencyRun::measureConnects(SimServerHost &server, BenchClient &plugin, BenchClient &floor)
{
    Figures &f = figures[ConnectKey];
    for (int round = 0; round < options.connects; ++round) {
        BenchClient &first = round % 2 == 0 ? plugin : floor;
        BenchClient &second = round % 2 == 0 ? floor : plugin;
        for (BenchClient *client : {&first, &second}) {
            client->disconnect();
            const auto start = std::chrono::steady_clock::now();
            const bool connected = client->connectTo(server.port());
            (client == &plugin ? f.pluginUs : f.floorUs).push_back(microseconds(std::chrono::steady_clock::now() - start));
            if (!connected) {
                error = QStringLiteral("%1 cannot connect again: %2").arg(client->name(), client->errorString());
                return false;
            }
        }
    }
    server.forgetFrames();
    report(QStringLiteral("connect"), f, options.connects);
    return true;
}

void LatencyRun::report(const QString &title, const Figures &f, int ops) const
{
    std::printf("latency: %-17s median of %d: plug-in %7.1f us, floor %7.1f us\n", qPrintable(title), ops,
                median(f.pluginUs), median(f.floorUs));
}
