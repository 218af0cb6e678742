// The extension through the plug-in as a host finds it (driveExtension()),
// against the simulated PLC. (Frames byte for byte and lying replies:
// tst_s7extension; against snap7's server: tests/interop/plugin-vs-snap7.js.)
#include <QScopeGuard>
#include <QtTest>

#include <cstdlib>

#include "CDriveExtension.h"
#include "DriverPlugin.h"
#include "SimPlc.h"

using Tag = CDriveExtension::Tag;
using Options = CDriveExtension::ConnectionOptions;
Q_DECLARE_METATYPE(DataType)
Q_DECLARE_METATYPE(SimPlc::Fault)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A record whose value is the list, as a write takes it.
template <typename T>
CLabelVariable record(const QList<T> &values)
{
    CLabelVariable r;
    r.value = QVariant::fromValue(values);
    return r;
}

int readJobs(const QList<QByteArray> &frames)
{
    int n = 0;
    for (const QByteArray &f : frames)
        n += f.size() > 17 && quint8(f.at(8)) == 0x01 && quint8(f.at(17)) == 0x04;
    return n;
}

quint16 referenceOf(const QByteArray &frame)
{
    return quint16(quint8(frame.at(11)) << 8 | quint8(frame.at(12)));
}

// The fields a host sees of a record, for comparing a batch's with a single read's.
QString shown(const CLabelVariable &r)
{
    QStringList values;
    if (r.value.canConvert<QVariantList>()) {
        for (const QVariant &v : r.value.value<QSequentialIterable>())
            values << v.toString();
    }
    return QStringLiteral("%1 %2 %3 x%4 [%5] type %6 stamped %7")
        .arg(r.address).arg(r.status).arg(int(r.dataType)).arg(r.count).arg(values.join(','))
        .arg(r.value.userType()).arg(r.timestamp.isValid());
}

// The most jobs the plug-in's log shows sent at once without their reply.
struct JobLog
{
    static inline int open = 0, most = 0;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
        if (text.contains(QString::fromUtf8("读命令")))
            most = qMax(most, ++open);
        else if (text.contains(QString::fromUtf8("响应")))
            --open;
    });
    JobLog() { open = most = 0; }
    ~JobLog() { qInstallMessageHandler(previous); }
};

} // namespace

class TstExtension : public QObject
{
    Q_OBJECT

    DriverPlugin host;
    SimPlc sim;
    CDriveBaseClass *drv = nullptr;
    CDriveExtension *ext = nullptr;

    QString target() const { return QStringLiteral("127.0.0.1:%1").arg(sim.port()); }

    // A new driver with these options, connected to the simulated S7-300
    // in its slot 2.
    CDriveBaseClass *connected(Options options = Options())
    {
        options.slot = 2;
        CDriveBaseClass *other = host.create();
        CDriveExtension *more = driveExtension(other);
        if (!more || !more->setConnectionOptions(options) || other->ConnectDrive(target()) != ConnectOk)
            return nullptr;
        return other;
    }

    // Every byte i of the area holds (i * 13 + seed) & 0xFF.
    void seed(SimPlc::Area area, int db, int size, int seed)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 13 + seed);
        QVERIFY(sim.setMemory(area, db, 0, bytes));
    }

    // Each record as ReadVariable returns it for the same tag.
    void compareWithSingleReads(const QList<Tag> &tags, const QList<CLabelVariable> &batch)
    {
        QCOMPARE(batch.size(), tags.size());
        for (int i = 0; i < tags.size(); ++i)
            QCOMPARE(shown(batch.at(i)), shown(drv->ReadVariable(tags.at(i).address, tags.at(i).type, tags.at(i).count)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(host.load(), qPrintable(host.errorString()));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QVERIFY(sim.setCpu(QStringLiteral("s7-300")));
        sim.setFrameLog(true);
        drv = connected();
        QVERIFY(drv);
        ext = driveExtension(drv);
        seed(SimPlc::AreaInputs, 0, 2048, 1);
        seed(SimPlc::AreaMarkers, 0, 2048, 2);
        seed(SimPlc::AreaDataBlocks, 1, 1024, 3);
        seed(SimPlc::AreaDataBlocks, 2, 1024, 4);
    }
    void init()
    {
        sim.setFault(SimPlc::Fault::None);
        sim.clearReceivedFrames();
    }
    void cleanupTestCase() { host.releaseAll(); }

    // 100 tags over inputs, markers and two data blocks, of mixed types,
    // counts and odd lengths: one job when the PDU has room for them all,
    // else the fewest jobs the item limit allows, as many in flight as
    // granted and no more (asked for 3; the simulated S7-300 grants 2); each
    // record as a single read gives it.
    void hundredTags_data()
    {
        QTest::addColumn<int>("spacing");
        QTest::addColumn<int>("pdu");
        QTest::addColumn<int>("jobs");
        QTest::addRow("close together, PDU 960") << 3 << 960 << 1;
        // No two merge: 100 items, at most 19 in a 240-byte request.
        QTest::addRow("far apart, PDU 240") << 40 << 240 << 6;
    }
    void hundredTags()
    {
        QFETCH(int, spacing);
        QFETCH(int, pdu);
        sim.setPduSize(pdu);
        Options options;
        options.pduSize = pdu;
        options.parallelJobs = 3;
        CDriveBaseClass *other = connected(options);
        QVERIFY(other);
        other->DebugCmd(DebugStart);
        const struct { DataType type; int count; } kinds[] = {
            {Bool, 1}, {Int8, 3}, {UInt16, 1}, {Bool, 9}, {Int32, 1}, {UInt8, 1}, {Float, 1}, {Int16, 1}, {UInt32, 1}};
        const QStringList areas{"I%1", "M%1", "DB1.DBB%1", "DB2.DBB%1"};
        QList<Tag> tags;
        for (int i = 0; i < 100; ++i) {
            const auto &kind = kinds[i % 9];
            const int byte = (i / 4) * spacing;
            QString address = areas.at(i % 4).arg(byte);
            if (kind.type == Bool)
                address = address.replace("DBB", "DBX") + QStringLiteral(".%1").arg(i % 8);
            tags << Tag{address, kind.type, kind.count};
        }
        sim.clearReceivedFrames();
        JobLog log;
        const QList<CLabelVariable> records = driveExtension(other)->readVariables(tags);
        QFETCH(int, jobs);
        QCOMPARE(readJobs(sim.receivedFrames()), jobs);
        const CDriveExtension::Negotiated granted = driveExtension(other)->negotiated();
        QCOMPARE(JobLog::most, qMin(jobs, qMin(granted.parallelJobsCalling, granted.parallelJobsCalled)));
        compareWithSingleReads(tags, records);
        sim.setPduSize(240);
        host.release(other);
    }

    // A tag longer than one reply carries is read in pieces and put together.
    void longTags_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("jobs");
        QTest::addRow("one byte more than a reply") << 0 << 223 << 2; // 222 at PDU 240
        QTest::addRow("800 bytes, odd start") << 17 << 800 << 4;
    }
    void longTags()
    {
        QFETCH(int, start);
        QFETCH(int, count);
        const CLabelVariable r = ext->readVariables({Tag{QStringLiteral("DB2.DBB%1").arg(start), UInt8, count}}).first();
        QCOMPARE(r.status, StatusOk);
        QTEST(readJobs(sim.receivedFrames()), "jobs");
        const QList<uchar> got = r.value.value<QList<uchar>>();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.toVector().constData()), got.size()).toHex(),
                 sim.memory(SimPlc::AreaDataBlocks, 2, start, count).toHex());
    }

    // An absent block fails its own tags, with its return code and text; a
    // tag merged with one past the end of its area is read again on its own.
    void failuresStayWithTheirTags()
    {
        const QList<Tag> tags{Tag{"DB1.DBW0", Int16}, Tag{"DB77.DBW0", Int16}, Tag{"DB77.DBD4", Float},
                              Tag{"M2044", Int32}, Tag{"M2046", Int32}};
        const QList<CLabelVariable> r = ext->readVariables(tags);
        const QList<CDriveExtension::Why> why = ext->lastWhy();
        QCOMPARE(readJobs(sim.receivedFrames()), 2);
        const QList<int> status{r[0].status, r[1].status, r[2].status, r[3].status, r[4].status};
        QCOMPARE(status, (QList<int>{StatusOk, StatusBadReply, StatusBadReply, StatusOk, StatusBadReply}));
        QCOMPARE(why[1].returnCode, quint8(0x0A));
        QVERIFY2(why[2].text.contains("object does not exist"), qPrintable(why[2].text));
        QCOMPARE(why[4].returnCode, quint8(0x05));
        QVERIFY(why[0].text.isEmpty() && why[3].text.isEmpty());
        compareWithSingleReads(tags, r);
    }

    void writes()
    {
        sim.setMemory(SimPlc::AreaMarkers, 0, 0, hex("f0 00 00 00 00 00 00"));
        const QDateTime callerTime(QDate(2001, 2, 3), QTime(4, 5, 6));
        QList<Tag> tags{Tag{"M0.3", Bool, 1, record(QList<bool>{true})},          // that bit alone
                        Tag{"M0.7", Bool, 2, record(QList<bool>{false, true})},   // over a byte boundary
                        Tag{"DB1.DBW10", Int16, 1, record(QList<short>{0x1234})},
                        Tag{"M4", Bool, 9, record(QList<bool>{true, false})},     // whole bytes, one element each
                        Tag{"I3", UInt8, 1, record(QList<uchar>{7})},             // sent; inputs are the PLC's
                        Tag{"DB77.DBB0", UInt8, 1, record(QList<uchar>{1})},
                        Tag{"M0", UInt8, -1, record(QList<uchar>{1})}};
        for (Tag &t : tags)
            t.value.timestamp = callerTime;
        const QList<CLabelVariable> r = ext->writeVariables(tags);
        QCOMPARE(sim.receivedFrames().size(), 1);
        QList<int> status;
        for (const CLabelVariable &record : r)
            status << record.status;
        QCOMPARE(status, (QList<int>{0, 0, 0, 0, StatusInputArea, StatusBadReply, StatusBadCount}));
        QCOMPARE(sim.memory(SimPlc::AreaMarkers, 0, 0, 6).toHex(' '), QByteArray("78 01 00 00 01 00"));
        QCOMPARE(sim.memory(SimPlc::AreaDataBlocks, 1, 10, 2).toHex(), QByteArray("1234"));
        QCOMPARE(sim.memory(SimPlc::AreaInputs, 0, 3, 1).toHex(), QByteArray("07"));
        QCOMPARE(ext->lastWhy().at(5).returnCode, quint8(0x0A));
        QVERIFY(r[0].timestamp > callerTime && r[5].timestamp == callerTime && r[6].timestamp == callerTime);
        QCOMPARE(r[6].count, -1);
    }

    // Batches draw no PDU reference from the single jobs' sequence, and the
    // last single job's why is kept.
    void singleJobsUntouched()
    {
        std::srand(7);
        drv->ReadVariable("M0", UInt8);
        drv->ReadVariable("M1", UInt8);
        const QList<QByteArray> alone = sim.receivedFrames();
        sim.clearReceivedFrames();
        std::srand(7);
        drv->ReadVariable("M0", UInt8);
        ext->readVariables({Tag{"M5", UInt8}, Tag{"DB1.DBW0", Int16}});
        QCOMPARE(drv->ReadVariable("DB77.DBB1", UInt8).status, StatusBadReply);
        const QList<QByteArray> mixed = sim.receivedFrames();
        QCOMPARE(mixed.size(), 3);
        QCOMPARE(referenceOf(mixed.at(0)), referenceOf(alone.at(0)));
        QCOMPARE(referenceOf(mixed.at(2)), referenceOf(alone.at(1)));
        QCOMPARE(ext->lastJobWhy().returnCode, quint8(0x0A));
    }

    void cpu()
    {
        CDriveExtension::CpuIdentity id;
        CDriveExtension::Why why;
        QCOMPARE(ext->readIdentity(&id, &why), StatusOk);
        QCOMPARE(id.orderNumber + ' ' + id.serialNumber, QStringLiteral("6ES7 315-2EH14-0AB0 S C-QM0000000300"));
        QByteArray list;
        QCOMPARE(ext->readSzl(0x001C, 0, &list, &why), StatusOk); // two data units at PDU 240
        QCOMPARE(list.size(), 8 + 10 * 34);
        CDriveExtension::OperatingState state;
        sim.setCpuRunning(false);
        QCOMPARE(ext->readOperatingState(&state, nullptr), StatusOk);
        sim.setCpuRunning(true);
        QCOMPARE(state.name, QStringLiteral("STOP"));
        QCOMPARE(ext->readSzl(0x0A77, 0, &list, &why), StatusBadReply);
        QCOMPARE(why.errorClass, quint8(0xD4));
    }

    // With PUT/GET access off, on an S7-1200, a batch's job is refused (a
    // 19-byte ack, class 0x81 code 0x04; a single job's, and an absent or
    // optimized block's item: tst_cli's causes).
    void refusedAccess()
    {
        SimPlc s1200;
        QVERIFY(s1200.start() && s1200.setPutGet(false));
        CDriveBaseClass *other = host.create();
        QCOMPARE(other->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(s1200.port())), ConnectOk);
        QCOMPARE(driveExtension(other)->readVariables({Tag{"M0", UInt8}}).first().status, StatusBadReply);
        const CDriveExtension::Why batch = driveExtension(other)->lastWhy().first();
        QVERIFY2(batch.errorClass == 0x81 && batch.errorCode == 0x04 && batch.text.contains("PUT/GET"), qPrintable(batch.text));
        host.release(other);
    }

    // The step a handshake failed at: the S7-300 closes the connection after
    // a request for 03.00. The session password lifts its protection, a
    // wrong one is refused with the CPU's error.
    void handshakeAndPassword()
    {
        CDriveBaseClass *other = host.create();
        CDriveExtension *more = driveExtension(other);
        QCOMPARE(other->ConnectDrive(target()), ConnectHandshakeFailed);
        QCOMPARE(more->lastConnectFailure(), int(CDriveExtension::ConnectStepRequest));
        host.release(other);
        QVERIFY(sim.setProtection(3, QStringLiteral("pw")));
        other = connected();
        more = driveExtension(other);
        const auto unprotect = qScopeGuard([&] {
            sim.setProtection(1, QString());
            host.release(other);
        });
        QCOMPARE(more->lastConnectFailure(), int(CDriveExtension::ConnectStepNone));
        CDriveExtension::Why why;
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusBadReply);
        QCOMPARE(more->sendPassword(QStringLiteral("pW"), &why), StatusBadReply);
        QCOMPARE(why.errorClass << 8 | why.errorCode, 0xD602);
        QCOMPARE(more->sendPassword(QStringLiteral("pw"), &why), StatusOk);
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusOk);
    }

    // Replies are whole frames, however they arrive; no wait is longer than
    // a single job's, and a reply that comes too late answers nothing later.
    void replyArrival_data()
    {
        QTest::addColumn<SimPlc::Fault>("fault");
        QTest::addColumn<int>("param");
        QTest::addColumn<int>("status");
        QTest::addRow("split over two segments") << SimPlc::Fault::SplitReply << 0 << int(StatusOk);
        QTest::addRow("no reply") << SimPlc::Fault::Silent << 0 << int(StatusNoReply);
        QTest::addRow("no frame") << SimPlc::Fault::Garbage << 0 << int(StatusBadReply);
        QTest::addRow("too late") << SimPlc::Fault::LateReply << 2300 << int(StatusNoReply);
    }
    void replyArrival()
    {
        QFETCH(SimPlc::Fault, fault);
        QFETCH(int, param);
        CDriveBaseClass *other = connected();
        QVERIFY(other);
        QList<Tag> tags;
        for (int i = 0; i < 40; ++i)
            tags << Tag{QStringLiteral("M%1").arg(i * 40), UInt8}; // three jobs
        sim.setFault(fault, param);
        QElapsedTimer clock;
        clock.start();
        const QList<CLabelVariable> r = driveExtension(other)->readVariables(tags);
        // One job's wait at most, not one per job.
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        for (const CLabelVariable &record : r)
            QTEST(record.status, "status");
        sim.setFault(SimPlc::Fault::None);
        if (fault == SimPlc::Fault::LateReply) {
            QTest::qWait(500); // the late reply is in by now
            QCOMPARE(driveExtension(other)->readVariables({Tag{"M9", UInt8}}).first().value.value<QList<uchar>>(),
                     QList<uchar>{uchar(9 * 13 + 2)});
        }
        host.release(other);
    }

    // A single read's reply that comes late, during a batch, answers no job
    // of the batch, even with one job waiting.
    void lateSingleReply()
    {
        CDriveBaseClass *other = connected();
        QVERIFY(other);
        sim.setFault(SimPlc::Fault::PreviousReply); // each reply is that of the request before
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusNoReply);
        const CLabelVariable r = driveExtension(other)->readVariables({Tag{"M1", UInt8}}).first();
        sim.setFault(SimPlc::Fault::None);
        QCOMPARE(r.status, StatusNoReply);
        host.release(other);
    }
};

QTEST_MAIN(TstExtension)
#include "tst_extension.moc"
