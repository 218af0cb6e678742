// Raw-socket checks of the simulated CPU: what it does with frames it cannot
// serve, the frame log, the API and the program's options. (Its answers are
// checked frame by frame in tst_simprotocol, its fault modes through the
// driver in tst_robust; real CPUs' exchanges are replayed in tst_replay.)
#include "SimPlc.h"

#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {
QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray ConnectRequest = h("0300001611e00000000100c0010ac1021000c2020300");
const QByteArray ConnectConfirm = h("0300001611d00001000100c0010ac1021000c2020300");
const QByteArray SetupJob = h("0300001902f08032010000000000080000f0000001000101e0");
const QByteArray ReadDb1At4 = h("0300001f02f080320100000001000e00000401120a100200020001840000 20");
const QByteArray ReadDb1At4Reply = h("0300001b02f080320300000001000200060000 0401ff040010abcd");
const int WaitMs = 2000;
const int QuietMs = 100;
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
        QCOMPARE(exchange(SetupJob, 27, false).size(), 27);
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
    }
    void cleanup()
    {
        socket.abort();
        plc.reset();
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
        QTest::addRow("data before connect") << 0 << SetupJob;
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
