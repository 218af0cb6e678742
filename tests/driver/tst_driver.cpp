// The plug-in through its host interface against the simulated PLC: life
// cycle, connection texts, every status with whether a request was sent, the
// record's echoed fields, the log lines, single-bit writes and the stale
// reply. (Frames byte for byte: tst_s7frame; every area and type family
// against another S7 server: tests/interop/plugin-vs-snap7.js.)
#include <QtTest>
#include <QTcpServer>

#include "DriverPlugin.h"
#include "SimPlc.h"

Q_DECLARE_METATYPE(ERecordStatus)
Q_DECLARE_METATYPE(DataType)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The elements of a QList<T> held in a variant, for comparison (QVariant
// itself does not compare user types by content).
QVariantList items(const QVariant &value)
{
    QVariantList out;
    if (value.canConvert<QVariantList>())
        for (const QVariant &v : value.value<QSequentialIterable>())
            out << v;
    return out;
}

// The plug-in's log lines while one is alive: text by level, and categories.
struct LogCapture
{
    struct Line { QtMsgType type; QString category; QString text; };
    static inline QList<Line> captured;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        captured.append({type, QString::fromLatin1(context.category ? context.category : "(none)"), text});
    });
    LogCapture() { captured.clear(); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QStringList lines(QtMsgType type) const
    {
        QStringList out;
        for (const Line &line : captured)
            if (line.type == type)
                out << line.text;
        return out;
    }
    QStringList categories() const
    {
        QStringList out;
        for (const Line &line : captured)
            out << line.category;
        return out;
    }
};

template <typename T>
QVariant zeros(int n)
{
    return QVariant::fromValue(QVector<T>(n).toList());
}

template <typename T>
CLabelVariable recordOf(const QList<T> &list)
{
    CLabelVariable record;
    record.value = QVariant::fromValue(list);
    return record;
}

} // namespace

class TstDriver : public QObject
{
    Q_OBJECT

    DriverPlugin host;
    SimPlc sim;
    CDriveBaseClass *drv = nullptr; // connected to sim in init()

    QString target(const SimPlc &plc) const { return QStringLiteral("127.0.0.1:%1").arg(plc.port()); }

private slots:
    void initTestCase()
    {
        QVERIFY2(host.load(), qPrintable(host.errorString()));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        sim.setFrameLog(true); // the checks of what was sent read it
        sim.addDataBlock(5, 256);
        drv = host.create();
        QCOMPARE(drv->ConnectDrive(target(sim)), ConnectOk);
    }
    void cleanupTestCase() { host.releaseAll(); }
    void init()
    {
        sim.setFault(SimPlc::Fault::None);
        if (drv->ReadVariable("M0", UInt8).status != StatusOk)
            QCOMPARE(drv->ConnectDrive(target(sim)), ConnectOk);
        sim.clearReceivedFrames();
    }

    void identity_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("reply");
        QTest::addRow("start") << 0 << "StartDebug";
        QTest::addRow("stop") << 1 << "StopDebug";
        QTest::addRow("drive name") << 3 << "Quillmarsh";
        QTest::addRow("4") << 4 << QString();
    }
    void identity()
    {
        QFETCH(int, command);
        QFETCH(QString, reply);
        const QString got = drv->DebugCmd(EDebugCmdType(command));
        QCOMPARE(got, reply);
        QCOMPARE(got.isNull(), reply.isNull());
        QCOMPARE(drv->getDriveName(), QStringLiteral("Quillmarsh"));
        QCOMPARE(drv->getversion_number(), QStringLiteral("V1.8.2 20230221"));
        QVERIFY(QRegularExpression("^v1\\.8\\.2 [A-Z][a-z]{2} [ \\d]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$")
                    .match(drv->DebugCmd(DebugVersion)).hasMatch());
    }

    void connectionText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addRow("no IP") << ":102";
        QTest::addRow("no colon") << "127.0.0.1";
        QTest::addRow("two colons") << "127.0.0.1:102:5";
        QTest::addRow("port 0") << "127.0.0.1:0";
        QTest::addRow("port 65536") << "127.0.0.1:65536";
        QTest::addRow("port -5") << "127.0.0.1:-5";
        QTest::addRow("host name") << "localhost:%1";
    }
    void connectionText()
    {
        QFETCH(QString, text);
        CDriveBaseClass *other = host.create();
        other->SetConnectPar("abc");
        const int accepted = sim.acceptedCount();
        QCOMPARE(other->ConnectDrive(text.contains("%1") ? text.arg(sim.port()) : text), ConnectBadText);
        QCOMPARE(sim.acceptedCount(), accepted);
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusNotConnected);
    }

    void closedPort()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        CDriveBaseClass *other = host.create();
        QCOMPARE(other->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(port)), ConnectTimeout);
    }

    void disconnectSequence()
    {
        CDriveBaseClass *other = host.create();
        QCOMPARE(other->DisConnectDrive(), ReleaseNoSocket);
        QCOMPARE(other->DestroyFree(), ReleaseNoSocket);
        QCOMPARE(other->ConnectDrive(target(sim)), ConnectOk);
        QCOMPARE(other->DisConnectDrive(), ReleaseDone);
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusNotConnected);
        QCOMPARE(other->DisConnectDrive(), ReleaseDone);
        QCOMPARE(other->DestroyFree(), ReleaseDone);
        QCOMPARE(other->DestroyFree(), ReleaseNoSocket);
        QCOMPARE(other->ConnectDrive(target(sim)), ConnectOk);
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusOk);
        QCOMPARE(other->DestroyFree(), ReleaseDone);
    }

    void peerClose()
    {
        CDriveBaseClass *other = host.create();
        QCOMPARE(other->ConnectDrive(target(sim)), ConnectOk);
        LogCapture log;
        sim.setFault(SimPlc::Fault::CloseAfterFrames, 1);
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusNoReply);
        QCOMPARE(other->ReadVariable("M0", UInt8).status, StatusNotConnected);
        const QStringList warnings = log.lines(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(log.categories(), QStringList{"default"});
        QVERIFY2(warnings.first().contains(QStringLiteral("lib[Quillmarsh]127.0.0.1:%1 Disconnected=1").arg(sim.port())),
                 qPrintable(warnings.first())); // 1: remote host closed
    }

    // Bits from the start bit up to 7 of every byte read.
    void boolRead()
    {
        sim.setMemory(SimPlc::AreaMarkers, 0, 5, hex("a5 40"));
        const QDateTime before = QDateTime::currentDateTime();
        const CLabelVariable r = drv->ReadVariable("M5.6", Bool, 9);
        QCOMPARE(r.status, StatusOk);
        // The time stamp is that of the answer.
        QVERIFY(r.timestamp >= before && r.timestamp <= QDateTime::currentDateTime());
        QCOMPARE(r.value.value<QList<bool>>(), (QList<bool>{false, true, true, false}));
    }

    void readStatus_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<DataType>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<ERecordStatus>("status");
        QTest::addColumn<bool>("sent");
        QTest::addRow("count 0") << "M0" << UInt8 << 0 << StatusBadCount << false;
        QTest::addRow("count -1") << "M0" << UInt8 << -1 << StatusBadCount << false;
        QTest::addRow("no area letter") << "XYZ" << UInt8 << 1 << StatusBadAddress << false;
        QTest::addRow("negative byte") << "M-4" << UInt8 << 1 << StatusBadAddress << false;
        QTest::addRow("65534 + 1") << "M65534" << UInt8 << 1 << StatusBadReply << true; // beyond the simulator's markers
        QTest::addRow("65535 + 1") << "M65535" << UInt8 << 1 << StatusBadAddress << false;
        QTest::addRow("65530 + 10 Bool") << "M65530" << Bool << 10 << StatusBadAddress << false;
        QTest::addRow("NoType") << "M0" << NoType << 1 << StatusTypeNotServed << false;
        QTest::addRow("String") << "M0" << String << 1 << StatusTypeNotServed << false;
        QTest::addRow("host type 20") << "M0" << DataType(20) << 1 << StatusTypeNotServed << false;
    }
    void readStatus()
    {
        QFETCH(QString, address);
        QFETCH(DataType, type);
        QFETCH(int, count);
        QFETCH(ERecordStatus, status);
        QFETCH(bool, sent);
        const CLabelVariable r = drv->ReadVariable(address, type, count);
        QCOMPARE(r.status, status);
        QCOMPARE(sim.receivedFrames().size(), sent ? 1 : 0);
        QVERIFY(!r.value.isValid());
        QCOMPARE(r.timestamp.isValid(), !sent); // statuses of the checks carry the call's time
        QCOMPARE(r.count, count);
        QCOMPARE(r.dataType, type);
        QCOMPARE(r.address, address);
    }

    void writeStatus_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<DataType>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("count");
        QTest::addColumn<ERecordStatus>("status");
        QTest::addColumn<bool>("sent");
        const QVariant one = QVariant::fromValue(QList<short>{1});
        QTest::addRow("count -1") << "M0" << Int16 << one << -1 << StatusBadCount << false;
        QTest::addRow("count 0 without a value") << "M0" << Int16 << QVariant() << 0 << StatusOk << true;
        QTest::addRow("65535 + 0") << "DB1.DBW65535" << Int16 << one << 0 << StatusBadReply << true;
        QTest::addRow("65535 + 1") << "M65535" << Int16 << one << 1 << StatusBadAddress << false;
        QTest::addRow("no area") << "XYZ" << Int16 << one << 1 << StatusBadAddress << false;
        QTest::addRow("NoType") << "M0" << NoType << one << 1 << StatusTypeNotServed << false;
        QTest::addRow("wrong list type") << "M0" << Int16 << QVariant(QStringLiteral("x")) << 1 << StatusTypeNotServed << false;
        QTest::addRow("list too short") << "M0" << Int16 << one << 2 << StatusBadCount << false;
        QTest::addRow("Bool bytes too short") << "M0" << Bool << QVariant::fromValue(QList<bool>{true}) << 9 << StatusBadCount << false;
        // A frame's 16-bit length fields cannot describe more than 8191 bytes.
        QTest::addRow("8192 bytes") << "DB1.DBB0" << UInt8 << zeros<uchar>(8192) << 8192
                                    << StatusBadCount << false;
        QTest::addRow("8191 bytes, past the PDU") << "DB1.DBB0" << UInt8 << zeros<uchar>(8191)
                                                  << 8191 << StatusBadReply << true;
        const QVariant bits = zeros<bool>(13);
        QTest::addRow("13 bits") << "M0.0" << Bool << bits << 13 << StatusBadCount << false;
        QTest::addRow("bit 8") << "M0.8" << Bool << bits << 1 << StatusBadAddress << false;
        QTest::addRow("bit 2^32-1") << "M10.4294967295" << Bool << bits << 1 << StatusBadAddress << false;
        QTest::addRow("inputs") << "I0" << Int16 << one << 1 << StatusInputArea << true;
    }
    void writeStatus()
    {
        QFETCH(QString, address);
        QFETCH(DataType, type);
        QFETCH(QVariant, value);
        QFETCH(int, count);
        QFETCH(ERecordStatus, status);
        QFETCH(bool, sent);
        CLabelVariable in;
        in.value = value;
        in.accessStatus = AccessOk;
        in.spareInt = -7;
        const QDateTime callerTime(QDate(2001, 2, 3), QTime(4, 5, 6));
        in.timestamp = callerTime;
        const CLabelVariable r = drv->WriteVariable(address, type, in, count);
        QCOMPARE(r.status, status);
        QCOMPARE(sim.receivedFrames().size(), sent ? 1 : 0);
        QCOMPARE(items(r.value), items(value));
        QCOMPARE(r.value.userType(), value.userType());
        QCOMPARE(r.accessStatus, AccessOk);
        QCOMPARE(r.spareInt, -7);
        QCOMPARE(r.count, count);
        QCOMPARE(r.address, address);
        QCOMPARE(r.timestamp == callerTime, status != StatusOk && !(status == StatusInputArea && sent));
        QCOMPARE(drv->ReadVariable("M0", UInt8).status, StatusOk); // the connection stays usable
    }

    void shortFormsMatchLongForms()
    {
        sim.setMemory(SimPlc::AreaDataBlocks, 1, 4, hex("12 34"));
        const CLabelVariable a = drv->ReadVariable("DB1.DBW4", Int16);
        const CLabelVariable b = drv->ReadVariable("DB1.DBW4", Int16, 1);
        QVERIFY(CLabelVariable(a) == b);
        const CLabelVariable w = drv->WriteVariable("DB1.DBW4", Int16, recordOf(QList<short>{7}));
        QCOMPARE(w.status, StatusOk);
        QCOMPARE(w.count, 1);
        QCOMPARE(sim.memory(SimPlc::AreaDataBlocks, 1, 4, 2), hex("00 07"));
    }

    void debugLog()
    {
        LogCapture log;
        drv->DebugCmd(DebugStart);
        sim.setMemory(SimPlc::AreaDataBlocks, 1, 4, hex("ab cd"));
        QCOMPARE(drv->ReadVariable("DB1.DBB4", UInt8, 2).status, StatusOk);
        QCOMPARE(drv->WriteVariable("DB1.DBB4", UInt8, recordOf(QList<uchar>{0x12, 0x34}), 2).status, StatusOk);
        drv->DebugCmd(DebugStop);
        QCOMPARE(drv->ReadVariable("DB1.DBB4", UInt8, 2).status, StatusOk);
        const QStringList lines = log.lines(QtDebugMsg);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(log.categories(), (QStringList{"default", "default", "default", "default"}));
        const QString head = QStringLiteral("lib[Quillmarsh]%1 127.0.0.1:%2 Area=DB1.DBB4  len = 2 msg : ");
        const QString port = QString::number(sim.port());
        QRegularExpression request(QRegularExpression::escape(head.arg(QString::fromUtf8("读命令"), port))
                                   + "0300001f02f08032010000[0-9a-f]{4}000e00000401120a10020002000184000020\"?$");
        QVERIFY2(request.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
        QVERIFY2(lines.at(1).contains(head.arg(QString::fromUtf8("响应"), port) + "0300001b02f0803203"), qPrintable(lines.at(1)));
        QVERIFY2(lines.at(1).contains("abcd"), qPrintable(lines.at(1)));
        QVERIFY2(lines.at(2).contains(head.arg(QString::fromUtf8("写命令"), port) + "0300002502f08032010000"), qPrintable(lines.at(2)));
        QVERIFY2(lines.at(2).contains("000e00060501120a10020002000184000020000400101234"), qPrintable(lines.at(2)));
        QVERIFY2(lines.at(3).contains(head.arg(QString::fromUtf8("响应"), port)), qPrintable(lines.at(3)));
    }

    // One element to an address with an explicit bit changes that bit alone
    // (each area's set and clear: the interop test).
    void bitWrites_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("db");
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("bit");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<ERecordStatus>("status");
        auto row = [](const char *addr, int area, int db, int off, bool v, const char *b, const char *a, ERecordStatus st = StatusOk) {
            QTest::addRow("%s := %d on %s", addr, int(v), b) << QString(addr) << area << db << off << v << hex(b) << hex(a) << st;
        };
        row("Q4.1", 0x82, 0, 4, true, "0f", "0f");
        row("V_or_DB5.100.3", 0x84, 5, 100, false, "0f", "07");
        row("M10", 0x83, 0, 10, true, "f0", "01"); // no bit: the whole byte
    }
    void bitWrites()
    {
        QFETCH(QString, address);
        QFETCH(int, area);
        QFETCH(int, db);
        QFETCH(int, offset);
        QFETCH(bool, bit);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(ERecordStatus, status);
        const auto plcArea = SimPlc::Area(area);
        sim.setMemory(plcArea, db, offset, before + hex("5a"));
        const CLabelVariable r = drv->WriteVariable(address, Bool, recordOf(QList<bool>{bit}));
        QCOMPARE(r.status, status);
        QCOMPARE(sim.memory(plcArea, db, offset, 2).toHex(' '), (after + hex("5a")).toHex(' '));
    }

    void bitRuns()
    {
        sim.setMemory(SimPlc::AreaMarkers, 0, 0, hex("0f f0"));
        const QList<bool> bits{true, false, true, true};
        QCOMPARE(drv->WriteVariable("M0.6", Bool, recordOf(bits), 4).status, StatusOk);
        QCOMPARE(sim.memory(SimPlc::AreaMarkers, 0, 0, 2).toHex(' '), QByteArray("4f f3"));
        QCOMPARE(sim.receivedFrames().size(), 1);
    }

    // A reply that comes after its wait stays in the receive buffer; when no
    // newer bytes come during the next request, it is taken as its answer.
    void staleReply()
    {
        sim.setMemory(SimPlc::AreaMarkers, 0, 0, hex("11"));
        sim.setFault(SimPlc::Fault::LateReply, 2300);
        QCOMPARE(drv->ReadVariable("M0", UInt8).status, StatusNoReply);
        sim.setFault(SimPlc::Fault::Silent);
        QTest::qWait(600); // the late reply arrives and is read into the buffer
        sim.setMemory(SimPlc::AreaMarkers, 0, 0, hex("22"));
        const CLabelVariable stale = drv->ReadVariable("M0", UInt8);
        QCOMPARE(stale.status, StatusOk);
        QCOMPARE(stale.value.value<QList<uchar>>(), QList<uchar>{0x11});
        sim.setFault(SimPlc::Fault::None);
        QTRY_COMPARE(drv->ReadVariable("M0", UInt8).value.value<QList<uchar>>(), QList<uchar>{0x22});
    }
};

QTEST_MAIN(TstDriver)
#include "tst_driver.moc"
