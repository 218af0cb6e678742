// The driver behind a network that silently drops every packet. The PLC (the
// simulator executable) runs in a private network namespace joined to this
// one by a veth pair on 10.213.0.0/30; nothing else on the machine is
// touched, and the namespace (with its pair) is removed again at the end.
// Packet loss is netem's "loss 100%" where the kernel has netem, else a
// blackhole route for the driver's address inside the namespace: either way
// the PLC's packets vanish without any error reaching either side.
// Without root or namespaces the test says so and skips.

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

#include "LoadedDriver.h"

namespace {

const QString Namespace = QStringLiteral("quillmarsh-lossy");
const QString RootLink = QStringLiteral("qmlossy0");
const QString PlcLink = QStringLiteral("qmlossy1");
const QString RootAddress = QStringLiteral("10.213.0.1");
const QString PlcAddress = QStringLiteral("10.213.0.2");
const QString Prefix = QStringLiteral("/30");
const QString PlcPort = QStringLiteral("10102");
const QString Tag = QStringLiteral("DB1.DBB0");

constexpr int CommandWaitMs = 10000;
constexpr int SimStartWaitMs = 10000;
constexpr int StatusDone = 0;
constexpr int StatusNoAnswer = 8;
constexpr int ConnectNotUnderWay = -3;

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

bool inNamespace(const QString &program, const QStringList &arguments)
{
    return run(QStringLiteral("ip"), QStringList{"netns", "exec", Namespace, program} + arguments);
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

private slots:
    void initTestCase();
    void cleanupTestCase();
    void lossyNetwork_data();
    void lossyNetwork();

private:
    void removeNamespace();
    bool applyLoss();
    void clearLoss();

    QProcess m_sim;
    QString m_lossMethod;
    bool m_made = false;
};

void tst_NetNs::removeNamespace()
{
    // Deleting the namespace deletes the pair; the second line catches a
    // root end left over after a half-made setup.
    ip({"netns", "delete", Namespace});
    ip({"link", "delete", RootLink});
}

void tst_NetNs::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("needs root to make a network namespace");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        QSKIP("no ip command (iproute2) on this machine");
    QVERIFY2(LoadedDriver().isValid(), qPrintable(LoadedDriver::loadError()));
    removeNamespace(); // what a killed earlier run may have left
    QString addresses;
    ip({"-o", "-4", "address", "show"}, &addresses);
    if (addresses.contains(RootAddress) || addresses.contains(PlcAddress))
        QSKIP("10.213.0.0/30 is in use on this machine");

    QString why;
    if (!ip({"netns", "add", Namespace}, &why))
        QSKIP(qPrintable("cannot make a network namespace: " + why));
    m_made = true;
    const bool linked =
        ip({"link", "add", RootLink, "type", "veth", "peer", "name", PlcLink, "netns", Namespace}, &why)
        && ip({"address", "add", RootAddress + Prefix, "dev", RootLink}, &why)
        && ip({"link", "set", RootLink, "up"}, &why)
        && ip({"-n", Namespace, "address", "add", PlcAddress + Prefix, "dev", PlcLink}, &why)
        && ip({"-n", Namespace, "link", "set", PlcLink, "up"}, &why)
        && ip({"-n", Namespace, "link", "set", "lo", "up"}, &why);
    if (!linked) {
        cleanupTestCase();
        QSKIP(qPrintable("cannot make the veth pair: " + why));
    }

    m_sim.setProcessChannelMode(QProcess::MergedChannels);
    m_sim.start(QStringLiteral("ip"), {"netns", "exec", Namespace, QStringLiteral(QUILLMARSH_SIM_EXECUTABLE),
                                       "--port", PlcPort, "--listen", PlcAddress});
    QByteArray said;
    QElapsedTimer timer;
    timer.start();
    while (!said.contains("listening on") && timer.elapsed() < SimStartWaitMs && m_sim.waitForReadyRead(1000))
        said += m_sim.readAll();
    if (!said.contains("listening on")) {
        cleanupTestCase(); // a failed initTestCase may not get its cleanup
        QFAIL(qPrintable("simulator did not start: " + m_sim.errorString() + ' ' + said));
    }
}

void tst_NetNs::cleanupTestCase()
{
    if (m_sim.state() != QProcess::NotRunning) {
        m_sim.terminate();
        if (!m_sim.waitForFinished(CommandWaitMs))
            m_sim.kill();
        m_sim.waitForFinished(CommandWaitMs);
    }
    if (m_made)
        removeNamespace();
    m_made = false;
}

bool tst_NetNs::applyLoss()
{
    m_lossMethod = QStringLiteral("netem loss 100%");
    if (inNamespace(QStringLiteral("tc"), {"qdisc", "add", "dev", PlcLink, "root", "netem", "loss", "100%"}))
        return true;
    m_lossMethod = QStringLiteral("blackhole route");
    return ip({"-n", Namespace, "route", "add", "blackhole", RootAddress + "/32"});
}

void tst_NetNs::clearLoss()
{
    if (m_lossMethod.startsWith(QLatin1String("netem")))
        inNamespace(QStringLiteral("tc"), {"qdisc", "del", "dev", PlcLink, "root"});
    else
        ip({"-n", Namespace, "route", "del", "blackhole", RootAddress + "/32"});
}

void tst_NetNs::lossyNetwork_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("expected");

    QTest::addRow("read") << "read" << StatusNoAnswer;
    QTest::addRow("write") << "write" << StatusNoAnswer;
    // The PLC's answer to the TCP connection never arrives; Qt drops the
    // attempt when its connect wait runs out, so no connection is under way.
    QTest::addRow("connect") << "connect" << ConnectNotUnderWay;
}

void tst_NetNs::lossyNetwork()
{
    QFETCH(QString, step);
    QFETCH(int, expected);
    const QString plc = PlcAddress + ':' + PlcPort;

    LoadedDriver driver;
    QCOMPARE(driver->ConnectDrive(plc), 0);
    QCOMPARE(job(driver.operator->(), false).status, StatusDone);

    QVERIFY(applyLoss());
    QElapsedTimer timer;
    timer.start();
    int result = 0;
    if (step == QLatin1String("connect"))
        result = driver->ConnectDrive(plc);
    else
        result = job(driver.operator->(), step == QLatin1String("write")).status;
    qInfo("lossy network (%s): %s gave %d after %lld ms", qPrintable(m_lossMethod), qPrintable(step), result,
          timer.elapsed());
    clearLoss();
    QCOMPARE(result, expected);

    // Once packets flow again, a new connection works.
    QCOMPARE(driver->ConnectDrive(plc), 0);
    QCOMPARE(job(driver.operator->(), true).status, StatusDone);
    QCOMPARE(job(driver.operator->(), false).value.value<QList<uchar>>(), (QList<uchar>{0x12, 0x34}));
    QCOMPARE(driver->DestroyFree(), 0);
}

QTEST_GUILESS_MAIN(tst_NetNs)
#include "tst_netns.moc"
