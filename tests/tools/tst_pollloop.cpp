// The poll loop of watch and panel against a driver whose answers are
// scripted: when it counts the PLC as gone, how long it waits before each
// reconnect attempt, what it shows meanwhile, and which values it keeps.
#include <QtTest>

#include "CDriveBaseClass.h"
#include "PollLoop.h"

namespace {
class ScriptedDriver : public CDriveBaseClass
{
public:
    QList<int> readStatuses;     // taken one per read; 0 when empty
    QList<int> connectResults;   // taken one per ConnectDrive; refused when empty
    int reads = 0;
    int calls = 0;
    int connects = 0;

    int ConnectDrive(QString) override
    {
        ++connects;
        return connectResults.isEmpty() ? int(ConnectTimeout) : connectResults.takeFirst();
    }
    CLabelVariable ReadVariable(QString address, DataType type, int count) override
    {
        ++calls;
        CLabelVariable r;
        r.address = address;
        r.dataType = type;
        r.count = count;
        r.status = readStatuses.isEmpty() ? int(StatusOk) : readStatuses.takeFirst();
        if (r.status == StatusOk && type == UInt8)   // a merged job: its reply a byte short
            r.value = QVariant::fromValue(QVector<uchar>(count - 1, 0xab).toList());
        else if (r.status == StatusOk)
            r.value = QVariant::fromValue(QList<short>{short(++reads)});
        return r;
    }
    QString getDriveName() override { return QString(); }
    QString getversion_number() override { return QString(); }
    QString DebugCmd(EDebugCmdType) override { return QString(); }
    void SetConnectPar(QString) override {}
    int DisConnectDrive() override { return ReleaseDone; }
    CLabelVariable ReadVariable(QString a, DataType t) override { return ReadVariable(a, t, 1); }
    CLabelVariable WriteVariable(QString, DataType, CLabelVariable) override { return CLabelVariable(); }
    CLabelVariable WriteVariable(QString, DataType, CLabelVariable, int) override { return CLabelVariable(); }
    int DestroyFree() override { return ReleaseDone; }
};

// The same with the extension: each batch answered with the statuses of
// one scripted poll.
class ScriptedBatchDriver : public QObject, public ScriptedDriver, public CDriveExtension
{
    Q_OBJECT
    Q_INTERFACES(CDriveExtension)
public:
    QList<QList<int>> batchStatuses;   // taken one list per batch

    QList<CLabelVariable> readVariables(const QList<Tag> &tags) override
    {
        QList<CLabelVariable> records;
        const QList<int> statuses = batchStatuses.isEmpty() ? QList<int>() : batchStatuses.takeFirst();
        for (int i = 0; i < tags.size(); ++i) {
            CLabelVariable r;
            r.status = statuses.value(i, StatusOk);
            records << r;
        }
        return records;
    }
    bool setConnectionOptions(const ConnectionOptions &) override { return true; }
    ConnectionOptions connectionOptions() const override { return ConnectionOptions(); }
    Negotiated negotiated() const override { return Negotiated(); }
    QList<CLabelVariable> writeVariables(const QList<Tag> &) override { return {}; }
    QList<Why> lastWhy() const override { return {}; }
    Why lastJobWhy() const override { return Why(); }
    int readSzl(quint16, quint16, QByteArray *, Why *) override { return StatusBadReply; }
    int readIdentity(CpuIdentity *, Why *) override { return StatusBadReply; }
    int readOperatingState(OperatingState *, Why *) override { return StatusBadReply; }
    int readProtection(Protection *, Why *) override { return StatusBadReply; }
    int readDiagnosticBuffer(QList<DiagnosticEvent> *, Why *) override { return StatusBadReply; }
    int readClock(QDateTime *, Why *) override { return StatusBadReply; }
};

// Records what the loop asked for: every wait and every report, with the
// connection text shown; ends the loop after maxReports.
class RecordingHost : public PollLoop::Host
{
public:
    explicit RecordingHost(int reports) : maxReports(reports) {}
    bool wait(int ms) override
    {
        events << QStringLiteral("wait %1").arg(ms);
        return true;
    }
    bool report(const PollLoop &loop, bool polled) override
    {
        events << (polled ? QStringLiteral("poll") : QStringLiteral("attempt"));
        texts << (loop.link().connected() ? QString() : loop.link().stateText());
        values << loop.states().front().lastGood.value.value<QList<short>>().value(0);
        return ++reports < maxReports;
    }
    int maxReports;
    int reports = 0;
    QStringList events;
    QStringList texts;
    QList<short> values;
};

QList<TagSpec> oneTag()
{
    TagSpec tag;
    tag.address = QStringLiteral("DB1.DBW0");
    tag.type = Int16;
    return {tag};
}
} // namespace

class TstPollLoop : public QObject
{
    Q_OBJECT

private slots:
    void lostAfter_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("connected");
        QTest::addRow("reads ok") << QList<int>{StatusOk, StatusOk} << true;
        QTest::addRow("not connected once") << QList<int>{StatusOk, StatusNotConnected} << false;
        QTest::addRow("one read without answer") << QList<int>{StatusNoReply} << true;
        QTest::addRow("two reads without answer") << QList<int>{StatusOk, StatusNoReply, StatusNoReply} << false;
        QTest::addRow("answers in between") << QList<int>{StatusNoReply, StatusOk, StatusNoReply} << true;
        QTest::addRow("bad replies") << QList<int>{StatusBadReply, StatusBadReply, StatusBadAddress} << true;
    }
    void lostAfter()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, connected);
        ScriptedDriver driver;
        Reconnector link(&driver, QStringLiteral("127.0.0.1:102"));
        for (int s : statuses)
            link.note(s);
        QCOMPARE(link.connected(), connected);
        QCOMPARE(driver.connects, 0);   // noting never connects by itself
    }
    // A batch counts as one read for the link, with its worst status.
    void batchLostAfter_data()
    {
        QTest::addColumn<QList<QList<int>>>("polls");
        QTest::addColumn<bool>("connected");
        const int none = StatusNoReply;
        QTest::addRow("one batch without answer") << QList<QList<int>>{{none, none}} << true;
        QTest::addRow("two batches without answer") << QList<QList<int>>{{StatusOk, none}, {none, StatusOk}} << false;
        QTest::addRow("not connected after no answer") << QList<QList<int>>{{none, StatusNotConnected}} << false;
        QTest::addRow("bad replies") << QList<QList<int>>{{StatusBadReply}, {StatusBadReply}} << true;
    }
    void batchLostAfter()
    {
        QFETCH(QList<QList<int>>, polls);
        QFETCH(bool, connected);
        ScriptedBatchDriver driver;
        driver.batchStatuses = polls;
        RecordingHost host(polls.size());
        PollLoop loop(&driver, QStringLiteral("127.0.0.1:102"), oneTag() + oneTag());
        QVERIFY(loop.batching());
        loop.run(host, 0);
        QCOMPARE(loop.link().connected(), connected);
        QCOMPARE(driver.calls, 0);   // no ReadVariable besides the batches
    }
    // After a lost link the loop waits only the back-off before each attempt
    // (no poll interval on top), shows attempts counted from 1, keeps the last
    // good value meanwhile, and polls at once when the link is back.
    void reconnectsWithBackoff()
    {
        ScriptedDriver driver;
        driver.readStatuses = {StatusOk, StatusNotConnected};
        driver.connectResults = {ConnectTimeout, ConnectHandshakeFailed, ConnectTimeout, ConnectTimeout,
                                 ConnectTimeout, ConnectTimeout, ConnectOk};
        RecordingHost host(10);
        PollLoop loop(&driver, QStringLiteral("127.0.0.1:102"), oneTag());
        const QString before = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        loop.run(host, 1000);
        const QString after = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        QCOMPARE(host.events, (QStringList{"poll", "wait 1000", "poll", "wait 500", "attempt", "wait 1000",
                                           "attempt", "wait 2000", "attempt", "wait 4000", "attempt", "wait 5000",
                                           "attempt", "wait 5000", "attempt", "wait 5000", "poll", "wait 1000", "poll"}));
        // Down since the loss was noted, the same time in every attempt's text.
        const QString since = host.texts.at(1).section(QStringLiteral("down since "), 1);
        QVERIFY2(since == before || since == after, qPrintable(host.texts.at(1)));
        const QString lost = QStringLiteral("reconnecting to 127.0.0.1:102 (attempt %1), down since ") + since;
        QCOMPARE(host.texts, (QStringList{QString(), lost.arg(1), lost.arg(2), lost.arg(3), lost.arg(4), lost.arg(5),
                                          lost.arg(6), lost.arg(7), QString(), QString()}));
        QCOMPARE(host.values, (QList<short>{1, 1, 1, 1, 1, 1, 1, 1, 2, 3}));
        QCOMPARE(loop.link().waitMs(), 500);   // the next loss starts over
        QCOMPARE(loop.link().attempts(), 0);
    }
    // A merged job answered "not connected" gives each of its tags that
    // status, and with the link gone none is read alone. A reply short of
    // the job decodes no tag (the last one's second byte is missing): each
    // is read alone.
    void mergedJobFails_data()
    {
        QTest::addColumn<int>("jobStatus");
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("tagStatus");
        QTest::addRow("not connected") << int(StatusNotConnected) << 1 << int(StatusNotConnected);
        QTest::addRow("reply a byte short") << int(StatusOk) << 3 << int(StatusOk);
    }
    void mergedJobFails()
    {
        QFETCH(int, jobStatus);
        QFETCH(int, calls);
        QFETCH(int, tagStatus);
        ScriptedDriver driver;
        driver.readStatuses = {jobStatus};
        QList<TagSpec> tags = oneTag() + oneTag();
        tags[1].address = QStringLiteral("DB1.DBW2");
        RecordingHost host(1);
        PollLoop loop(&driver, QStringLiteral("127.0.0.1:102"), tags);
        loop.run(host, 1000);
        QCOMPARE(driver.calls, calls);
        QCOMPARE(loop.states()[0].status, tagStatus);
        QCOMPARE(loop.states()[1].status, tagStatus);
        QCOMPARE(loop.link().connected(), tagStatus == StatusOk);
    }
};

QTEST_GUILESS_MAIN(TstPollLoop)
#include "tst_pollloop.moc"
