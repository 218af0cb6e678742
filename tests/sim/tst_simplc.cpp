// Raw-socket checks of the simulated CPU: every request and expected reply is
// written out byte by byte from the ISO-on-TCP / S7 wire format. (Its fault
// modes are seen through the driver in tst_robust.)
#include "SimPlc.h"

#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {
const QByteArray ConnectRequest = QByteArray::fromHex("0300001611e00000000100c0010ac1021000c2020300");
const QByteArray ConnectConfirm = QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300");
const QByteArray SetupRequest = QByteArray::fromHex("0300001902f08032010000ccc1000800 00f0000001000103c0");
const QByteArray ReadDb1At4 = QByteArray::fromHex("0300001f02f080320100000001000e00000401120a100200020001840000 20");
const QByteArray ReadDb1At4Reply = QByteArray::fromHex("0300001b02f080320300000001000200060000 0401ff040010abcd");
const QByteArray ReadM5Bit3 = QByteArray::fromHex("0300001f02f080320100000001000e00000401120a10010001000083 00002b");
const QByteArray ReadM5Bit3Reply = QByteArray::fromHex("0300001a02f08032030000000100020005000004 01ff03000101");
const int WaitMs = 2000;
const int QuietMs = 100;
}

class TstSimPlc : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<SimPlc> plc;
    QTcpSocket socket;

    // Reads until `want` bytes arrived or the peer falls silent; never more than what came.
    QByteArray collect(int want, bool checkQuiet = true)
    {
        QByteArray bytes = socket.readAll();
        while (bytes.size() < want && socket.waitForReadyRead(WaitMs))
            bytes += socket.readAll();
        if (checkQuiet && socket.waitForReadyRead(QuietMs))
            bytes += socket.readAll();
        return bytes;
    }
    QByteArray exchange(const QByteArray &request, int want, bool checkQuiet = true)
    {
        socket.write(request);
        socket.flush();
        return collect(want, checkQuiet);
    }
    void connectAndSetup()
    {
        socket.connectToHost(QHostAddress::LocalHost, plc->port());
        QVERIFY(socket.waitForConnected(WaitMs));
        QCOMPARE(exchange(ConnectRequest, ConnectConfirm.size(), false), ConnectConfirm);
        QCOMPARE(exchange(SetupRequest, 27, false).size(), 27);
    }
    bool closedByPeer()
    {
        return socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(WaitMs);
    }

private slots:
    void init()
    {
        plc.reset(new SimPlc);
        QVERIFY(plc->start());
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, 1, 4, QByteArray::fromHex("abcd")));
        QVERIFY(plc->setMemory(SimPlc::AreaMarkers, 0, 5, QByteArray::fromHex("08")));
    }
    void cleanup()
    {
        socket.abort();
        plc.reset();
    }

    void handshake_data()
    {
        QTest::addColumn<int>("pduLimit");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("confirm");
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("setupReply");
        const QByteArray grant240 = QByteArray::fromHex("0300001b02f080320300 00ccc1000800000000f0000001000100f0");
        QTest::addRow("request 960, limit 240") << 240 << ConnectRequest << ConnectConfirm << SetupRequest << grant240;
        QTest::addRow("tpdu size capped to 1024")  << 240
            << QByteArray::fromHex("0300001611e00000000700c0010dc1021000c2020301")
            << QByteArray::fromHex("0300001611d00007000100c0010ac1021000c2020301") << SetupRequest << grant240;
    }
    void handshake()
    {
        QFETCH(int, pduLimit);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, confirm);
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, setupReply);
        plc->setPduSize(pduLimit);
        socket.connectToHost(QHostAddress::LocalHost, plc->port());
        QVERIFY(socket.waitForConnected(WaitMs));
        QCOMPARE(exchange(request, confirm.size()).toHex(), confirm.toHex());
        QCOMPARE(exchange(setup, setupReply.size()).toHex(), setupReply.toHex());
        QCOMPARE(plc->receivedFrames(), QList<QByteArray>({request, setup}));
        QCOMPARE(plc->connectionCount(), 1);
    }

    void jobs_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("db");
        QTest::addColumn<QByteArray>("memoryAfter"); // DB1.4-5 or M5 after the job
        const auto row = [](const char *name, const QByteArray &request, const QByteArray &reply, int area, int db,
                            const QByteArray &memoryAfter) {
            QTest::addRow("%s", name) << request << reply << area << db << memoryAfter;
        };
        const auto h = [](const char *text) { return QByteArray::fromHex(text); };
        const QByteArray db1 = h("abcd"), m5 = h("08");
        const QByteArray writeOk = h("0300001602f08032030000000100020001000005 01ff");
        const QByteArray noObject = h("0300001902f080320300000001000200040000 04010a000000");
        row("read DB1.4 2 bytes", ReadDb1At4, ReadDb1At4Reply, 0x84, 1, db1);
        row("write 12 34 to DB1.4", h("0300002502f080320100000001000e00060501120a1002000200018400002000040010 1234"),
            writeOk, 0x84, 1, h("1234"));
        row("read bit M5.3 set", ReadM5Bit3, ReadM5Bit3Reply, 0x83, 0, m5);
        row("write bit M5.0 on", h("0300002402f080320100000001000e00050501120a1001000100008300002800030001 01"),
            writeOk, 0x83, 0, h("09"));
        row("read unknown DB7", h("0300001f02f080320100000001000e00000401120a100200020007840000 20"),
            noObject, 0x84, 1, db1);
        row("read past end of DB1", h("0300001f02f080320100000001000e00000401120a100200020001840 01ff8"),
            h("0300001902f080320300000001000200040000 040105000000"), 0x84, 1, db1);
        row("counter transport size not supported", h("0300001f02f080320100000001000e00000401120a101c0002000184000020"),
            h("0300001902f080320300000001000200040000 040106000000"), 0x84, 1, db1);
        row("reply of 222 bytes fits pdu 240", h("0300001f02f080320100000001000e00000401120a100200de0001840000 00"),
            h("030000f702f0803203000000010002 00e2000004 01ff0406f000000000abcd") + QByteArray(216, '\0'), 0x84, 1, db1);
        row("reply of 230 bytes exceeds pdu 240", h("0300001f02f080320100000001000e00000401120a100200e60001840000 00"),
            h("0300001302f0803203000000010000000085 00"), 0x84, 1, db1);
        row("unknown function", h("0300001f02f080320100000001000e00009901120a100200020001840000 20"),
            h("0300001302f0803203000000010000000081 04"), 0x84, 1, db1);
        row("item count beyond parameters", h("0300001f02f080320100000001000e00000402120a100200020001840000 20"),
            h("0300001302f0803203000000010000000084 04"), 0x84, 1, db1);
        row("write data shorter than item",
            h("0300002402f080320100000001000e00050501120a1002000200018400002000040010 12"),
            h("0300001302f0803203000000010000000084 04"), 0x84, 1, db1);
    }
    void jobs()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, area);
        QFETCH(int, db);
        QFETCH(QByteArray, memoryAfter);
        connectAndSetup();
        QCOMPARE(exchange(request, reply.size()).toHex(), reply.toHex());
        const int offset = area == SimPlc::AreaMarkers ? 5 : 4;
        QCOMPARE(plc->memory(SimPlc::Area(area), db, offset, memoryAfter.size()).toHex(), memoryAfter.toHex());
        QCOMPARE(plc->receivedFrames().last(), request);
    }

    // User data: system state list reads and refusals; the connection stays
    // open after each.
    void userData_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        const auto h = [](const char *text) { return QByteArray::fromHex(text); };
        const QByteArray orderNumber("6ES7 315-2EH14-0AB0 ");
        QTest::addRow("module identification")
            << h("0300002102f080 320700000001 0008 0008 0001120411440100 ff09000400110000")
            << h("0300007d02f080 320700000001 000c 0060 000112081284010100000000 ff09005c00110000 001c0003")
                   + h("0001") + orderNumber + h("000000040001") + h("0006") + orderNumber + h("000000040001")
                   + h("0007") + orderNumber + h("000056030206");
        QTest::addRow("list not kept")
            << h("0300002102f080 320700000001 0008 0008 0001120411440100 ff09000401320004")
            << h("0300002102f080 320700000001 000c 0004 000112081284010000 00d401 0a000000");
        QTest::addRow("function not implemented (read clock)")
            << h("0300001d02f080 320700000001 0008 0004 0001120411470100 0a000000")
            << h("0300002102f080 320700000001 000c 0004 000112081287010000 008104 0a000000");
        QTest::addRow("next data unit of no list")
            << h("0300002102f080 320700000001 000c 0004 000112081244010500000000 0a000000")
            << h("0300002102f080 320700000001 000c 0004 000112081284010500 00d405 0a000000");
    }
    void userData()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        connectAndSetup();
        QCOMPARE(exchange(request, reply.size()).toHex(), reply.toHex());
        QCOMPARE(exchange(ReadDb1At4, ReadDb1At4Reply.size()).toHex(), ReadDb1At4Reply.toHex());
    }

    void badFrames_data()
    {
        QTest::addColumn<bool>("handshakeFirst");
        QTest::addColumn<QByteArray>("frame");
        QTest::addRow("tpkt version 4") << true << QByteArray::fromHex("0400001f02f08032010000");
        QTest::addRow("tpkt length 5") << true << QByteArray::fromHex("0300000502f080");
        QTest::addRow("data before connect") << false << SetupRequest;
        QTest::addRow("not an S7 header") << true << QByteArray::fromHex("0300001902f08072010000ccc1000800 00f0000001000103c0");
        QTest::addRow("connect parameter overruns") << false << QByteArray::fromHex("0300000e09e00000000100c0050a");
    }
    void badFrames()
    {
        QFETCH(bool, handshakeFirst);
        QFETCH(QByteArray, frame);
        if (handshakeFirst) {
            connectAndSetup();
        } else {
            socket.connectToHost(QHostAddress::LocalHost, plc->port());
            QVERIFY(socket.waitForConnected(WaitMs));
        }
        socket.write(frame);
        QVERIFY(closedByPeer());
        QCOMPARE(socket.readAll(), QByteArray());
        QTRY_COMPARE(plc->connectionCount(), 0);
        QCOMPARE(plc->acceptedCount(), 1);
    }

    void refuseConnect()
    {
        plc->setFault(SimPlc::Fault::RefuseConnect);
        socket.connectToHost(QHostAddress::LocalHost, plc->port());
        QVERIFY(socket.waitForConnected(WaitMs));
        const QByteArray disconnect = QByteArray::fromHex("0300000b068000010001 00");
        QCOMPARE(exchange(ConnectRequest, disconnect.size()).toHex(), disconnect.toHex());
        QVERIFY(closedByPeer());
    }

    // Bad option values: one line on stderr, exit code 2, never listening.
    void badOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named"); // the value the error line names
        const auto row = [](const char *name, const QStringList &arguments, const char *named) {
            QTest::addRow("%s", name) << arguments << QString::fromLatin1(named);
        };
        row("db number 0", {"--db", "0:16"}, "'0:16'");
        row("db given twice", {"--db", "1:16", "--db", "1:32"}, "'1:32'");
        row("area letter", {"--area", "X:16"}, "'X:16'");
        row("preset past the db size", {"--db", "1:16", "--preset", "DB1:15:0000"}, "'DB1:15:0000'");
    }
    void badOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QProcess sim;
        sim.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM), arguments << QStringLiteral("--port") << QStringLiteral("0"));
        QVERIFY(sim.waitForFinished(WaitMs));
        QCOMPARE(sim.exitCode(), 2);
        const QString error = QString::fromLocal8Bit(sim.readAllStandardError());
        QCOMPARE(error.count(QLatin1Char('\n')), 1);
        QVERIFY2(error.endsWith(QLatin1Char('\n')) && error.contains(named), qPrintable(error));
        QCOMPARE(sim.readAllStandardOutput(), QByteArray());
    }

    void memoryApi()
    {
        QVERIFY(!plc->setMemory(SimPlc::AreaDataBlocks, 1, 1023, QByteArray(2, '\1')));
        QVERIFY(plc->memory(SimPlc::AreaDataBlocks, 1, 1023, 2).isEmpty());
        QVERIFY(!plc->setMemory(SimPlc::AreaDataBlocks, 5, 0, QByteArray(1, '\1')));
        plc->addDataBlock(5, 16);
        QCOMPARE(plc->memory(SimPlc::AreaDataBlocks, 5), QByteArray(16, '\0'));
        plc->removeDataBlock(1);
        QVERIFY(plc->memory(SimPlc::AreaDataBlocks, 1).isEmpty());
        plc->setAreaSize(SimPlc::AreaMarkers, 8);
        QCOMPARE(plc->memory(SimPlc::AreaMarkers), QByteArray::fromHex("0000000000080000"));
    }
};

QTEST_GUILESS_MAIN(TstSimPlc)
#include "tst_simplc.moc"
