#ifndef QUILLMARSH_CLIRUN_H
#define QUILLMARSH_CLIRUN_H

#include <QProcess>
#include <QString>
#include <QStringList>

// The command-line host run as a process of its own, with every wait bounded.
struct CliRun
{
    static constexpr int kRunMs = 30000;

    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;

    static QString program() { return QStringLiteral(QUILLMARSH_CLI_PROGRAM); }

    static CliRun run(const QStringList &args)
    {
        QProcess p;
        p.start(program(), args);
        CliRun r;
        if (!p.waitForFinished(kRunMs)) {
            p.kill();
            p.waitForFinished(kRunMs);
            r.err = QStringLiteral("timed out");
            return r;
        }
        r.exitCode = p.exitCode();
        r.status = p.exitStatus();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
};

#endif
