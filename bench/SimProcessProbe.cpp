#include "SimProcessProbe.h"

#include <QRegularExpression>

namespace {
constexpr int StartMs = 10000;
constexpr int StopMs = 5000;
}

SimProcessProbe::~SimProcessProbe()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(StopMs);
    }
}

bool SimProcessProbe::start(const QString &program, const QStringList &arguments)
{
    output.clear();
    process.start(program, QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
    QRegularExpressionMatch match;
    while (!(match = listening.match(QString::fromLatin1(output))).hasMatch() && process.waitForReadyRead(StartMs))
        output += process.readAllStandardOutput();
    listenPort = quint16(match.captured(1).toInt());
    return listenPort != 0;
}

bool SimProcessProbe::stop()
{
    process.terminate();
    if (!process.waitForFinished(StopMs)) {
        process.kill();
        process.waitForFinished(StopMs);
        return false;
    }
    output += process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && output.endsWith("stopped\n");
}
