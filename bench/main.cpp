// quillmarsh-bench: the benchmark's goals, measured and judged.
//
//   quillmarsh-bench [--goals REGEX]      measures the goals (all, or those whose
//                                         names match) and prints them against
//                                         their bounds: exit code 0 when all are
//                                         kept, 1 when one is missed, 2 when one
//                                         could not be measured
//   quillmarsh-bench --list               the goals and their bounds
//   quillmarsh-bench --client plugin|floor --case KEY --port P --ops N
//                                         one client alone, as the counts run it

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

#include "DisconnectWarnings.h"
#include "DriverPlugin.h"
#include "GoalTable.h"
#include "Measurements.h"
#include "PluginClient.h"
#include "RawSocketClient.h"

namespace {

constexpr int kWarmUpOps = 100;

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
    return nullptr;
}

// A warm-up, then ops operations, each checked; 0, or 2 on any failure.
int runClient(const QString &kind, const QString &pluginPath, quint16 port, const QString &caseKey, int ops)
{
    BenchCase c;
    const std::unique_ptr<BenchClient> client = makeClient(kind, pluginPath);
    if (!client || !BenchCase::byKey(caseKey, &c) || port == 0
        || (c.kind == BenchCase::ReadBatch && kind != QLatin1String("plugin"))) {
        std::fprintf(stderr, "bench: --client needs plugin or floor, --port and a --case of read32, read200, write32 "
                             "(or batch100, the plug-in's)\n");
        return 2;
    }
    if (!client->connectTo(port)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(client->errorString()));
        return 2;
    }
    for (int i = 0; i < kWarmUpOps + ops; ++i) {
        quillmarsh_bench_operation(client.get(), &c);
        if (!client->check(c)) {
            std::fprintf(stderr, "bench: %s failed: %s\n", qPrintable(client->name()), qPrintable(client->errorString()));
            return 2;
        }
    }
    return 0;
}

int intValue(const QCommandLineParser &parser, const QString &option, int fallback)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    dropDisconnectWarnings();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the Quillmarsh benchmark's goals and judges them."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("goals"), QStringLiteral("Only the goals whose names match."), QStringLiteral("regex")},
        {QStringLiteral("list"), QStringLiteral("The goals and their bounds, measuring nothing.")},
        {QStringLiteral("plugin"), QStringLiteral("Plug-in to load."), QStringLiteral("path")},
        {QStringLiteral("ops"), QStringLiteral("Operations per case and client (default 4000)."), QStringLiteral("n")},
        {QStringLiteral("client"), QStringLiteral("Run one client alone: plugin or floor."), QStringLiteral("kind")},
        {QStringLiteral("port"), QStringLiteral("Server port for --client."), QStringLiteral("port")},
        {QStringLiteral("case"), QStringLiteral("read32, read200, write32 or batch100, for --client."),
         QStringLiteral("key")},
    });
    parser.process(app);

    const QString pluginPath = DriverPlugin::locate(parser.value(QStringLiteral("plugin")));
    if (parser.isSet(QStringLiteral("client")))
        return runClient(parser.value(QStringLiteral("client")), pluginPath,
                         quint16(intValue(parser, QStringLiteral("port"), 0)), parser.value(QStringLiteral("case")),
                         intValue(parser, QStringLiteral("ops"), 1000));

    Measurements::Options options;
    options.latency.ops = intValue(parser, QStringLiteral("ops"), options.latency.ops);
    options.latency.pluginPath = pluginPath;
    options.program = QCoreApplication::applicationFilePath();
    options.benchDir = QStringLiteral(QUILLMARSH_BENCH_DIR);
    options.buildDir = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath();
    Measurements measurements(options);
    const GoalTable table(measurements);
    if (parser.isSet(QStringLiteral("list"))) {
        table.list();
        return 0;
    }
    const QRegularExpression selection(parser.value(QStringLiteral("goals")));
    if (!selection.isValid()) {
        std::fprintf(stderr, "bench: --goals: %s\n", qPrintable(selection.errorString()));
        return 2;
    }
    return table.run(selection);
}
