// Two driver objects used at the same time, each created, used and deleted
// on its own thread, do not disturb each other: every read gives back what
// that object itself wrote just before, never the other one's bytes.

#include <QThread>
#include <QtTest>

#include <memory>

#include "DriverPlugin.h"
#include "SimPlc.h"

namespace {

constexpr int Cycles = 500;
constexpr int Bytes = 8;
constexpr int ThreadWaitMs = 120000;

struct Outcome
{
    int connect = -100;
    int cyclesDone = 0;
    QString firstFailure;
    QByteArray lastWritten;
};

// Bytes unique to the worker and the cycle.
QByteArray pattern(int worker, int cycle)
{
    QByteArray out(Bytes, '\0');
    for (int i = 0; i < Bytes; ++i)
        out[i] = char(worker * 0x40 + cycle * 7 + i);
    return out;
}

QList<uchar> toList(const QByteArray &bytes)
{
    QList<uchar> list;
    for (char b : bytes)
        list.append(uchar(b));
    return list;
}

// Whole life of one driver object on the calling thread: write a pattern,
// read it back, with a Float read between to vary the frames in flight.
void work(int worker, quint16 port, const QString &tag, Outcome *outcome)
{
    DriverPlugin host;
    CDriveBaseClass *driver = host.create();
    outcome->connect = driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(port));
    if (outcome->connect != 0)
        return;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        const QByteArray bytes = pattern(worker, cycle);
        CLabelVariable value;
        value.value = QVariant::fromValue(toList(bytes));
        const CLabelVariable written = driver->WriteVariable(tag, UInt8, value, Bytes);
        const CLabelVariable other = driver->ReadVariable(tag, Float, Bytes / 4);
        const CLabelVariable read = driver->ReadVariable(tag, UInt8, Bytes);
        if (written.status != StatusOk || other.status != StatusOk || read.status != StatusOk
            || read.value.value<QList<uchar>>() != toList(bytes)) {
            outcome->firstFailure = QStringLiteral("cycle %1: write %2, float read %3, read %4")
                                        .arg(cycle).arg(written.status).arg(other.status).arg(read.status);
            break;
        }
        outcome->lastWritten = bytes;
        outcome->cyclesDone = cycle + 1;
    }
    driver->DestroyFree();
}

} // namespace

class tst_TwoThreads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        DriverPlugin host;
        QVERIFY2(host.create(), qPrintable(host.errorString()));
    }
    void concurrentObjects_data()
    {
        QTest::addColumn<bool>("twoPlcs");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QList<int>>("blocks");

        QTest::addRow("one PLC, two data blocks") << false << QStringList{"DB1.DBB0", "DB2.DBB0"} << QList<int>{1, 2};
        QTest::addRow("one PLC, one block, neighbouring bytes")
            << false << QStringList{"DB10.DBB0", "DB10.DBB8"} << QList<int>{10, 10};
        QTest::addRow("two PLCs, same address") << true << QStringList{"DB1.DBB0", "DB1.DBB0"} << QList<int>{1, 1};
    }
    void concurrentObjects()
    {
        QFETCH(bool, twoPlcs);
        QFETCH(QStringList, tags);
        QFETCH(QList<int>, blocks);

        SimPlc plcs[2];
        QVERIFY(plcs[0].start());
        QVERIFY(!twoPlcs || plcs[1].start());
        SimPlc *plcOf[2] = {&plcs[0], twoPlcs ? &plcs[1] : &plcs[0]};

        Outcome outcomes[2];
        std::unique_ptr<QThread> threads[2];
        for (int w = 0; w < 2; ++w) {
            const quint16 port = plcOf[w]->port();
            const QString tag = tags.at(w);
            Outcome *outcome = &outcomes[w];
            threads[w].reset(QThread::create([=] { work(w, port, tag, outcome); }));
            threads[w]->start();
        }
        for (auto &thread : threads)
            QVERIFY(thread->wait(ThreadWaitMs));

        for (int w = 0; w < 2; ++w) {
            QCOMPARE(outcomes[w].connect, 0);
            QVERIFY2(outcomes[w].firstFailure.isEmpty(), qPrintable(outcomes[w].firstFailure));
            QCOMPARE(outcomes[w].cyclesDone, Cycles);
            const int offset = tags.at(w).section(QStringLiteral("DBB"), 1).toInt();
            QCOMPARE(plcOf[w]->memory(SimPlc::AreaDataBlocks, blocks.at(w), offset, Bytes), outcomes[w].lastWritten);
        }
        QTRY_COMPARE(plcs[0].connectionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_TwoThreads)
#include "tst_twothreads.moc"
