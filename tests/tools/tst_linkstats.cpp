// The link's figures: percentiles over the ring of the latest polls, and
// polls late or missed against the interval.
#include <QtTest>

#include "LinkStats.h"

using Times = QList<qint64>;
// Each poll: its start (ms) and its time (ms).
using Polls = QList<QPair<qint64, qint64>>;

class TstLinkStats : public QObject
{
    Q_OBJECT

private slots:
    void percentiles_data()
    {
        QTest::addColumn<Times>("times");
        QTest::addColumn<qint64>("median");
        QTest::addColumn<qint64>("p99");
        Times ramp, wrapped;
        for (qint64 t = 100; t >= 1; --t)
            ramp << t;
        for (int i = 0; i < LinkStats::kWindow; ++i)
            wrapped << 1000000;   // pushed out by the next 1000
        for (qint64 t = 1; t <= LinkStats::kWindow; ++t)
            wrapped << t;
        QTest::addRow("none") << Times{} << qint64(0) << qint64(0);
        QTest::addRow("100 down to 1") << ramp << qint64(50) << qint64(99);
        QTest::addRow("the latest 1000") << wrapped << qint64(500) << qint64(990);
    }
    void percentiles()
    {
        QFETCH(Times, times);
        QFETCH(qint64, median);
        QFETCH(qint64, p99);
        LinkStats stats;
        for (qint64 t : times) {
            LinkStats::Poll poll;
            poll.tookUs = t;
            stats.add(poll);
        }
        QCOMPARE(stats.percentileUs(50), median);
        QCOMPARE(stats.percentileUs(99), p99);
    }
    void lateAndMissed_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<Polls>("polls");
        QTest::addColumn<int>("late");
        QTest::addColumn<int>("missed");
        QTest::addRow("on time") << 100 << Polls{{0, 10}, {110, 10}, {220, 10}} << 0 << 0;
        QTest::addRow("a poll longer than the interval") << 100 << Polls{{0, 150}, {250, 10}} << 1 << 0;
        QTest::addRow("due 1 s earlier") << 100 << Polls{{0, 10}, {1110, 10}} << 0 << 10;
        QTest::addRow("less than an interval over") << 100 << Polls{{0, 10}, {209, 10}} << 0 << 0;
        QTest::addRow("as fast as possible") << 0 << Polls{{0, 10}, {5000, 900}} << 0 << 0;
    }
    void lateAndMissed()
    {
        QFETCH(int, interval);
        QFETCH(Polls, polls);
        QFETCH(int, late);
        QFETCH(int, missed);
        LinkStats stats(interval);
        for (const auto &p : polls) {
            LinkStats::Poll poll;
            poll.startMs = p.first;
            poll.tookUs = p.second * 1000;
            stats.add(poll);
        }
        QCOMPARE(int(stats.late()), late);
        QCOMPARE(int(stats.missed()), missed);
    }
};

QTEST_GUILESS_MAIN(TstLinkStats)
#include "tst_linkstats.moc"
