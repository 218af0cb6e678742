#ifndef QUILLMARSH_MEASUREMENTS_H
#define QUILLMARSH_MEASUREMENTS_H

#include <QString>

#include <memory>
#include <optional>

#include "LatencyRun.h"

class BenchCase;
class ClientCounts;
class ScriptFigures;

// Every figure a goal judges, each measured when a goal first asks for it
// and kept for the next one: a run of selected goals measures only what
// they need. An empty answer means the figure could not be measured;
// errorString() says why.
class Measurements
{
public:
    struct Options
    {
        LatencyRun::Options latency;
        QString program;   // this program, run again as a lone client
        QString benchDir;  // bench/ in the source tree, for its scripts
        QString buildDir;  // the build whose programs the scripts run
    };

    explicit Measurements(const Options &options);
    ~Measurements();

    // LatencyRun's figures, by case key or LatencyRun::ConnectKey.
    std::optional<double> timeRatio(const QString &key);
    std::optional<double> pluginMedianAllocations(const QString &key);
    // ClientCounts' figures of the plug-in.
    std::optional<double> pluginInstructionsPerOp(const QString &caseKey);
    std::optional<double> pluginSystemCallsPerOp(const QString &caseKey);
    // Instructions per tag of a batch case.
    std::optional<double> pluginInstructionsPerTag(const BenchCase &batch);
    // A figure of poll-cycle.sh, the poll cycle over a slow link.
    std::optional<double> pollCycleFigure(const QString &name);
    QString errorString() const { return error; }

private:
    using Count = std::optional<double> (ClientCounts::*)(const QString &, const QString &);

    LatencyRun *latency();
    std::optional<double> counted(Count count, const QString &caseKey);

    Options options;
    std::unique_ptr<LatencyRun> latencyRun;
    QString latencyError; // why the run failed, once it has
    std::unique_ptr<ClientCounts> counts;
    std::unique_ptr<ScriptFigures> pollCycle;
    QString error;
};

#endif
