// The simulated PLC's front: control commands and value generators at their
// own level, then the program itself: options, control port, signals, and a
// stop right after it announces itself.
#include "SimControl.h"
#include "SimPlc.h"
#include "SimSignal.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

namespace {

constexpr int WaitMs = 3000;
constexpr int QuietMs = 300;
constexpr int StopRuns = 30;

QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray ConnectRequest = h("0300001611e00000000100c0010ac1020100c2020101");
const QByteArray SetupJob = h("0300001902f08032010000000000080000f0000001000101e0");
const QByteArray ModeRequest = h("0300002102f080320700000001000800080001120411440100ff09000404240000");
constexpr int ModeByteOffset = 44; // of the operating-mode answer: RUN 08, STOP 04

// A running quillmarsh-sim and its announced ports.
struct SimProcess
{
    QProcess process;
    quint16 port = 0;
    quint16 control = 0;

    bool start(const QStringList &arguments)
    {
        process.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM), QStringList{"--port", "0"} + arguments);
        QByteArray out;
        const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
        while (!listening.match(QString::fromLatin1(out)).hasMatch() && process.waitForReadyRead(WaitMs))
            out += process.readAllStandardOutput();
        port = quint16(listening.match(QString::fromLatin1(out)).captured(1).toInt());
        control = quint16(QRegularExpression(QStringLiteral("control on 127.0.0.1:(\\d+)"))
                              .match(QString::fromLatin1(out)).captured(1).toInt());
        return port != 0;
    }
    ~SimProcess()
    {
        process.terminate();
        if (!process.waitForFinished(WaitMs))
            process.kill();
    }
};

// Sends lines, returns the answer lines (up to want of them).
QStringList converse(QTcpSocket &socket, const QByteArray &lines, int want)
{
    socket.write(lines);
    QStringList answers;
    while (answers.size() < want && (socket.canReadLine() || socket.waitForReadyRead(WaitMs))) {
        while (socket.canReadLine())
            answers << QString::fromUtf8(socket.readLine()).trimmed();
    }
    return answers;
}

// Sends a frame and returns what came back within a short while.
QByteArray ask(QTcpSocket &socket, const QByteArray &frame)
{
    socket.write(frame);
    QByteArray reply;
    while (socket.waitForReadyRead(QuietMs))
        reply += socket.readAll();
    return reply;
}

} // namespace

class TstSimApp : public QObject
{
    Q_OBJECT

private slots:
    // One command, its answer line and the bytes it leaves at DB1.0..7,
    // M0..1 or T3.
    void control_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("place"); // empty: no memory to look at
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *line, const char *answer, const char *place = "", const char *bytes = "") {
            QTest::addRow("%s", line) << QString::fromLatin1(line) << QString::fromLatin1(answer)
                                      << QString::fromLatin1(place) << h(bytes);
        };
        row("set DB1.DBW0 1234", "ok 04 d2", "DB1", "04d2000000000000");
        row("set DB1.DBW2 -2", "ok ff fe", "DB1", "0000fffe00000000");
        row("set DB1.DBW0 70000", "error: '70000' is not a uint16 value", "DB1", "0000000000000000");
        row("set DB1.DBD4 1.5", "ok 3f c0 00 00", "DB1", "000000003fc00000");
        row("set DB1.DBD0 0xdeadbeef", "ok de ad be ef", "DB1", "deadbeef00000000");
        row("set DB1.DBB7:int8 -128", "ok 80", "DB1", "0000000000000080");
        row("set DB1.DBB7:SINT 128", "error: '128' is not a int8 value", "DB1", "0000000000000000");
        row("set DB1.DBB0:uint64 18446744073709551615", "ok ff ff ff ff ff ff ff ff", "DB1", "ffffffffffffffff");
        row("set DB1.DBB0:LINT -9223372036854775808", "ok 80 00 00 00 00 00 00 00", "DB1", "8000000000000000");
        row("set DB1.DBB0:lreal -0.5", "ok bf e0 00 00 00 00 00 00", "DB1", "bfe0000000000000");
        row("set DB1.DBD0:real 1e39", "error: '1e39' is not a float value", "DB1", "0000000000000000");
        row("set M0.1 1", "ok 01", "M", "0200");
        row("set M1.7:bool true", "ok 01", "M", "0080");
        row("set M0.1:int16 1", "error: a bool goes to a bit address and a bit address takes a bool", "M", "0000");
        row("set MW0 -1", "ok ff ff", "M", "ffff");
        row("set T3 0x1234", "ok 12 34", "T3", "1234");
        row("set DB1.DBX0 1", "error: 'DB1.DBX0': a bit (0 to 7) goes with X or with no width letter");
        row("set M0.8 1", "error: 'M0.8': a bit (0 to 7) goes with X or with no width letter");
        row("set MD0.1 1", "error: 'MD0.1': a bit (0 to 7) goes with X or with no width letter");
        row("get XY12", "error: 'XY12' is not an address (M10, MW10, I0.3, DB1.DBW0, DB1.DBX4.1, T5, C3)");
        row("set DB0.DBW0 1", "error: 'DB0.DBW0': blocks go from 1 to 65535, bytes up to 65535");
        row("set DB99.DBW0 1", "error: DB99.DBW0 is outside the memory served");
        row("set DB1.DBW0:int99 1", "error: unknown type 'int99' (bool, int8, uint8, int16, uint16, int32, uint32, "
                                    "float, int64, uint64, double or an S7 name (INT, REAL, ...))");
        row("get M0 2", "ok 00 00");
        row("get M0.3", "ok 0");
        row("get DB1.DBD0", "ok 00 00 00 00");
        row("get M0 2000", "error: COUNT is 1 to 1024 bytes, and a bit takes none");
        row("get Q2047 2", "error: Q2047 is outside the memory served");
        row("fault late 2500", "ok fault late 2500");
        row("fault off", "ok fault off");
        row("fault late 0", "error: fault late takes MS from 1 to 600000, not '0'");
        row("fault silent 3", "error: fault silent takes no argument");
        row("fault", "error: fault MODE [ARG]");
        row("state stop", "ok state stop");
        row("state hold", "error: state [run|stop]");
        row("clients", "ok 0");
        row("", "error: unknown command '' (fault, state, set, get, clients, help)");
        row("reboot now", "error: unknown command 'reboot now' (fault, state, set, get, clients, help)");
    }
    void control()
    {
        QFETCH(QString, line);
        QFETCH(QString, answer);
        QFETCH(QString, place);
        QFETCH(QByteArray, bytes);
        SimPlc plc;
        QCOMPARE(SimControl(&plc).execute(line), answer);
        if (place == QLatin1String("DB1"))
            QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, 0, 8).toHex(), bytes.toHex());
        else if (place == QLatin1String("M"))
            QCOMPARE(plc.memory(SimPlc::AreaMarkers, 0, 0, 2).toHex(), bytes.toHex());
        else if (place == QLatin1String("T3"))
            QCOMPARE(plc.memory(SimPlc::AreaTimers, 0, 6, 2).toHex(), bytes.toHex());
        QCOMPARE(plc.cpuRunning(), line != QLatin1String("state stop"));
    }

    // A signal's bytes at points of its period.
    void signalValues_data()
    {
        QTest::addColumn<QString>("signalText");
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<double>("random");
        QTest::addColumn<QList<QByteArray>>("bytes");
        QTest::addRow("sine 0..100") << "DB1.DBW0:int16:sine:10s" << QList<qint64>{0, 2500, 7500, 12500} << 0.0
                                     << QList<QByteArray>{h("0032"), h("0064"), h("0000"), h("0064")};
        QTest::addRow("ramp") << "MW2:uint16:ramp:1s:0:1000" << QList<qint64>{0, 250, 999, 1000} << 0.0
                              << QList<QByteArray>{h("0000"), h("00fa"), h("03e7"), h("0000")};
        QTest::addRow("square bool") << "M4.0:bool:square:2s" << QList<qint64>{500, 1500} << 0.0
                                     << QList<QByteArray>{h("00"), h("01")};
        QTest::addRow("random real") << "DB1.DBD4:REAL:random:500ms:-1:1" << QList<qint64>{0} << 0.75
                                     << QList<QByteArray>{h("3f000000")};
        QTest::addRow("ramp of a byte") << "QB0:usint:ramp:1m:10:250" << QList<qint64>{0, 30000}
                                        << 0.0 << QList<QByteArray>{h("0a"), h("82")};
        QTest::addRow("64-bit ramp") << "DB1.DBB8:lint:ramp:1h:0:1e15" << QList<qint64>{1800000} << 0.0
                                     << QList<QByteArray>{h("0001c6bf52634000")};
    }
    void signalValues()
    {
        QFETCH(QString, signalText);
        QFETCH(QList<qint64>, times);
        QFETCH(double, random);
        QFETCH(QList<QByteArray>, bytes);
        SimSignal signal;
        QString error;
        QVERIFY2(SimSignal::parse(signalText, &signal, &error), qPrintable(error));
        for (int i = 0; i < times.size(); ++i)
            QCOMPARE(signal.bytesAt(times.at(i), random).toHex(), bytes.at(i).toHex());
    }

    void badSignals_data()
    {
        QTest::addColumn<QString>("signalText");
        QTest::addColumn<QString>("named");
        QTest::addRow("word for int32") << "DB1.DBW0:int32:sine:10s" << "int32 takes 4 bytes; the address names 2";
        QTest::addRow("bool without a bit") << "M0:bool:square:1s" << "bool needs a bit address";
        QTest::addRow("unknown type") << "M0:int128:sine:1s" << "unknown type 'int128'";
        QTest::addRow("unknown shape") << "M0:int8:saw:1s" << "shape sine, ramp, square or random";
        QTest::addRow("period too short") << "M0:int8:sine:9ms" << "period 10ms to 24h";
        QTest::addRow("min not below max") << "M0:int8:sine:1s:5:5" << "MIN below MAX";
        QTest::addRow("min outside the type") << "M0:uint8:sine:1s:-1:5" << "MIN below MAX, both within uint8";
        QTest::addRow("double word for int64") << "DB1.DBD0:int64:sine:1s" << "int64 takes 8 bytes; the address names 4";
        QTest::addRow("bool with a range") << "M0.0:bool:sine:1s:0:1" << "bool takes none";
        QTest::addRow("five parts") << "M0:int8:sine:1s:5" << "ADDRESS:TYPE:SHAPE:PERIOD[:MIN:MAX]";
    }
    void badSignals()
    {
        QFETCH(QString, signalText);
        QFETCH(QString, named);
        SimSignal signal;
        QString error;
        QVERIFY(!SimSignal::parse(signalText, &signal, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
    }

    // --fault and --state from the command line, then changed through the
    // control port; a line too long is refused and the port goes on.
    void controlPort()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--control", "0", "--fault", "silent", "--state", "stop"}));
        QVERIFY(sim.control != 0);
        QTcpSocket plc;
        plc.connectToHost(QHostAddress::LocalHost, sim.port);
        QVERIFY(plc.waitForConnected(WaitMs));
        QCOMPARE(ask(plc, ConnectRequest), QByteArray()); // silent
        QTcpSocket control;
        control.connectToHost(QHostAddress::LocalHost, sim.control);
        QVERIFY(control.waitForConnected(WaitMs));
        QCOMPARE(converse(control, QByteArray(300, 'x') + "\nfault off\nclients\n", 3),
                 QStringList({"error: line longer than 256 bytes", "ok fault off",
                              QStringLiteral("ok 1 127.0.0.1:%1").arg(plc.localPort())}));
        QCOMPARE(ask(plc, ConnectRequest).size(), 22);
        QCOMPARE(ask(plc, SetupJob).size(), 27);
        QCOMPARE(ask(plc, ModeRequest).mid(ModeByteOffset, 1), h("04"));
        QCOMPARE(converse(control, "state run\n", 1), QStringList({"ok state run"}));
        QCOMPARE(ask(plc, ModeRequest).mid(ModeByteOffset, 1), h("08"));
    }

    // A signal moves its value while the simulator runs.
    void signalRuns()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--control", "0", "--signal", "DB1.DBW0:int16:ramp:2s:0:2000"}));
        QTcpSocket control;
        control.connectToHost(QHostAddress::LocalHost, sim.control);
        QVERIFY(control.waitForConnected(WaitMs));
        const QStringList first = converse(control, "get DB1.DBW0\n", 1);
        QTest::qWait(QuietMs);
        const QStringList second = converse(control, "get DB1.DBW0\n", 1);
        QCOMPARE(first.size(), 1);
        QCOMPARE(second.size(), 1);
        QVERIFY2(first != second, qPrintable(first.join(' ')));
    }

    // The stop handlers are in place before the simulator says it listens:
    // SIGTERM right after the line ends it with "stopped" and exit code 0.
    void stopRightAfterListening()
    {
        for (int run = 0; run < StopRuns; ++run) {
            QProcess sim;
            sim.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM), {"--port", "0"});
            QByteArray out;
            while (!out.contains("listening on") && sim.waitForReadyRead(WaitMs))
                out += sim.readAllStandardOutput();
            sim.terminate();
            QVERIFY(sim.waitForFinished(WaitMs));
            out += sim.readAllStandardOutput();
            QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
            QCOMPARE(sim.exitCode(), 0);
            QVERIFY2(out.endsWith("stopped\n"), out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TstSimApp)
#include "tst_simapp.moc"
