#include "ScriptFigures.h"

#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace {
constexpr int kScriptTimeoutMs = 600000;
const QString kFigure = QStringLiteral("figure");
} // namespace

ScriptFigures::ScriptFigures(const QString &script, const QStringList &arguments)
    : script(script), arguments(arguments)
{
}

std::optional<double> ScriptFigures::figure(const QString &name)
{
    if (!ran && !run())
        return std::nullopt;
    if (!figures.contains(name)) {
        error = QStringLiteral("%1 gave no figure %2").arg(QFileInfo(script).fileName(), name);
        return std::nullopt;
    }
    return figures.value(name);
}

bool ScriptFigures::run()
{
    ran = true;
    const QString title = QFileInfo(script).fileName();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("bash"), QStringList{script} + arguments);
    if (!process.waitForStarted() || !process.waitForFinished(kScriptTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        error = QStringLiteral("%1 did not finish").arg(title);
        return false;
    }
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = line.split(QLatin1Char(' '));
        bool number = false;
        const double value = words.size() == 3 && words.first() == kFigure ? words.last().toDouble(&number) : 0.0;
        if (number)
            figures.insert(words.at(1), value);
        else if (!line.isEmpty())
            std::printf("%s: %s\n", qPrintable(title), qPrintable(line));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = QStringLiteral("%1 failed (exit code %2)").arg(title).arg(process.exitCode());
        return false;
    }
    return true;
}
