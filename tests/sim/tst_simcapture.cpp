// The simulated CPU's capture, read back by Wireshark's dissectors (tshark):
// every frame of a connection, handshake included, decodes as the S7
// exchange it was, in a TCP stream whose numbers add up; past its limit the
// file stops, whole and readable.
#include "SimPlc.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

constexpr int WaitMs = 2000;
constexpr int TsharkMs = 60000;
constexpr qint64 NoLimit = 1 << 24;
// CR, setup, a read of two items, a write, the component list in two data
// units (the second asked for with the CPU's sequence number, 1 on a fresh
// simulator), a list index the CPU lacks; the clock read and set, the block
// list, the list of data blocks and a block's info, the session password
// set and cleared (the CPU has none), the communication capabilities, the
// protection and the list of lists, a stop and a warm restart, the
// diagnostic buffer, and a write of two bytes without the fill byte.
const QList<QByteArray> Requests = {
    h("0300001611e00000000100c0010ac1020100c2020102"),
    h("0300001902f08032010000000100080000f0000001000101e0"),
    h("0300002b02f080320100000002001a00000402120a10020002000184000000120a100400010000830000 10"),
    h("0300002502f080320100000003000e00060501120a100200020001840000200004001012 34"),
    h("0300002102f080320700000004000800080001120411440100ff090004001c0000"),
    h("0300002102f080320700000005000c000400011208124401010000 00000a000000"),
    h("0300002102f080320700000006000800080001120411440100ff09000402225050"),
    h("0300001d02f080320700000007000800040001120411470100 0a000000"),
    h("0300002702f0803207000000080008000e0001120411470200 ff09000a 0019 2405171020304506"),
    h("0300001d02f080320700000009000800040001120411430100 0a000000"),
    h("0300001f02f08032070000000a000800060001120411430200 ff090002 3041"),
    h("0300002502f08032070000000b0008000c0001120411430300 ff090008 3041303030303141"),
    h("0300002502f08032070000000c0008000c0001120411450100 ff090008 2630101720365543"),
    h("0300001d02f08032070000000d000800040001120411450200 0a000000"),
    h("0300002102f08032070000000e000800080001120411440100ff09000401310001"),
    h("0300002102f08032070000000f000800080001120411440100ff09000402320004"),
    h("0300002102f080320700000010000800080001120411440100ff09000400000000"),
    h("0300002102f08032010000001200100000 290000000000 09 505f50524f4752414d"),
    h("0300002502f08032010000001300140000 28000000000000fd 0000 09 505f50524f4752414d"),
    h("0300002102f080320700000014000800080001120411440100ff09000400a00000"),
    h("0300003502f080320100000015001a000a 0502 120a10020001000184000000 120a10020001000184000008 "
      "00040008aa 00040008bb"),
};
// A second connection asks for 03.00, which the S7-300 does not serve.
const QByteArray OtherTsap = h("0300001611e00000000100c0010ac1020100c2020300");
// Per packet: TCP flags, COTP type, ROSCTR, function, item count, return
// codes, SZL id, sequence number, last data unit, user-data error code,
// function group and subfunction, header error class and code, PI service,
// MC7 length of a block.
const QStringList Expected = {
    "0x0002", "0x0012", "0x0010",
    "0x0018\t0x0e", "0x0018\t0x0d",
    "0x0018\t0x0f\t1\t0xf0", "0x0018\t0x0f\t3\t0xf0\t\t\t\t\t\t\t\t\t0x00\t0x00",
    "0x0018\t0x0f\t1\t0x04\t2", "0x0018\t0x0f\t3\t0x04\t2\t0xff,0xff\t\t\t\t\t\t\t0x00\t0x00",
    "0x0018\t0x0f\t1\t0x05\t1\t0x00", "0x0018\t0x0f\t3\t0x05\t1\t0xff\t\t\t\t\t\t\t0x00\t0x00",
    "0x0018\t0x0f\t7\t\t\t0xff\t0x001c\t0\t\t\t4\t1", "0x0018\t0x0f\t7\t\t\t0xff\t\t1\t0x01\t0x0000\t4\t1",
    "0x0018\t0x0f\t7\t\t\t0x0a\t\t1\t0x00\t0x0000\t4\t1", "0x0018\t0x0f\t7\t\t\t0xff\t0x001c\t1\t0x00\t0x0000\t4\t1",
    "0x0018\t0x0f\t7\t\t\t0xff\t0x0222\t0\t\t\t4\t1", "0x0018\t0x0f\t7\t\t\t0x0a\t\t1\t0x00\t0xd402\t4\t1",
    "0x0018\t0x0f\t7\t\t\t0x0a\t\t0\t\t\t7\t1", "0x0018\t0x0f\t7\t\t\t0xff\t\t1\t0x00\t0x0000\t7\t1",
    "0x0018\t0x0f\t7\t\t\t0xff\t\t0\t\t\t7\t2", "0x0018\t0x0f\t7\t\t\t0x0a\t\t1\t0x00\t0x0000\t7\t2",
    "0x0018\t0x0f\t7\t\t\t0x0a\t\t0\t\t\t3\t1", "0x0018\t0x0f\t7\t\t\t0xff\t\t0\t0x00\t0x0000\t3\t1",
    "0x0018\t0x0f\t7\t\t\t0xff\t\t0\t\t\t3\t2", "0x0018\t0x0f\t7\t\t\t0xff\t\t1\t0x00\t0x0000\t3\t2",
    "0x0018\t0x0f\t7\t\t\t0xff\t\t0\t\t\t3\t3", "0x0018\t0x0f\t7\t\t\t0xff\t\t0\t0x00\t0x0000\t3\t3\t\t\t\t1024",
    "0x0018\t0x0f\t7\t\t\t0xff\t\t0\t\t\t5\t1", "0x0018\t0x0f\t7\t\t\t0x0a\t\t1\t0x00\t0xd605\t5\t1",
    "0x0018\t0x0f\t7\t\t\t0x0a\t\t0\t\t\t5\t2", "0x0018\t0x0f\t7\t\t\t0x0a\t\t1\t0x00\t0xd604\t5\t2",
    "0x0018\t0x0f\t7\t\t\t0xff\t0x0131\t0\t\t\t4\t1", "0x0018\t0x0f\t7\t\t\t0xff\t0x0131\t1\t0x00\t0x0000\t4\t1",
    "0x0018\t0x0f\t7\t\t\t0xff\t0x0232\t0\t\t\t4\t1", "0x0018\t0x0f\t7\t\t\t0xff\t0x0232\t1\t0x00\t0x0000\t4\t1",
    "0x0018\t0x0f\t7\t\t\t0xff\t0x0000\t0\t\t\t4\t1", "0x0018\t0x0f\t7\t\t\t0xff\t0x0000\t1\t0x00\t0x0000\t4\t1",
    "0x0018\t0x0f\t1\t0x29\t\t\t\t\t\t\t\t\t\t\tP_PROGRAM", "0x0018\t0x0f\t3\t0x29\t\t\t\t\t\t\t\t\t0x00\t0x00",
    "0x0018\t0x0f\t1\t0x28\t\t\t\t\t\t\t\t\t\t\tP_PROGRAM", "0x0018\t0x0f\t3\t0x28\t\t\t\t\t\t\t\t\t0x00\t0x00",
    "0x0018\t0x0f\t7\t\t\t0xff\t0x00a0\t0\t\t\t4\t1", "0x0018\t0x0f\t7\t\t\t0xff\t0x00a0\t1\t0x00\t0x0000\t4\t1",
    "0x0018\t0x0f\t1\t0x05\t2\t0x00,0x04", "0x0018\t0x0f\t2\t\t\t\t\t\t\t0x8104\t\t\t0x81\t0x04",
    "0x0011", "0x0011", "0x0010",  // the first connection closes
    "0x0002", "0x0012", "0x0010", "0x0018\t0x0e", "0x0014",  // the second is reset at its request
};
const QStringList Fields = {"tcp.flags", "cotp.type", "s7comm.header.rosctr", "s7comm.param.func",
                            "s7comm.param.itemcount", "s7comm.data.returncode", "s7comm.data.userdata.szl_id",
                            "s7comm.param.userdata.seq_num", "s7comm.param.userdata.lastdataunit",
                            "s7comm.param.errcod", "s7comm.param.userdata.funcgroup", "s7comm.param.userdata.subfunc",
                            "s7comm.header.errcls", "s7comm.header.errcod", "s7comm.param.pistart.servicename",
                            "s7comm.blockinfo.mc7_len"};

} // namespace

class TstSimCapture : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString tshark;

    // tshark's output for the file, the simulator's port decoded as ISO-on-TCP.
    QString decode(const QString &file, quint16 port, const QStringList &arguments)
    {
        QProcess process;
        process.start(tshark, QStringList{"-r", file, "-d", QStringLiteral("tcp.port==%1,tpkt").arg(port)} + arguments);
        if (!process.waitForFinished(TsharkMs) || process.exitCode() != 0)
            return QStringLiteral("tshark failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    // Runs the requests over one connection and closes it; the client's port.
    quint16 talk(SimPlc &plc)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, plc.port());
        if (!socket.waitForConnected(WaitMs))
            return 0;
        for (const QByteArray &request : Requests) {
            socket.write(request);
            // Each answer is one frame; wait for it before the next request.
            if (!socket.waitForReadyRead(WaitMs))
                return 0;
            while (socket.waitForReadyRead(50)) {}
            socket.readAll();
        }
        const quint16 port = socket.localPort();
        socket.disconnectFromHost();
        return port;
    }
    // A connection the CPU resets at its request.
    bool refused(SimPlc &plc)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, plc.port());
        if (!socket.waitForConnected(WaitMs))
            return false;
        socket.write(OtherTsap);
        return socket.waitForDisconnected(WaitMs) && socket.readAll().isEmpty();
    }

private slots:
    void initTestCase()
    {
        tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        QVERIFY2(!tshark.isEmpty(), "tshark is not installed (bash scripts/setup.sh installs it)");
        QVERIFY(dir.isValid());
    }

    void everyFrameDecodes()
    {
        const QString file = dir.filePath(QStringLiteral("all.pcapng"));
        SimPlc plc;
        QVERIFY(plc.setCpu(QStringLiteral("s7-300")));
        QString error;
        QVERIFY2(plc.startCapture(file, NoLimit, &error), qPrintable(error));
        QVERIFY(plc.start());
        const quint16 clientPort = talk(plc);
        QVERIFY(clientPort != 0);
        QTRY_COMPARE(plc.connectionCount(), 0);
        QVERIFY(refused(plc));
        QTRY_COMPARE(plc.connectionCount(), 0);
        plc.stopCapture();

        QStringList fields;
        for (const QString &field : Fields)
            fields << "-e" << field;
        const QStringList packets = decode(file, plc.port(), QStringList{"-T", "fields", "-E", "occurrence=a",
                                                                           "-E", "aggregator=,"} + fields)
                                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(packets.size(), Expected.size());
        for (int i = 0; i < packets.size(); ++i)
            QCOMPARE(packets.at(i).trimmed(), Expected.at(i));
        // The real connection's addresses and ports; nothing out of order,
        // lost, retransmitted or malformed.
        QCOMPARE(decode(file, plc.port(), {"-c", "1", "-T", "fields", "-e", "ip.src", "-e", "tcp.srcport", "-e",
                                           "ip.dst", "-e", "tcp.dstport"}).trimmed(),
                 QStringLiteral("127.0.0.1\t%1\t127.0.0.1\t%2").arg(clientPort).arg(plc.port()));
        QCOMPARE(decode(file, plc.port(), {"-Y", "tcp.analysis.flags || _ws.malformed || _ws.expert.severity >= error"}),
                 QString());
    }

    // Past its limit the file takes no more blocks and says so once.
    void stopsAtItsLimit()
    {
        const QString file = dir.filePath(QStringLiteral("limited.pcapng"));
        constexpr qint64 Limit = 700;
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &,
                                                                     const QString &message) {
            if (type == QtWarningMsg)
                warnings << message;
        });
        SimPlc plc;
        QVERIFY(plc.setCpu(QStringLiteral("s7-300")));
        QString error;
        QVERIFY2(plc.startCapture(file, Limit, &error), qPrintable(error));
        QVERIFY(plc.start());
        QVERIFY(talk(plc) != 0);
        QVERIFY(talk(plc) != 0);
        QTRY_COMPARE(plc.connectionCount(), 0);
        plc.stopCapture();
        qInstallMessageHandler(previous);
        QVERIFY(QFileInfo(file).size() <= Limit);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QLatin1String("limit")), qPrintable(warnings.first()));
        const QStringList packets = decode(file, plc.port(), {"-T", "fields", "-e", "frame.number"})
                                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(packets.size() >= 3 && packets.size() < Expected.size(), qPrintable(packets.join(' ')));
    }
};

QTEST_GUILESS_MAIN(TstSimCapture)
#include "tst_simcapture.moc"
