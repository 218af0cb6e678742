// quillmarsh-bench: the plug-in against a plain-socket floor and snap7's
// client, against our simulated PLC and snap7's server, in one run.
//
//   quillmarsh-bench                         the table and the targets
//   quillmarsh-bench --memory                memory per driver object
//   quillmarsh-bench --serve sim|snap7 --port-file F [--seconds S]
//                                            a server alone, for measuring a client
//   quillmarsh-bench --client plugin|floor|snap7 --port P --case read32 --ops N
//                                            one client alone (under callgrind or strace)

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "BenchRunner.h"
#include "RawSocketClient.h"
#include "MemoryProbe.h"
#include "DriverPlugin.h"
#include "PluginClient.h"
#include "SimServerHost.h"
#include "SoakRun.h"
#ifdef QUILLMARSH_HAVE_SNAP7
#include "Snap7Client.h"
#include "Snap7Server.h"
#endif

namespace {

constexpr int kMaxServeSeconds = 3600;
constexpr int kWarmUpOps = 100;
constexpr auto kServePoll = std::chrono::milliseconds(50);

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

// The plug-in warns on every disconnect; the connect measurement disconnects
// hundreds of times, and a console line per disconnect would be timed too.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("Disconnected=")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

std::unique_ptr<BenchServer> makeServer(const QString &kind)
{
    if (kind == QLatin1String("sim"))
        return std::make_unique<SimServerHost>();
#ifdef QUILLMARSH_HAVE_SNAP7
    if (kind == QLatin1String("snap7"))
        return std::make_unique<Snap7Server>();
#endif
    return nullptr;
}

std::unique_ptr<BenchClient> makeClient(const QString &kind, const QString &pluginPath)
{
    if (kind == QLatin1String("plugin")) {
        auto plugin = std::make_unique<PluginClient>();
        if (!plugin->load(pluginPath)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(plugin->errorString()));
            return nullptr;
        }
        return plugin;
    }
    if (kind == QLatin1String("floor"))
        return std::make_unique<RawSocketClient>();
#ifdef QUILLMARSH_HAVE_SNAP7
    if (kind == QLatin1String("snap7"))
        return std::make_unique<Snap7Client>();
#endif
    return nullptr;
}

// Operations done before the first failure.
int runOps(BenchClient *client, const BenchCase *c, int ops)
{
    for (int i = 0; i < ops; ++i) {
        std::chrono::nanoseconds elapsed{0};
        if (!client->run(*c, &elapsed))
            return i;
    }
    return ops;
}

} // namespace

// Out of line under a plain C name and called once, after the warm-up:
// callgrind's --toggle-collect counts the instructions executed inside it
// and nothing else.
extern "C" __attribute__((noinline)) int quillmarsh_bench_measured_ops(BenchClient *client, const BenchCase *c,
                                                                       int ops)
{
    return runOps(client, c, ops);
}

namespace {

int serve(const QString &kind, const QString &portFile, int seconds)
{
    const std::unique_ptr<BenchServer> server = makeServer(kind);
    if (!server || portFile.isEmpty()) {
        std::fprintf(stderr, "bench: --serve needs sim or snap7 (if built in) and --port-file\n");
        return 2;
    }
    if (!server->start() || !BenchRunner::seed(*server)) {
        std::fprintf(stderr, "bench: server does not start: %s\n", qPrintable(server->errorString()));
        return 2;
    }
    QFile file(portFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(server->port()) + '\n') < 0)
        return 2;
    file.close();
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(qBound(1, seconds, kMaxServeSeconds));
    while (!stopRequested && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kServePoll);
        server->forgetFrames(); // nobody looks at them here
    }
    return 0;
}

int runClient(const QString &kind, const QString &pluginPath, quint16 port, const QString &caseKey, int ops)
{
    BenchCase c;
    const std::unique_ptr<BenchClient> client = makeClient(kind, pluginPath);
    if (!client || !BenchCase::byKey(caseKey, &c) || port == 0) {
        std::fprintf(stderr, "bench: --client needs plugin, floor or snap7 (if built in), --port and a --case "
                             "of read32, read200, write32\n");
        return 2;
    }
    if (!client->connectTo(port)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(client->errorString()));
        return 2;
    }
    const int warm = runOps(client.get(), &c, kWarmUpOps);
    const int done = warm == kWarmUpOps ? quillmarsh_bench_measured_ops(client.get(), &c, ops) : 0;
    if (done != ops) {
        std::fprintf(stderr, "bench: %s failed after %d operations: %s\n", qPrintable(client->name()), done,
                     qPrintable(client->errorString()));
        return 2;
    }
    std::printf("%s %s: %d operations done\n", qPrintable(client->name()), qPrintable(c.key), done);
    return 0;
}

int intValue(const QCommandLineParser &parser, const QCommandLineOption &option, int fallback, int minimum)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    return ok && value >= minimum ? value : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the Quillmarsh plug-in against a plain-socket floor "
                                                    "and snap7's client, against our simulated PLC and snap7's server."));
    parser.addHelpOption();
    const QCommandLineOption opsOption(QStringLiteral("ops"), QStringLiteral("Timed operations per case."),
                                       QStringLiteral("n"), QStringLiteral("4000"));
    const QCommandLineOption blockOption(QStringLiteral("block"), QStringLiteral("Operations per block."),
                                         QStringLiteral("n"), QStringLiteral("50"));
    const QCommandLineOption connectsOption(QStringLiteral("connects"), QStringLiteral("Timed connects per client."),
                                            QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption pluginOption(QStringLiteral("plugin"), QStringLiteral("Plug-in to load."),
                                          QStringLiteral("path"));
    const QCommandLineOption memoryOption(QStringLiteral("memory"), QStringLiteral("Memory per driver object."));
    const QCommandLineOption serveOption(QStringLiteral("serve"), QStringLiteral("Run a server alone: sim or snap7."),
                                         QStringLiteral("kind"));
    const QCommandLineOption portFileOption(QStringLiteral("port-file"),
                                            QStringLiteral("Where --serve writes its port."), QStringLiteral("file"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("How long --serve runs at most."),
                                           QStringLiteral("s"), QStringLiteral("600"));
    const QCommandLineOption clientOption(QStringLiteral("client"),
                                          QStringLiteral("Run one client alone: plugin, floor or snap7."),
                                          QStringLiteral("kind"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Server port for --client."),
                                        QStringLiteral("port"));
    const QCommandLineOption caseOption(QStringLiteral("case"), QStringLiteral("read32, read200 or write32."),
                                        QStringLiteral("key"), QStringLiteral("read32"));
    const QCommandLineOption soakOption(QStringLiteral("soak"),
                                        QStringLiteral("Soak run: memory and descriptors over long runs."));
    const QCommandLineOption cyclesOption(QStringLiteral("cycles"), QStringLiteral("Write/read cycles of --soak."),
                                          QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption reconnectsOption(QStringLiteral("reconnects"),
                                              QStringLiteral("Connect/disconnect rounds of --soak."),
                                              QStringLiteral("n"), QStringLiteral("1000"));
    parser.addOptions({opsOption, blockOption, connectsOption, pluginOption, memoryOption, serveOption,
                       portFileOption, secondsOption, clientOption, portOption, caseOption, soakOption,
                       cyclesOption, reconnectsOption});
    parser.process(app);

    const QString pluginPath = DriverPlugin::locate(parser.value(pluginOption));
    const int ops = intValue(parser, opsOption, 4000, 1);
    if (parser.isSet(memoryOption))
        return MemoryProbe::run(pluginPath);
    if (parser.isSet(soakOption)) {
        SoakRun::Options soak;
        soak.pluginPath = pluginPath;
        soak.cycles = intValue(parser, cyclesOption, soak.cycles, 0);
        soak.reconnects = intValue(parser, reconnectsOption, soak.reconnects, 0);
        return SoakRun::run(soak);
    }
    if (parser.isSet(serveOption))
        return serve(parser.value(serveOption), parser.value(portFileOption), intValue(parser, secondsOption, 600, 1));
    if (parser.isSet(clientOption))
        return runClient(parser.value(clientOption), pluginPath, quint16(intValue(parser, portOption, 0, 1)),
                         parser.value(caseOption), ops);

    RunOptions options;
    options.ops = ops;
    options.block = qMin(intValue(parser, blockOption, 50, 1), ops);
    options.connects = intValue(parser, connectsOption, 100, 1);
    options.pluginPath = pluginPath;
    return BenchRunner(options).run();
}
