#include "Measurements.h"

#include "BenchCase.h"
#include "ClientCounts.h"
#include "ScriptFigures.h"

namespace {
const QString kPluginClient = QStringLiteral("plugin");
}

Measurements::Measurements(const Options &options) : options(options) {}

Measurements::~Measurements() = default;

LatencyRun *Measurements::latency()
{
    if (!latencyRun && latencyError.isEmpty()) {
        auto run = std::make_unique<LatencyRun>(options.latency);
        if (run->run())
            latencyRun = std::move(run);
        else
            latencyError = QStringLiteral("latency run: ") + run->errorString();
    }
    if (!latencyRun)
        error = latencyError;
    return latencyRun.get();
}

std::optional<double> Measurements::timeRatio(const QString &key)
{
    if (const LatencyRun *run = latency())
        return run->timeRatio(key);
    return std::nullopt;
}

std::optional<double> Measurements::pluginMedianAllocations(const QString &key)
{
    if (const LatencyRun *run = latency())
        return run->pluginMedianAllocations(key);
    return std::nullopt;
}

std::optional<double> Measurements::pluginInstructionsPerOp(const QString &caseKey)
{
    return counted(&ClientCounts::instructionsPerOp, caseKey);
}

std::optional<double> Measurements::pluginSystemCallsPerOp(const QString &caseKey)
{
    return counted(&ClientCounts::systemCallsPerOp, caseKey);
}

std::optional<double> Measurements::pluginInstructionsPerTag(const BenchCase &batch)
{
    const std::optional<double> perBatch = pluginInstructionsPerOp(batch.key);
    return perBatch ? std::optional<double>(*perBatch / batch.count) : std::nullopt;
}

std::optional<double> Measurements::counted(Count count, const QString &caseKey)
{
    if (!counts)
        counts = std::make_unique<ClientCounts>(options.program, options.latency.pluginPath);
    const std::optional<double> figure = (counts.get()->*count)(kPluginClient, caseKey);
    if (!figure)
        error = counts->errorString();
    return figure;
}

std::optional<double> Measurements::pollCycleFigure(const QString &name)
{
    if (!pollCycle)
        pollCycle = std::make_unique<ScriptFigures>(options.benchDir + QStringLiteral("/poll-cycle.sh"),
                                                    QStringList{options.buildDir});
    const std::optional<double> figure = pollCycle->figure(name);
    if (!figure)
        error = pollCycle->errorString();
    return figure;
}
