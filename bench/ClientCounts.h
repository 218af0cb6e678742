#ifndef QUILLMARSH_CLIENTCOUNTS_H
#define QUILLMARSH_CLIENTCOUNTS_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class SimServerHost;

// What one operation of a client costs, counted, not timed: this program
// runs itself as that client alone (--client) against a simulated PLC in
// this process, N and then 2N operations, under callgrind for the
// instructions and under strace for the system calls; the difference over
// N is the cost of one operation, set-up and warm-up cancelling out.
//
// Two costs that depend on the wall clock are kept out, so that the counts
// repeat: the children run with TZ=UTC (else glibc looks at /etc/localtime
// at every local-time conversion), and QDateTime::fromMSecsSinceEpoch is
// not counted (the plug-in makes its time stamp once per millisecond, and
// how many operations fall into one millisecond is a matter of speed).
class ClientCounts
{
public:
    ClientCounts(const QString &program, const QString &pluginPath);
    ~ClientCounts();

    // Instructions per operation of client ("plugin" or "floor") for a case key.
    std::optional<double> instructionsPerOp(const QString &client, const QString &caseKey);
    std::optional<double> systemCallsPerOp(const QString &client, const QString &caseKey);
    QString errorString() const { return error; }

private:
    using Total = std::optional<qint64>;
    using Tool = Total (ClientCounts::*)(const QString &, const QString &, int);

    std::optional<double> perOp(Tool tool, const QString &client, const QString &caseKey, int ops);
    Total callgrindTotal(const QString &client, const QString &caseKey, int ops);
    Total straceTotal(const QString &client, const QString &caseKey, int ops);
    bool runChild(QStringList wrapper, const QString &client, const QString &caseKey, int ops);
    QString readOutput(const QString &path);

    QString program;
    QString pluginPath;
    QHash<QString, double> known; // by tool, client and case
    QTemporaryDir work;
    std::unique_ptr<SimServerHost> server;
    QString error;
};

#endif
