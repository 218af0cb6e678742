// Merged reads: which tags one job reads (areas, the reply's size, the gap
// rule, addresses not certain), and against a simulated PLC through the
// plug-in, that a tag decoded from a merged job is the record its own read
// gives, for every type, and that a failed job leaves each tag its own status.
#include <QRandomGenerator>
#include <QtTest>

#include "DriverSession.h"
#include "PollLoop.h"
#include "ReadPlan.h"
#include "SimPlc.h"
#include "TestFrames.h"
#include "ValueFormatter.h"

namespace {
const int kDb = 1;
const int kDbBytes = 64;

QList<TagSpec> specs(const QStringList &texts)
{
    QList<TagSpec> tags;
    for (const QString &t : texts) {
        TagSpec tag;
        QString error;
        if (!TagSpec::parse(t, &tag, &error))
            qWarning("%s", qPrintable(error));
        tags << tag;
    }
    return tags;
}

// "ADDRESS+LENGTH[tags]" for a merged job, "[tag]" for a tag's own read.
QString describe(ReadPlan &plan)
{
    QStringList jobs;
    for (const ReadPlan::Job &job : plan.jobs()) {
        QStringList tags;
        for (int t : job.tags)
            tags << QString::number(t);
        const QString list = QLatin1Char('[') + tags.join(QLatin1Char(',')) + QLatin1Char(']');
        jobs << (job.merged ? QStringLiteral("%1+%2%3").arg(job.address).arg(job.length).arg(list) : list);
    }
    return jobs.join(QStringLiteral(" "));
}

// Polls a given number of times, waiting for nothing.
class Polls : public PollLoop::Host
{
public:
    explicit Polls(int n) : left(n) {}
    bool wait(int) override { return true; }
    bool report(const PollLoop &, bool) override { return --left > 0; }
    int left;
};

// Merged reads even with the plug-in's extension there.
PollLoop::Options mergedReads()
{
    PollLoop::Options options;
    options.batch = false;
    return options;
}

} // namespace

class TstReadPlan : public QObject
{
    Q_OBJECT

private slots:
    void jobs_data()
    {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<int>("pdu");
        QTest::addColumn<QString>("jobs");
        QTest::addRow("areas and blocks apart, jobs in list order")
            << QStringList{"M4:int16", "DB1.DBW0:int16", "M0.3:bool", "DB2.DBW0:int16", "DB1.DBX3.7:bool", "I0:uint8", "I1:uint8"}
            << 240 << "M0+6[2,0] DB1.DBB0+4[1,4] [3] I0+2[5,6]";
        QTest::addRow("a job at the reply's size") << QStringList{"DB1.DBB0:uint8", "DB1.DBW220:int16"} << 240
                                                   << "DB1.DBB0+222[0,1]";
        QTest::addRow("a byte past it") << QStringList{"DB1.DBB0:uint8", "DB1.DBB221:int16"} << 240 << "[0] [1]";
        QTest::addRow("a larger PDU") << QStringList{"DB1.DBB0:uint8", "DB1.DBB221:int16"} << 960
                                      << "DB1.DBB0+223[0,1]";
        QTest::addRow("gap read through") << QStringList{"DB1.DBB0:uint8", "DB1.DBB682:uint8"} << 960
                                          << "DB1.DBB0+683[0,1]";
        QTest::addRow("gap a byte longer") << QStringList{"DB1.DBB0:uint8", "DB1.DBB683:uint8"} << 960 << "[0] [1]";
        QTest::addRow("overlapping tags") << QStringList{"M10:int32", "M12:int16", "M11:uint8"} << 240
                                          << "M10+4[0,2,1]";
        QTest::addRow("a tag too long for a job") << QStringList{"M0:uint8:223", "M1:uint8"} << 240 << "[0] [1]";
        QTest::addRow("Bool count in whole bytes") << QStringList{"M0.5:bool:9", "M2:uint8"} << 240 << "M0+3[0,1]";
        QTest::addRow("block form without bit is bit 0") << QStringList{"DB1.DBB2:bool", "DB1.DBB3:uint8"} << 240
                                                         << "DB1.DBB2+2[0,1]";
        QTest::addRow("V is data block 1") << QStringList{"V4:int16", "DB1.DBW0:int16"} << 240 << "DB1.DBB0+6[1,0]";
        // Forms whose bytes depend on how the plug-in cuts the text are read alone.
        QTest::addRow("width letter") << QStringList{"MW10:int16", "M0:int16"} << 240 << "[0] [1]";
        QTest::addRow("letter Bool without dot") << QStringList{"M1:bool", "M0:uint8"} << 240 << "[0] [1]";
        QTest::addRow("two-digit bit") << QStringList{"DB1.DBX1.10:bool", "DB1.DBB0:uint8"} << 240 << "[0] [1]";
        QTest::addRow("past the highest byte") << QStringList{"M65534:int16", "M65532:int16"} << 240 << "[0] [1]";
    }
    void jobs()
    {
        QFETCH(QStringList, tags);
        QFETCH(int, pdu);
        QFETCH(QString, jobs);
        ReadPlan plan(specs(tags), pdu);
        QCOMPARE(describe(plan), jobs);
        ReadPlan apart(specs(tags), pdu, false);
        QCOMPARE(apart.jobs().size(), tags.size());
    }
    void setApart()
    {
        ReadPlan plan(specs({"M0:int16", "M2:int16", "M4:int16"}));
        plan.setAlone(1, true);
        QCOMPARE(describe(plan), QStringLiteral("M0+6[0,2] [1]"));
        plan.setAlone(1, false);
        QCOMPARE(describe(plan), QStringLiteral("M0+6[0,1,2]"));
    }

    void initTestCase()
    {
        QString error;
        QVERIFY2(session.load(QString(), &error), qPrintable(error));
        plc.setFrameLog(true);   // the jobs are counted in the frames the PLC got
        plc.removeDataBlocks();
        plc.addDataBlock(kDb, kDbBytes);
        QVERIFY(plc.start());
        QVERIFY2(session.connectTo(endpoint(), &error), qPrintable(error));
    }
    void cleanupTestCase() { plc.stop(); }

    // Every served type at odd and even bytes, one and several elements,
    // Bools from several bits, in both areas' address forms: the record
    // decoded from the merged jobs is the record the tag's own read gives.
    void mergedAgreesWithOwnReads()
    {
        QRandomGenerator random(20261207);
        QByteArray bytes(kDbBytes, '\0');
        for (char &b : bytes)
            b = char(random.bounded(256));
        QVERIFY(plc.setMemory(SimPlc::AreaDataBlocks, kDb, 0, bytes));
        QVERIFY(plc.setMemory(SimPlc::AreaMarkers, 0, 0, bytes));
        const QList<TagSpec> tags = specs({
            "DB1.DBX0.0:bool", "DB1.DBX1.3:bool", "DB1.DBX2.7:bool:9", "DB1.DBB3:int8:3", "DB1.DBB7:uint8",
            "DB1.DBW9:int16", "DB1.DBW11:uint16:2", "DB1.DBD15:int32", "DB1.DBD19:uint32:2", "DB1.DBD27:float:3",
            "DB1.DBB39:int64", "DB1.DBB47:uint64", "DB1.DBB55:double",
            "M3.5:bool:3", "M4:int8", "M5:uint8:2", "M8:int16", "M10:uint16", "M12:int32:2", "M20:uint32",
            "M24:float", "M28:int64:2", "M44:uint64", "M52:double:2"});
        plc.clearReceivedFrames();
        PollLoop loop(session.driver(), endpoint(), tags, mergedReads());
        Polls one(1);
        loop.run(one, 0);
        QCOMPARE(readJobs(plc.receivedFrames()), 2);   // the block from byte 0, the markers from byte 3
        for (int i = 0; i < tags.size(); ++i) {
            const TagSpec &t = tags.at(i);
            const CLabelVariable own = session.driver()->ReadVariable(t.address, t.type, t.count);
            const CLabelVariable &merged = loop.states()[size_t(i)].lastGood;
            QCOMPARE(own.status, int(StatusOk));
            QCOMPARE(merged.status, own.status);
            QCOMPARE(merged.address, own.address);
            QCOMPARE(merged.dataType, own.dataType);
            QCOMPARE(merged.count, own.count);
            QCOMPARE(merged.value.userType(), own.value.userType());
            // Every element, a Bool read's bits past the count too.
            QCOMPARE(ValueFormatter::elements(merged.value, t.type, INT_MAX),
                     ValueFormatter::elements(own.value, t.type, INT_MAX));
        }
    }

    // A job that fails is split: each tag gets what its own read gives,
    // and a tag whose own read failed is read alone from then on.
    void failedJobSplits()
    {
        QVERIFY(plc.setMemory(SimPlc::AreaDataBlocks, kDb, 0, QByteArray::fromHex("0102")));
        QVERIFY(plc.setMemory(SimPlc::AreaDataBlocks, kDb, kDbBytes - 2, QByteArray::fromHex("0304")));
        const QList<TagSpec> tags = specs({"DB1.DBW0:int16", "DB1.DBW62:int16", "DB1.DBW64:int16", "DB9.DBW0:int16",
                                           "DB9.DBW2:int16"});
        QList<int> ownStatus;
        for (const TagSpec &t : tags)
            ownStatus << session.driver()->ReadVariable(t.address, t.type, t.count).status;
        QCOMPARE(ownStatus, (QList<int>{StatusOk, StatusOk, StatusBadReply, StatusBadReply, StatusBadReply}));

        plc.clearReceivedFrames();
        PollLoop loop(session.driver(), endpoint(), tags, mergedReads());
        Polls two(2);
        loop.run(two, 0);
        for (int i = 0; i < tags.size(); ++i)
            QCOMPARE(loop.states()[size_t(i)].status, ownStatus.at(i));
        QCOMPARE(loop.states()[0].lastGood.value.value<QList<short>>(), QList<short>{0x0102});
        QCOMPARE(loop.states()[1].lastGood.value.value<QList<short>>(), QList<short>{0x0304});
        // Poll 1: two jobs, then five own reads; poll 2: the good pair merged, three alone.
        QCOMPARE(readJobs(plc.receivedFrames()), 2 + 5 + 1 + 3);
        QVERIFY(loop.link().connected());
    }

private:
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(plc.port()); }

    SimPlc plc;
    DriverSession session{false};
};

QTEST_GUILESS_MAIN(TstReadPlan)
#include "tst_readplan.moc"
