#include "ClientCounts.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include "SimServerHost.h"

namespace {

constexpr int kChildTimeoutMs = 300000;
constexpr int kCallgrindOps = 1000; // 2,000 operations under callgrind: seconds
constexpr int kStraceOps = 2000;

// The fields of strace -c's "total" line: % time, seconds, usecs/call, calls, ...
constexpr int kStraceCallsField = 3;

} // namespace

ClientCounts::ClientCounts(const QString &program, const QString &pluginPath)
    : program(program), pluginPath(pluginPath)
{
}

ClientCounts::~ClientCounts() = default;

std::optional<double> ClientCounts::instructionsPerOp(const QString &client, const QString &caseKey)
{
    return perOp(&ClientCounts::callgrindTotal, client, caseKey, kCallgrindOps);
}

std::optional<double> ClientCounts::systemCallsPerOp(const QString &client, const QString &caseKey)
{
    return perOp(&ClientCounts::straceTotal, client, caseKey, kStraceOps);
}

std::optional<double> ClientCounts::perOp(Tool tool, const QString &client, const QString &caseKey, int ops)
{
    const QString key = QStringLiteral("%1/%2/%3").arg(tool == &ClientCounts::callgrindTotal ? "Ir" : "calls",
                                                       client, caseKey);
    if (known.contains(key))
        return known.value(key);
    if (!server) {
        server = std::make_unique<SimServerHost>();
        if (!work.isValid() || !server->start()) {
            error = QStringLiteral("the simulated PLC does not start: %1").arg(server->errorString());
            server.reset();
            return std::nullopt;
        }
    }
    const Total once = (this->*tool)(client, caseKey, ops);
    const Total twice = once ? (this->*tool)(client, caseKey, 2 * ops) : std::nullopt;
    server->forgetFrames();
    if (!twice)
        return std::nullopt;
    known.insert(key, double(*twice - *once) / ops);
    return known.value(key);
}

ClientCounts::Total ClientCounts::callgrindTotal(const QString &client, const QString &caseKey, int ops)
{
    const QString out = work.filePath(QStringLiteral("callgrind.out"));
    if (!runChild({QStringLiteral("valgrind"), QStringLiteral("-q"), QStringLiteral("--tool=callgrind"),
                   QStringLiteral("--callgrind-out-file=") + out,
                   QStringLiteral("--toggle-collect=quillmarsh_bench_operation"),
                   QStringLiteral("--toggle-collect=QDateTime::fromMSecsSinceEpoch*")},
                  client, caseKey, ops))
        return std::nullopt;
    const QRegularExpressionMatch totals =
        QRegularExpression(QStringLiteral("^totals: (\\d+)"), QRegularExpression::MultilineOption).match(readOutput(out));
    if (!totals.hasMatch()) {
        error = QStringLiteral("callgrind wrote no totals");
        return std::nullopt;
    }
    return totals.captured(1).toLongLong();
}

ClientCounts::Total ClientCounts::straceTotal(const QString &client, const QString &caseKey, int ops)
{
    const QString out = work.filePath(QStringLiteral("strace.out"));
    if (!runChild({QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("-o"), out},
                  client, caseKey, ops))
        return std::nullopt;
    const QStringList lines = readOutput(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList fields = lines.isEmpty() ? QStringList() : lines.last().simplified().split(QLatin1Char(' '));
    if (fields.size() <= kStraceCallsField || fields.last() != QLatin1String("total")) {
        error = QStringLiteral("strace wrote no total");
        return std::nullopt;
    }
    return fields.at(kStraceCallsField).toLongLong();
}

bool ClientCounts::runChild(QStringList wrapper, const QString &client, const QString &caseKey, int ops)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString tool = wrapper.takeFirst();
    child.start(tool, wrapper + QStringList{program, QStringLiteral("--client"), client, QStringLiteral("--case"),
                                            caseKey, QStringLiteral("--ops"), QString::number(ops),
                                            QStringLiteral("--port"), QString::number(server->port()),
                                            QStringLiteral("--plugin"), pluginPath});
    const bool finished = child.waitForStarted() && child.waitForFinished(kChildTimeoutMs);
    if (!finished) {
        child.kill();
        child.waitForFinished();
        error = QStringLiteral("%1 did not run %2 %3 to its end (is %1 installed?)").arg(tool, client, caseKey);
        return false;
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        error = QStringLiteral("%1 %2 under %3 failed (exit code %4)").arg(client, caseKey, tool).arg(child.exitCode());
        return false;
    }
    return true;
}

QString ClientCounts::readOutput(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}
