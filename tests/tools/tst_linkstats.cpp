// The link's figures: percentiles over the ring of the latest polls, and
// polls late or missed against the interval.
#include <QtTest>

#include "LinkStats.h"

using Times = QList<qint64>;
using Polls = QList<QPair<qint64, qint64>>;   // each poll's start and time, in ms

class TstLinkStats : public QObject
{
    Q_OBJECT

private slots:
    void percentiles_data()
    {
        QTest::addColumn<Times>("times");
        QTest::addColumn<qint64>("median");
        QTest::addColumn<qint64>("p99");
        Times ramp, wrapped;   // the first 1000 pushed out by the next
        for (qint64 i = 0; i < 2 * LinkStats::kWindow; ++i)
            wrapped << (i < LinkStats::kWindow ? 1000000 : i - LinkStats::kWindow + 1);
        for (qint64 t = 100; t >= 1; --t)
            ramp << t;
        QTest::addRow("none") << Times{} << qint64(0) << qint64(0);
        QTest::addRow("100 down to 1") << ramp << qint64(50) << qint64(99);
        QTest::addRow("the latest 1000") << wrapped << qint64(500) << qint64(990);
    }
    void percentiles()
    {
        QFETCH(Times, times);
        LinkStats stats;
        for (qint64 t : times)
            stats.add(LinkStats::Poll{0, t, 0, 0, 0, 0});
        QTEST(stats.percentileUs(50), "median");
        QTEST(stats.percentileUs(99), "p99");
    }
    void lateAndMissed_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<Polls>("polls");
        QTest::addColumn<quint64>("late");
        QTest::addColumn<quint64>("missed");
        QTest::addRow("on time") << 100 << Polls{{0, 10}, {110, 10}, {220, 10}} << quint64(0) << quint64(0);
        QTest::addRow("a poll longer than the interval") << 100 << Polls{{0, 150}, {250, 10}} << quint64(1) << quint64(0);
        QTest::addRow("due 1 s earlier") << 100 << Polls{{0, 10}, {1110, 10}} << quint64(0) << quint64(10);
        QTest::addRow("less than an interval over") << 100 << Polls{{0, 10}, {209, 10}} << quint64(0) << quint64(0);
        QTest::addRow("as fast as possible") << 0 << Polls{{0, 10}, {5000, 900}} << quint64(0) << quint64(0);
    }
    void lateAndMissed()
    {
        QFETCH(int, interval);
        QFETCH(Polls, polls);
        LinkStats stats(interval);
        for (const auto &p : polls)
            stats.add(LinkStats::Poll{p.first, p.second * 1000, 0, 0, 0, 0});
        QTEST(stats.late(), "late");
        QTEST(stats.missed(), "missed");
    }
};

QTEST_GUILESS_MAIN(TstLinkStats)
#include "tst_linkstats.moc"
