// Raw-socket checks of the simulated CPU: every request and expected reply is
// written out byte by byte from the ISO-on-TCP / S7 wire format. (Its fault
// modes are seen through the driver in tst_robust; real CPUs' exchanges are
// replayed in tst_replay.)
#include "SimPlc.h"

#include <QProcess>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {
QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray be16(int value)
{
    QByteArray bytes(2, '\0');
    qToBigEndian(quint16(value), bytes.data());
    return bytes;
}

const QByteArray ConnectRequest = h("0300001611e00000000100c0010ac1021000c2020300");
const QByteArray ConnectConfirm = h("0300001611d00001000100c0010ac1021000c2020300");
const QByteArray ReadDb1At4 = h("0300001f02f080320100000001000e00000401120a100200020001840000 20");
const QByteArray ReadDb1At4Reply = h("0300001b02f080320300000001000200060000 0401ff040010abcd");
const QByteArray ReadM5Bit3 = h("0300001f02f080320100000001000e00000401120a10010001000083 00002b");
const QByteArray ReadM5Bit3Reply = h("0300001a02f08032030000000100020005000004 01ff03000101");
const int WaitMs = 2000;
const int QuietMs = 100;

QByteArray setupJob(int calling, int called, int pdu)
{
    return h("0300001902f080320100000000000800 00f000") + be16(calling) + be16(called) + be16(pdu);
}

QByteArray setupGrant(int calling, int called, int pdu)
{
    return h("0300001b02f080320300000000000800000000f000") + be16(calling) + be16(called) + be16(pdu);
}

// A read-SZL request, and a user-data answer (sequence 1, the first
// connection's) around its parameters and data.
QByteArray szlRequest(quint16 id, quint16 index)
{
    return h("0300002102f080 320700000001 0008 0008 0001120411440100 ff090004") + be16(id) + be16(index);
}

QByteArray userDataAnswer(const QByteArray &params, const QByteArray &data)
{
    const QByteArray s7 = h("320700000001") + be16(params.size()) + be16(data.size()) + params + data;
    return h("0300") + be16(7 + s7.size()) + h("02f080") + s7;
}

QByteArray szlAnswer(const QByteArray &list)
{
    return userDataAnswer(h("000112081284010100000000"), h("ff09") + be16(list.size()) + list);
}

QByteArray szlRefusal(const char *error)
{
    return userDataAnswer(h("00011208128401010000") + h(error), h("0a000000"));
}

QByteArray identification(quint16 index, const QByteArray &order, const char *words)
{
    return be16(index) + order + h(words);
}
} // namespace

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
    void connectSocket()
    {
        socket.connectToHost(QHostAddress::LocalHost, plc->port());
        QVERIFY(socket.waitForConnected(WaitMs));
    }
    void connectAndSetup()
    {
        connectSocket();
        QCOMPARE(exchange(ConnectRequest, ConnectConfirm.size(), false), ConnectConfirm);
        QCOMPARE(exchange(setupJob(1, 1, 480), 27, false).size(), 27);
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
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, 1, 4, h("abcd")));
        QVERIFY(plc->setMemory(SimPlc::AreaMarkers, 0, 5, h("08")));
        QVERIFY(plc->setMemory(SimPlc::AreaTimers, 0, 4, h("12345678")));
    }
    void cleanup()
    {
        socket.abort();
        plc.reset();
    }

    // The confirm: the CPU's own reference, the caller's echoed, and the
    // TPDU size and both TSAPs always in that order, as asked.
    void cotp_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("confirm");
        QTest::addRow("parameters in the CPU's order") << h("0300001611e00000000f00c2020100c1020311c0010a")
                                                       << h("0300001611d0000f000100c0010ac1020311c2020100");
        QTest::addRow("tpdu size 8192 echoed") << h("0300001611e00000000700c0010dc1021000c2020301")
                                               << h("0300001611d00007000100c0010dc1021000c2020301");
        QTest::addRow("no tpdu size asked") << h("030000130ee00000000100c1021000c2020301")
                                            << h("030000130ed00001000100c1021000c2020301");
    }
    void cotp()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, confirm);
        connectSocket();
        QCOMPARE(exchange(request, confirm.size()).toHex(), confirm.toHex());
    }

    // Each of the parallel-job counts and the PDU: the lesser of what was
    // asked and what the CPU allows (or --pdu).
    void setup_data()
    {
        QTest::addColumn<QString>("cpu");
        QTest::addColumn<int>("pduLimit"); // 0: the profile's
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("grant");
        const auto row = [](const char *cpu, int limit, QList<int> asked, QList<int> granted) {
            QTest::addRow("%s asks %d/%d %d, limit %d", cpu, asked[0], asked[1], asked[2], limit)
                << QString::fromLatin1(cpu) << limit << setupJob(asked[0], asked[1], asked[2])
                << setupGrant(granted[0], granted[1], granted[2]);
        };
        row("s7-300", 0, {8, 8, 960}, {2, 2, 240});
        row("s7-400", 0, {2, 2, 480}, {2, 2, 480});
        row("s7-400", 0, {1, 1, 960}, {1, 1, 480});
        row("s7-1200", 0, {8, 8, 1008}, {3, 3, 240});
        row("s7-1500", 0, {1, 1, 480}, {1, 1, 480});
        row("s7-1500", 0, {8, 8, 1024}, {3, 3, 960});
        row("s7-1500", 200, {1, 1, 480}, {1, 1, 200});
    }
    void setup()
    {
        QFETCH(QString, cpu);
        QFETCH(int, pduLimit);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, grant);
        QVERIFY(plc->setCpu(cpu));
        plc->setRackSlot(0, 0); // the connection request names 03.00
        if (pduLimit > 0)
            plc->setPduSize(pduLimit);
        connectSocket();
        QCOMPARE(exchange(ConnectRequest, ConnectConfirm.size(), false), ConnectConfirm);
        QCOMPARE(exchange(request, grant.size()).toHex(), grant.toHex());
    }

    void jobs_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("db");
        QTest::addColumn<QByteArray>("memoryAfter"); // DB1.4-5, M5 or T2-T3 after the job
        const auto row = [](const char *name, const QByteArray &request, const QByteArray &reply, int area, int db,
                            const QByteArray &memoryAfter) {
            QTest::addRow("%s", name) << request << reply << area << db << memoryAfter;
        };
        const QByteArray db1 = h("abcd"), m5 = h("08"), timers = h("12345678");
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
        row("counter transport size on a data block", h("0300001f02f080320100000001000e00000401120a101c0002000184000020"),
            h("0300001902f080320300000001000200040000 040106000000"), 0x84, 1, db1);
        row("read a timer as bytes", h("0300001f02f080320100000001000e00000401120a1002000200001d000002"),
            h("0300001902f080320300000001000200040000 040106000000"), 0x1d, 0, timers);
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
    }

    // User data: system state list reads and refusals; the connection stays
    // open after each.
    void userData_data()
    {
        QTest::addColumn<QString>("cpu");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("clockBytes"); // at the end of the reply, not compared
        const QByteArray order1200("6ES7 214-1AG40-0XB0 ");
        const QByteArray firmware300 = identification(0x0007, QByteArray(20, ' '), "00c056030206");
        QTest::addRow("s7-1200 module identification: three records with the order number, index echoed")
            << "s7-1200" << true << szlRequest(0x0011, 1)
            << szlAnswer(h("00110001001c0003") + identification(0x0001, order1200, "000000012020")
                         + identification(0x0006, order1200, "000000012020")
                         + identification(0x0007, order1200, "000056040401")) << 0;
        QTest::addRow("one identification record") << "s7-300" << true << szlRequest(0x0111, 7)
            << szlAnswer(h("01110007001c0001") + firmware300) << 0;
        QTest::addRow("component list header only") << "s7-300" << true << szlRequest(0x0F1C, 0)
            << szlAnswer(h("0f1c00000022000a")) << 0;
        QTest::addRow("operating mode STOP") << "s7-1500" << false << szlRequest(0x0424, 0)
            << szlAnswer(h("0424000000140001 5144ff04 0000000000000000") + QByteArray(8, '\0')) << 8;
        QTest::addRow("mode list, index 1") << "s7-400" << true << szlRequest(0x0424, 1) << szlRefusal("d402") << 0;
        QTest::addRow("list not kept") << "s7-300" << true << szlRequest(0x0a99, 0) << szlRefusal("d401") << 0;
        QTest::addRow("s7-1200: index it lacks as a list not kept") << "s7-1200" << true << szlRequest(0x001c, 1)
                                                                    << szlRefusal("d401") << 0;
        QTest::addRow("function not implemented (programmer commands)") << "s7-300" << true
            << h("0300001d02f080 320700000001 0008 0004 0001120411410100 0a000000")
            << h("0300002102f080 320700000001 000c 0004 000112081281010100 008104 0a000000") << 0;
        QTest::addRow("next data unit of no list") << "s7-300" << true
            << h("0300002102f080 320700000001 000c 0004 000112081244010100000000 0a000000")
            << h("0300002102f080 320700000001 000c 0004 000112081284010100 00d405 0a000000") << 0;
    }
    void userData()
    {
        QFETCH(QString, cpu);
        QFETCH(bool, running);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, clockBytes);
        QVERIFY(plc->setCpu(cpu));
        plc->setRackSlot(0, 0);
        plc->setCpuRunning(running);
        connectAndSetup();
        const QByteArray answer = exchange(request, reply.size());
        QCOMPARE(answer.size(), reply.size());
        QCOMPARE(answer.chopped(clockBytes).toHex(), reply.chopped(clockBytes).toHex());
        QCOMPARE(exchange(ReadDb1At4, ReadDb1At4Reply.size()).toHex(), ReadDb1At4Reply.toHex());
    }

    // The log of received frames is off until a test asks for it.
    void frameLog()
    {
        connectAndSetup();
        QCOMPARE(plc->receivedFrames().size(), 0);
        plc->setFrameLog(true);
        QCOMPARE(exchange(ReadDb1At4, ReadDb1At4Reply.size()), ReadDb1At4Reply);
        QCOMPARE(plc->receivedFrames(), QList<QByteArray>({ReadDb1At4}));
        plc->setFrameLog(false);
        QCOMPARE(plc->receivedFrames().size(), 0);
    }

    // handshake: 0 none, 1 the transport connection, 2 and the S7 setup.
    void badFrames_data()
    {
        QTest::addColumn<int>("handshake");
        QTest::addColumn<QByteArray>("frame");
        QTest::addRow("tpkt version 4") << 2 << h("0400001f02f08032010000");
        QTest::addRow("tpkt length 5") << 2 << h("0300000502f080");
        QTest::addRow("data before connect") << 0 << setupJob(1, 1, 480);
        QTest::addRow("job before setup") << 1 << ReadDb1At4;
        QTest::addRow("not an S7 header") << 2 << h("0300001902f08072010000ccc1000800 00f0000001000103c0");
        QTest::addRow("connect parameter overruns") << 0 << h("0300000e09e00000000100c0050a");
    }
    void badFrames()
    {
        QFETCH(int, handshake);
        QFETCH(QByteArray, frame);
        if (handshake == 2) {
            connectAndSetup();
        } else {
            connectSocket();
            if (handshake == 1)
                QCOMPARE(exchange(ConnectRequest, ConnectConfirm.size(), false), ConnectConfirm);
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
        connectSocket();
        const QByteArray disconnect = h("0300000b068000010000 00");
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
        row("db larger than the s7-300's 16 KiB", {"--cpu", "s7-300", "--db", "1:16385"}, "'1:16385'");
        row("area letter", {"--area", "X:16"}, "'X:16'");
        row("preset past the db size", {"--db", "1:16", "--preset", "DB1:15:0000"}, "'DB1:15:0000'");
        row("unknown cpu", {"--cpu", "s7-200"}, "'s7-200'");
        row("state", {"--state", "hold"}, "'hold'");
        row("fault argument out of range", {"--fault", "late:0"}, "'late:0'");
        row("fault without arguments given one", {"--fault", "silent:3"}, "'silent:3'");
        row("signal of a type the word cannot hold", {"--signal", "DB1.DBW0:int32:sine:10s"}, "int32");
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
        QCOMPARE(plc->memory(SimPlc::AreaMarkers).size(), 8192); // the s7-1200's bit memory
        QVERIFY(plc->setCpu(QStringLiteral("S7-300")));
        QCOMPARE(plc->memory(SimPlc::AreaInputs).size(), 2048);
        QCOMPARE(plc->memory(SimPlc::AreaMarkers).size(), 2048);
        QCOMPARE(plc->memory(SimPlc::AreaMarkers, 0, 5, 1), h("08")); // kept across the change
        QVERIFY(!plc->setCpu(QStringLiteral("s7-200")));
        QCOMPARE(plc->cpu(), QStringLiteral("s7-300"));
        QVERIFY(!plc->setMemory(SimPlc::AreaDataBlocks, 1, 1023, QByteArray(2, '\1')));
        QVERIFY(plc->memory(SimPlc::AreaDataBlocks, 1, 1023, 2).isEmpty());
        QVERIFY(!plc->setMemory(SimPlc::AreaDataBlocks, 5, 0, QByteArray(1, '\1')));
        plc->addDataBlock(5, 16);
        QCOMPARE(plc->memory(SimPlc::AreaDataBlocks, 5), QByteArray(16, '\0'));
        plc->removeDataBlock(1);
        QVERIFY(plc->memory(SimPlc::AreaDataBlocks, 1).isEmpty());
        plc->setAreaSize(SimPlc::AreaMarkers, 8);
        QCOMPARE(plc->memory(SimPlc::AreaMarkers), h("0000000000080000"));
        QVERIFY(plc->setBit(SimPlc::AreaMarkers, 0, 5, 0, true));
        QCOMPARE(plc->memory(SimPlc::AreaMarkers, 0, 5, 1), h("09"));
    }
};

QTEST_GUILESS_MAIN(TstSimPlc)
#include "tst_simplc.moc"
