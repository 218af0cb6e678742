// The driver behind a network that silently drops every packet. The PLC (the
// simulator executable) runs in a private network namespace joined to this
// one by a veth pair on a /30 inside 10.213.0.0/16; nothing else on the
// machine is touched, and the namespace (with its pair) is removed again at
// the end. Names and subnet carry this process's id, so runs side by side
// keep apart. Packet loss is netem's "loss 100%" where the kernel has netem,
// else a blackhole route for the driver's address inside the namespace:
// either way the PLC's packets vanish without any error reaching either side.
// Without root or namespaces the test says so and skips.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

#include "DriverPlugin.h"

namespace {

const QString NamespacePrefix = QStringLiteral("quillmarsh-lossy-");
const QString PlcPort = QStringLiteral("10102");
const QString Tag = QStringLiteral("DB1.DBB0");

constexpr int CommandWaitMs = 10000;
constexpr int SimStartWaitMs = 10000;

// Runs a command to its end (bounded); true when it exits with 0.
bool run(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForStarted(CommandWaitMs) && process.waitForFinished(CommandWaitMs);
    if (!finished)
        process.kill();
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool ip(const QStringList &arguments, QString *output = nullptr)
{
    return run(QStringLiteral("ip"), arguments, output);
}

bool processGone(const QString &pid)
{
    return !QFile::exists("/proc/" + pid);
}

// What earlier runs left when killed before cleaning up: their namespaces
// (after stopping what still runs inside) and the root ends of their pairs,
// which outlive the namespace while its sockets linger.
void removeStaleRuns()
{
    QString list;
    ip({"netns", "list"}, &list);
    for (const QString &line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        if (!name.startsWith(NamespacePrefix) || !processGone(name.mid(NamespacePrefix.size())))
            continue;
        QString pids;
        ip({"netns", "pids", name}, &pids);
        for (const QString &pid : pids.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            run(QStringLiteral("kill"), {"-KILL", pid.trimmed()});
        ip({"netns", "delete", name});
    }
    ip({"-o", "link", "show"}, &list);
    const QRegularExpression rootEnd(QStringLiteral("^\\d+: (qml(\\d+)r)@"), QRegularExpression::MultilineOption);
    for (auto it = rootEnd.globalMatch(list); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (processGone(match.captured(2)))
            ip({"link", "delete", match.captured(1)});
    }
}

CLabelVariable job(CDriveBaseClass *driver, bool write)
{
    if (!write)
        return driver->ReadVariable(Tag, UInt8, 2);
    CLabelVariable value;
    value.value = QVariant::fromValue(QList<uchar>{0x12, 0x34});
    return driver->WriteVariable(Tag, UInt8, value, 2);
}

} // namespace

class tst_NetNs : public QObject
{
    Q_OBJECT

public:
    tst_NetNs()
    : pid(QCoreApplication::applicationPid()),
      nsName(NamespacePrefix + QString::number(pid)),
      rootLink(QStringLiteral("qml%1r").arg(pid)),
      plcLink(QStringLiteral("qml%1p").arg(pid))
    {
        // One /30 of 10.213.0.0/16 picked by the process id: .1 here, .2 for the PLC.
        const qint64 net = pid % (256 * 64);
        const QString base = QStringLiteral("10.213.%1.").arg(net / 64);
        rootAddress = base + QString::number(net % 64 * 4 + 1);
        plcAddress = base + QString::number(net % 64 * 4 + 2);
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make a network namespace");
        if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
            QSKIP("no ip command (iproute2) on this machine");
        DriverPlugin host;
        QVERIFY2(host.create(), qPrintable(host.errorString()));
        removeStaleRuns();
        QString addresses;
        ip({"-o", "-4", "address", "show"}, &addresses);
        if (addresses.contains(rootAddress + '/') || addresses.contains(plcAddress + '/'))
            QSKIP(qPrintable(rootAddress + "/30 is in use on this machine"));

        QString why;
        if (!ip({"netns", "add", nsName}, &why))
            QSKIP(qPrintable("cannot make a network namespace: " + why));
        made = true;
        // A failed initTestCase may not get its cleanup, so it cleans up itself.
        if (!makePair(&why)) {
            cleanupTestCase();
            QSKIP(qPrintable("cannot make the veth pair: " + why));
        }
        if (!startPlc(&why)) {
            cleanupTestCase();
            QFAIL(qPrintable("simulator did not start: " + why));
        }
    }
    void cleanupTestCase()
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(CommandWaitMs))
                sim.kill();
            sim.waitForFinished(CommandWaitMs);
        }
        if (made) {
            // Deleting the namespace deletes the pair; the second line catches a
            // root end left over by a half-made pair.
            ip({"netns", "delete", nsName});
            ip({"link", "delete", rootLink});
        }
        made = false;
    }
    void lossyNetwork_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("expected");

        QTest::addRow("read") << "read" << int(StatusNoReply);
        QTest::addRow("write") << "write" << int(StatusNoReply);
        // The PLC's answer to the TCP connection never arrives; Qt drops the
        // attempt when its connect wait runs out, so no connection is under way.
        QTest::addRow("connect") << "connect" << int(ConnectTimeout);
    }
    void lossyNetwork()
    {
        QFETCH(QString, step);
        QFETCH(int, expected);
        const QString plc = plcAddress + ':' + PlcPort;

        DriverPlugin host;

        CDriveBaseClass *driver = host.create();
        QCOMPARE(driver->ConnectDrive(plc), ConnectOk);
        QCOMPARE(job(driver, false).status, StatusOk);

        QVERIFY(applyLoss());
        QElapsedTimer timer;
        timer.start();
        int result = 0;
        if (step == QLatin1String("connect"))
            result = driver->ConnectDrive(plc);
        else
            result = job(driver, step == QLatin1String("write")).status;
        qInfo("lossy network (%s): %s gave %d after %lld ms", qPrintable(lossMethod), qPrintable(step), result,
              timer.elapsed());
        clearLoss();
        QCOMPARE(result, expected);

        // Once packets flow again, a new connection works.
        QCOMPARE(driver->ConnectDrive(plc), ConnectOk);
        QCOMPARE(job(driver, true).status, StatusOk);
        QCOMPARE(job(driver, false).value.value<QList<uchar>>(), (QList<uchar>{0x12, 0x34}));
        QCOMPARE(driver->DestroyFree(), ReleaseDone);
    }

private:
    bool makePair(QString *why)
    {
        const QString prefix = QStringLiteral("/30");
        return ip({"link", "add", rootLink, "type", "veth", "peer", "name", plcLink, "netns", nsName}, why)
               && ip({"address", "add", rootAddress + prefix, "dev", rootLink}, why)
               && ip({"link", "set", rootLink, "up"}, why)
               && ip({"-n", nsName, "address", "add", plcAddress + prefix, "dev", plcLink}, why)
               && ip({"-n", nsName, "link", "set", plcLink, "up"}, why)
               && ip({"-n", nsName, "link", "set", "lo", "up"}, why);
    }
    bool startPlc(QString *why)
    {
        QStringList command{"netns", "exec", nsName};
        // The simulator ends with this process even when it is killed.
        if (!QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            command << "setpriv" << "--pdeathsig" << "KILL";
        command << QStringLiteral(QUILLMARSH_SIM_EXECUTABLE) << "--port" << PlcPort << "--listen" << plcAddress;
        sim.setProcessChannelMode(QProcess::MergedChannels);
        sim.start(QStringLiteral("ip"), command);
        QByteArray said;
        QElapsedTimer timer;
        timer.start();
        while (!said.contains("listening on") && timer.elapsed() < SimStartWaitMs && sim.waitForReadyRead(1000))
            said += sim.readAll();
        *why = sim.errorString() + ' ' + QString::fromLocal8Bit(said);
        return said.contains("listening on");
    }
    bool applyLoss()
    {
        lossMethod = QStringLiteral("netem loss 100%");
        if (inNamespace(QStringLiteral("tc"), {"qdisc", "add", "dev", plcLink, "root", "netem", "loss", "100%"}))
            return true;
        lossMethod = QStringLiteral("blackhole route");
        return ip({"-n", nsName, "route", "add", "blackhole", rootAddress + "/32"});
    }
    void clearLoss()
    {
        if (lossMethod.startsWith(QLatin1String("netem")))
            inNamespace(QStringLiteral("tc"), {"qdisc", "del", "dev", plcLink, "root"});
        else
            ip({"-n", nsName, "route", "del", "blackhole", rootAddress + "/32"});
    }
    bool inNamespace(const QString &program, const QStringList &arguments)
    {
        return run(QStringLiteral("ip"), QStringList{"netns", "exec", nsName, program} + arguments);
    }

    const qint64 pid;
    const QString nsName;
    const QString rootLink;
    const QString plcLink;
    QString rootAddress;
    QString plcAddress;
    QProcess sim;
    QString lossMethod;
    bool made = false;
};

QTEST_GUILESS_MAIN(tst_NetNs)
#include "tst_netns.moc"
