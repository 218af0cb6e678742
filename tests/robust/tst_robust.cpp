// The driver, through its host interface, against a PLC that misbehaves:
// hostile replies, refused handshakes, a close during a job.
// Every job must end with its status within the driver's own waits, and a
// later ConnectDrive must bring the link back. Times are reported (qInfo),
// never asserted; memory and descriptors over long runs: the test soak.

#include <QElapsedTimer>
#include <QtTest>

#include "DriverPlugin.h"
#include "SimPlc.h"

namespace {

using Fault = SimPlc::Fault;

constexpr int TagDb = 1;
const QString Tag = QStringLiteral("DB1.DBB0"); // byte 0 of data block 1
// More than the 64 bytes a garbage reply may have: a garbage reply can never
// have the exact length of such a read's answer.
constexpr int BeyondGarbage = 40;
constexpr int HostLoopMs = 100;

// One job of a row: "r<bytes>" reads, "w<bytes>" writes that many bytes at Tag.
struct Job
{
    bool write;
    int bytes;
};

Job parseJob(const QString &text)
{
    return Job{text.startsWith(QLatin1Char('w')), text.mid(1).toInt()};
}

QByteArray pattern(int bytes, int seed)
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        out[i] = char(seed + 37 * i);
    return out;
}

QList<uchar> toList(const QByteArray &bytes)
{
    QList<uchar> list;
    for (char b : bytes)
        list.append(uchar(b));
    return list;
}

// Runs one job and reports its status and how long it took.
CLabelVariable runJob(CDriveBaseClass *driver, const Job &job, const QByteArray &payload, const char *label)
{
    QElapsedTimer timer;
    timer.start();
    CLabelVariable result;
    if (job.write) {
        CLabelVariable value;
        value.value = QVariant::fromValue(toList(payload));
        result = driver->WriteVariable(Tag, UInt8, value, job.bytes);
    } else {
        result = driver->ReadVariable(Tag, UInt8, job.bytes);
    }
    qInfo("%s: %s of %d bytes: status %d after %lld ms", label, job.write ? "write" : "read", job.bytes,
          result.status, timer.elapsed());
    return result;
}

int connectTo(CDriveBaseClass *driver, const SimPlc &sim, const char *label)
{
    QElapsedTimer timer;
    timer.start();
    const int result = driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    qInfo("%s: ConnectDrive %d after %lld ms", label, result, timer.elapsed());
    return result;
}

} // namespace

class tst_Robust : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        DriverPlugin host;
        QVERIFY2(host.create(), qPrintable(host.errorString()));
    }
    void hostileReplies_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("param");
        QTest::addColumn<QStringList>("jobs");
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("plcCloses");

        const auto row = [](const char *name, Fault fault, int param, const QString &jobs, QList<int> statuses,
                            bool closes = false) {
            QTest::addRow("%s", name) << int(fault) << param << jobs.split(QLatin1Char(' ')) << statuses << closes;
        };
        row("silent", Fault::Silent, 0, "r2 w2", {StatusNoReply, StatusNoReply});
        row("short reply", Fault::ShortReply, 0, "r2 w2", {StatusBadReply, StatusBadReply});
        // The second halves arrive as the next job's answer: wrong length again.
        row("split reply", Fault::SplitReply, 0, "r2 w2 r2", {StatusBadReply, StatusBadReply, StatusBadReply});
        row("garbage", Fault::Garbage, 0, QStringLiteral("r%1 r%1 r%1").arg(BeyondGarbage),
            {StatusBadReply, StatusBadReply, StatusBadReply});
        row("huge reply", Fault::HugeReply, 0, "r2 w2 r2", {StatusBadReply, StatusBadReply, StatusBadReply});
        // Only the first byte is taken; the rest trickles into later jobs.
        row("byte by byte", Fault::ByteByByte, 0, "r2 w2 r2", {StatusBadReply, StatusBadReply, StatusBadReply});
        row("close mid reply", Fault::CloseMidReply, 0, "r2 r2 w2", {StatusBadReply, StatusNotConnected, StatusNotConnected},
            true);
        // Each request gets the answer to the one before: judged by its length.
        row("previous reply", Fault::PreviousReply, 0, "r2 r2 r4 w2 r2",
            {StatusNoReply, StatusOk, StatusBadReply, StatusBadReply, StatusBadReply});
    }
    void hostileReplies()
    {
        QFETCH(int, fault);
        QFETCH(int, param);
        QFETCH(QStringList, jobs);
        QFETCH(QList<int>, statuses);
        QFETCH(bool, plcCloses);
        QCOMPARE(jobs.size(), statuses.size());

        SimPlc sim;
        QVERIFY(sim.start());
        DriverPlugin host;
        CDriveBaseClass *driver = host.create();
        QCOMPARE(connectTo(driver, sim, QTest::currentDataTag()), ConnectOk);
        sim.setFault(Fault(fault), param);
        for (int i = 0; i < jobs.size(); ++i) {
            const Job job = parseJob(jobs.at(i));
            const CLabelVariable result = runJob(driver, job, pattern(job.bytes, i), QTest::currentDataTag());
            QCOMPARE(result.status, statuses.at(i));
            if (result.status != StatusOk)
                QVERIFY(!result.value.isValid() || job.write);
            if (plcCloses)
                QTRY_COMPARE(sim.connectionCount(), 0);
            QTest::qWait(HostLoopMs); // the host's event loop runs between its calls
        }
        verifyRecovery(driver, sim);
    }
    void handshakeUnderFault_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("param");

        QTest::addRow("refused") << int(Fault::RefuseConnect) << 0;
        QTest::addRow("silent") << int(Fault::Silent) << 0;
        QTest::addRow("short reply") << int(Fault::ShortReply) << 0;
    }
    // A failed handshake answers -2 and never leaves a half-open link.
    void handshakeUnderFault()
    {
        QFETCH(int, fault);
        QFETCH(int, param);

        SimPlc sim;
        QVERIFY(sim.start());
        sim.setFault(Fault(fault), param);
        DriverPlugin host;
        CDriveBaseClass *driver = host.create();
        QCOMPARE(connectTo(driver, sim, QTest::currentDataTag()), ConnectHandshakeFailed);
        QTRY_COMPARE(sim.connectionCount(), 0);
        QCOMPARE(runJob(driver, {false, 2}, {}, QTest::currentDataTag()).status, StatusNotConnected);
        verifyRecovery(driver, sim);
    }
    // Two PLCs on one host thread, the first one late: every driver object
    // keeps the bytes its own PLC sent. A late reply stays with the object
    // that asked for it and answers its next job; it never becomes the
    // answer of the other PLC, which stays silent here.
    void twoPlcsOneLate()
    {
        SimPlc late, silent;
        QVERIFY(late.start());
        QVERIFY(silent.start());
        const QByteArray lateBytes = QByteArrayLiteral("\xA1\x01"), silentBytes = QByteArrayLiteral("\xB2\x02");
        QVERIFY(late.setMemory(SimPlc::AreaDataBlocks, TagDb, 0, lateBytes));
        QVERIFY(silent.setMemory(SimPlc::AreaDataBlocks, TagDb, 0, silentBytes));
        DriverPlugin host;
        CDriveBaseClass *first = host.create();
        CDriveBaseClass *second = host.create();
        QCOMPARE(connectTo(first, late, "late"), ConnectOk);
        QCOMPARE(connectTo(second, silent, "silent"), ConnectOk);
        late.setFault(Fault::LateReply, 2500);
        silent.setFault(Fault::Silent);

        QCOMPARE(runJob(first, {false, 2}, {}, "late").status, StatusNoReply);
        QTest::qWait(1000); // the late reply arrives while the host's event loop runs
        const CLabelVariable unanswered = runJob(second, {false, 2}, {}, "silent");
        QCOMPARE(unanswered.status, StatusNoReply);
        QVERIFY(!unanswered.value.isValid());
        const CLabelVariable stale = runJob(first, {false, 2}, {}, "late");
        QCOMPARE(stale.status, StatusOk);
        QCOMPARE(stale.value.value<QList<uchar>>(), toList(lateBytes));
    }
private:
    // After a fault: the link comes back and carries data both ways.
    void verifyRecovery(CDriveBaseClass *driver, SimPlc &sim)
    {
        sim.setFault(Fault::None);
        QCOMPARE(connectTo(driver, sim, "recovery"), ConnectOk);
        const QByteArray bytes = pattern(4, 0x5A);
        QCOMPARE(runJob(driver, {true, 4}, bytes, "recovery").status, StatusOk);
        QCOMPARE(sim.memory(SimPlc::AreaDataBlocks, TagDb, 0, 4), bytes);
        const CLabelVariable read = runJob(driver, {false, 4}, {}, "recovery");
        QCOMPARE(read.status, StatusOk);
        QCOMPARE(read.value.value<QList<uchar>>(), toList(bytes));
        // Every earlier connection has been let go.
        QTRY_COMPARE(sim.connectionCount(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Robust)
#include "tst_robust.moc"
