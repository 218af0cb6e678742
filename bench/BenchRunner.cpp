#include "BenchRunner.h"

#include <QByteArray>

#include <cstdio>

#include "RawSocketClient.h"
#include "PluginClient.h"
#include "S7Types.h"
#include "SimServerHost.h"
#ifdef QUILLMARSH_HAVE_SNAP7
#include "Snap7Client.h"
#include "Snap7Server.h"
#endif

namespace {

using Clients = std::vector<std::unique_ptr<BenchClient>>;

const QString kPlugin = QStringLiteral("plug-in");
const QString kFloor = QStringLiteral("floor");
const QString kSnap7 = QStringLiteral("snap7");
const QString kConnect = QStringLiteral("connect");

// The PDU reference follows protocol id, message type and the reserved word.
constexpr int kPduReferenceOffset = S7::TpktHeaderSize + S7::CotpDataHeaderSize + 4;
constexpr int kPduReferenceSize = 2;

constexpr double kFloorTarget = 1.30;  // plug-in median at most this times the floor's
constexpr double kSnap7Target = 10.0;  // snap7's median at least this times the plug-in's

void fail(const QString &what)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(what));
}

// snap7's client is measured against snap7's own server only, where its
// target lies.
bool makeClients(const QString &pluginPath, bool withSnap7, Clients *clients)
{
    auto plugin = std::make_unique<PluginClient>();
    if (!plugin->load(pluginPath)) {
        fail(QStringLiteral("cannot load the plug-in %1: %2").arg(pluginPath, plugin->errorString()));
        return false;
    }
    clients->push_back(std::move(plugin));
    clients->push_back(std::make_unique<RawSocketClient>());
#ifdef QUILLMARSH_HAVE_SNAP7
    if (withSnap7)
        clients->push_back(std::make_unique<Snap7Client>());
#else
    Q_UNUSED(withSnap7);
#endif
    return true;
}

} // namespace

BenchRunner::BenchRunner(const RunOptions &options) : runOptions(options) {}

BenchRunner::~BenchRunner() = default;

int BenchRunner::run()
{
    std::printf("Each case: %d timed operations per client (snap7's client %d), in alternating blocks of %d\n"
                "(snap7 %d), after one untimed block each; %d timed connects per client (snap7 %d).\n\n",
                runOptions.ops, runOptions.ops / runOptions.snap7Divisor, runOptions.block,
                qMax(1, runOptions.block / runOptions.snap7Divisor), runOptions.connects,
                qMax(1, runOptions.connects / runOptions.snap7Divisor));
    std::vector<std::unique_ptr<BenchServer>> servers;
    servers.push_back(std::make_unique<SimServerHost>());
#ifdef QUILLMARSH_HAVE_SNAP7
    servers.push_back(std::make_unique<Snap7Server>());
#else
    std::printf("snap7: not built in (snap7.a was not found at build time); its columns are left out.\n\n");
#endif
    for (const auto &server : servers) {
        if (!measureServer(*server))
            return 2;
    }
    printTable();
    return printTargets() ? 0 : 1;
}

bool BenchRunner::measureServer(BenchServer &server)
{
    if (!server.start()) {
        fail(QStringLiteral("server %1 does not start: %2").arg(server.name(), server.errorString()));
        return false;
    }
    if (!seed(server)) {
        fail(QStringLiteral("server %1 refuses its memory image").arg(server.name()));
        return false;
    }
    const QList<BenchCase> cases = BenchCase::all();
    Clients clients;
    if (!makeClients(runOptions.pluginPath, server.name() == kSnap7, &clients))
        return false;
    for (const auto &client : clients) {
        if (!client->connectTo(server.port())) {
            fail(QStringLiteral("%1 cannot connect to %2: %3")
                     .arg(client->name(), server.name(), client->errorString()));
            return false;
        }
    }
    for (const BenchCase &c : cases) {
        if (!measureCase(server, c, clients))
            return false;
        if (c.isWrite() && server.bytes(c.dbNumber, c.byteAddress, c.image.size()) != c.image) {
            fail(QStringLiteral("%1: the written value is not in the server's memory").arg(server.name()));
            return false;
        }
    }
    return measureConnects(server, clients);
}

bool BenchRunner::seed(BenchServer &server)
{
    for (const BenchCase &c : BenchCase::all()) {
        const QByteArray initial = c.isWrite() ? QByteArray(c.image.size(), '\0') : c.image;
        if (!server.setBytes(c.dbNumber, c.byteAddress, initial))
            return false;
    }
    return true;
}

int BenchRunner::opsFor(const BenchClient &client, int ops) const
{
    return client.name() == kSnap7 ? qMax(1, ops / runOptions.snap7Divisor) : ops;
}

bool BenchRunner::runBlock(BenchClient &client, const BenchCase &c, int count, LatencyStats *stats)
{
    for (int i = 0; i < count; ++i) {
        std::chrono::nanoseconds elapsed{0};
        if (!client.run(c, &elapsed)) {
            fail(QStringLiteral("%1, %2: %3").arg(client.name(), c.title, client.errorString()));
            return false;
        }
        if (stats)
            stats->add(elapsed);
    }
    return true;
}

// The floor must send what the plug-in sends; the server saw the plug-in's
// last frame, which may differ in its PDU reference alone.
bool BenchRunner::sameFrameAsFloor(BenchServer &server, const BenchCase &c)
{
    const QByteArray seen = server.lastFrame();
    if (seen.isEmpty())
        return true; // this server keeps no frames
    const std::string floor = RawSocketClient::requestFor(c);
    QByteArray expected(floor.data(), int(floor.size()));
    QByteArray masked = seen;
    if (masked.size() == expected.size()) {
        masked.replace(kPduReferenceOffset, kPduReferenceSize, QByteArray(kPduReferenceSize, '\0'));
        expected.replace(kPduReferenceOffset, kPduReferenceSize, QByteArray(kPduReferenceSize, '\0'));
    }
    if (masked != expected) {
        fail(QStringLiteral("%1: the plug-in sent %2, the floor sends %3")
                 .arg(c.title, QString::fromLatin1(seen.toHex()), QString::fromLatin1(expected.toHex())));
        return false;
    }
    return true;
}

bool BenchRunner::measureCase(BenchServer &server, const BenchCase &c, const Clients &clients)
{
    for (const auto &client : clients) {
        if (!runBlock(*client, c, opsFor(*client, runOptions.block), nullptr))
            return false;
        if (client->name() == kPlugin && !sameFrameAsFloor(server, c))
            return false;
    }
    server.forgetFrames();
    const size_t first = rows.size();
    for (const auto &client : clients) {
        rows.push_back(Row{server.name(), c.title, client->name(), LatencyStats()});
        rows.back().stats.reserve(opsFor(*client, runOptions.ops));
    }
    const int rounds = qMax(1, runOptions.ops / runOptions.block);
    for (int round = 0; round < rounds; ++round) {
        // Every other round in reverse order: no client always follows the same one.
        for (size_t k = 0; k < clients.size(); ++k) {
            const size_t i = round % 2 == 0 ? k : clients.size() - 1 - k;
            if (!runBlock(*clients[i], c, opsFor(*clients[i], runOptions.block), &rows[first + i].stats))
                return false;
        }
        server.forgetFrames();
    }
    return true;
}

bool BenchRunner::measureConnects(BenchServer &server, const Clients &clients)
{
    const size_t first = rows.size();
    for (const auto &client : clients)
        rows.push_back(Row{server.name(), kConnect, client->name(), LatencyStats()});
    for (int round = 0; round < runOptions.connects; ++round) {
        for (size_t k = 0; k < clients.size(); ++k) {
            const size_t i = round % 2 == 0 ? k : clients.size() - 1 - k;
            BenchClient &client = *clients[i];
            if (client.name() == kSnap7 && round % runOptions.snap7Divisor != 0)
                continue;
            client.disconnect();
            const auto start = std::chrono::steady_clock::now();
            const bool connected = client.connectTo(server.port());
            rows[first + i].stats.add(std::chrono::steady_clock::now() - start);
            if (!connected) {
                fail(QStringLiteral("%1 cannot reconnect to %2: %3")
                         .arg(client.name(), server.name(), client.errorString()));
                return false;
            }
        }
    }
    server.forgetFrames();
    return true;
}

const BenchRunner::Row *BenchRunner::find(const QString &server, const QString &title,
                                          const QString &client) const
{
    for (const Row &row : rows) {
        if (row.server == server && row.title == title && row.client == client)
            return &row;
    }
    return nullptr;
}

void BenchRunner::printTable() const
{
    std::printf("%-7s %-17s %-8s %7s %10s %10s %11s %13s\n", "server", "case", "client", "ops", "median us",
                "p99 us", "ops/s", "plug-in/this");
    for (const Row &row : rows) {
        const Row *plugin = find(row.server, row.title, kPlugin);
        const double ratio = plugin ? plugin->stats.medianUs() / row.stats.medianUs() : 0.0;
        std::printf("%-7s %-17s %-8s %7d %10.1f %10.1f %11.0f %13.3f\n", qPrintable(row.server),
                    qPrintable(row.title), qPrintable(row.client), row.stats.count(), row.stats.medianUs(),
                    row.stats.p99Us(), row.stats.opsPerSecond(), ratio);
    }
    std::printf("\n(connect: TCP connection plus the COTP and S7 setup handshakes, three round trips;\n"
                " plug-in/this is the ratio of the medians)\n\n");
}

bool BenchRunner::printTargets() const
{
    bool allMet = true;
    for (const Row &row : rows) {
        if (row.title == kConnect || row.client == kPlugin)
            continue;
        const Row *plugin = find(row.server, row.title, kPlugin);
        const double ratio = plugin->stats.medianUs() / row.stats.medianUs();
        bool met;
        if (row.client == kFloor) {
            met = ratio <= kFloorTarget;
            std::printf("target %-7s %-17s plug-in/floor %6.3f <= %.2f   %s\n", qPrintable(row.server),
                        qPrintable(row.title), ratio, kFloorTarget, met ? "met" : "MISSED");
        } else {
            met = 1.0 / ratio >= kSnap7Target;
            std::printf("target %-7s %-17s snap7/plug-in %6.1f >= %.0f     %s\n", qPrintable(row.server),
                        qPrintable(row.title), 1.0 / ratio, kSnap7Target, met ? "met" : "MISSED");
        }
        allMet = allMet && met;
    }
    return allMet;
}
