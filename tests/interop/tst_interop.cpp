// The plug-in against snap7's S7 server, one row per memory area and per type
// family: a read of bytes the server holds and a write judged by the
// server's own memory, neighbouring bytes untouched. At the end every frame
// the rows put on the wire (as the debug log shows them) goes through
// Wireshark's dissectors and must decode as TPKT, COTP and S7 communication.
#include <QtTest>

#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

#include "DriverPlugin.h"
#include "ElementTypes.h"
#include "Snap7Peer.h"

Q_DECLARE_METATYPE(ERecordStatus)

namespace {

const int ToolTimeoutMs = 60000;
const quint16 ClientPort = 49152;
const quint16 IsoTcpPort = 102;
const char DecodedAs[] = "eth:ethertype:ip:tcp:tpkt:cotp:s7comm";
const int ExpertSeverityError = 0x00800000; // Wireshark's PI_ERROR

// Where a row looks in the server's memory: PE, PA, MK or DB.
struct Spot
{
    QString area;
    int db;
    int start;
};

template <typename T>
QVariant list(std::initializer_list<T> elements)
{
    return QVariant::fromValue(QList<T>(elements));
}

// True when both values hold the same list of the type's element type.
bool sameElements(DataType type, const QVariant &actual, const QVariant &expected)
{
    return ElementTypes::withServedElementType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const int id = listMetaTypeId<T>();
        return actual.userType() == id && expected.userType() == id
               && actual.value<QList<T>>() == expected.value<QList<T>>();
    });
}

// The frames of the debug log: request or reply, and their bytes. Lines that
// look like frame lines but do not parse are kept so that the test fails.
struct LoggedFrame
{
    bool request;
    QByteArray bytes;
};
QList<LoggedFrame> loggedFrames;
QStringList unparsedLines;
QtMessageHandler previousHandler = nullptr;

void collectFrames(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression frameLine(
        QStringLiteral("lib\\[Quillmarsh\\](读命令|写命令|响应) .* msg : ([0-9a-f]*)\"?$"));
    if (type != QtDebugMsg || !message.contains(QLatin1String("lib[Quillmarsh]"))) {
        previousHandler(type, context, message);
        return;
    }
    const QRegularExpressionMatch match = frameLine.match(message);
    if (match.hasMatch())
        loggedFrames.append({match.captured(1) != QStringLiteral("响应"), QByteArray::fromHex(match.captured(2).toLatin1())});
    else
        unparsedLines.append(message);
}

// text2pcap's hexdump input, seen from the PLC: requests inbound, replies outbound.
QByteArray hexdump(const QList<LoggedFrame> &frames)
{
    QByteArray text;
    for (const LoggedFrame &frame : frames) {
        text += frame.request ? "I\n" : "O\n";
        for (int offset = 0; offset < frame.bytes.size(); offset += 16)
            text += QByteArray::number(offset, 16).rightJustified(6, '0') + ' ' + frame.bytes.mid(offset, 16).toHex(' ') + '\n';
    }
    return text;
}

// Runs a tool to its end: its standard output, or a null array and *error.
QByteArray runTool(const QString &name, const QStringList &arguments, QString *error)
{
    const QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty()) {
        *error = QStringLiteral("%1 is not installed; run scripts/setup.sh").arg(name);
        return QByteArray();
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitCode() != 0) {
        *error = QStringLiteral("%1 failed: %2").arg(name, QString::fromLocal8Bit(process.readAllStandardError()));
        process.kill();
        process.waitForFinished(ToolTimeoutMs);
        return QByteArray();
    }
    const QByteArray output = process.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

} // namespace

Q_DECLARE_METATYPE(Spot)

class TestInterop : public QObject
{
    Q_OBJECT

    Snap7Peer peer;
    DriverPlugin host;
    CDriveBaseClass *driver = nullptr;
    QTemporaryDir dir;

    // The bytes at the spot, with the seed byte on either side.
    void verifyMemory(const Spot &at, const QByteArray &expected)
    {
        const QByteArray memory = peer.dump(at.area, at.db, at.start - 1, expected.size() + 2);
        QVERIFY2(!memory.isEmpty(), qPrintable(peer.lastError()));
        const QByteArray seededAround = Snap7Peer::seeded(at.area, at.db, at.start - 1, 1) + expected
                                        + Snap7Peer::seeded(at.area, at.db, at.start + expected.size(), 1);
        QCOMPARE(memory.toHex(), seededAround.toHex());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY2(peer.start(), qPrintable(peer.lastError()));
        QVERIFY2((driver = host.create()), qPrintable(host.errorString()));
        QCOMPARE(driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(peer.port())), ConnectOk);
        previousHandler = qInstallMessageHandler(collectFrames);
        driver->DebugCmd(DebugStart);
    }
    void init() { QVERIFY2(peer.reseed(), qPrintable(peer.lastError())); }
    void cleanupTestCase()
    {
        qInstallMessageHandler(previousHandler);
        peer.stop();
    }

    void readAndWrite_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<Spot>("at");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<ERecordStatus>("writeStatus");
        auto row = [](const char *name, const char *addr, DataType type, int count, Spot at, const char *hex,
                      const QVariant &value, ERecordStatus writeStatus = StatusOk) {
            QTest::addRow("%s", name) << QString(addr) << int(type) << count << at << QByteArray::fromHex(hex) << value
                                      << writeStatus;
        };
        // Every area once.
        row("inputs", "I60", Int16, 1, {"PE", 0, 60}, "fffe", list<short>({-2}), StatusInputArea);
        row("outputs", "Q60", UInt8, 2, {"PA", 0, 60}, "ff01", list<uchar>({255, 1}));
        row("markers", "M60", Int32, 1, {"MK", 0, 60}, "80000000", list<int>({std::numeric_limits<int>::min()}));
        row("DB1", "DB1.DBD60", Float, 1, {"DB", 1, 60}, "40490fdb", list<float>({3.14159274f}));
        row("DB10", "DB10.DBD60", Int64, 1, {"DB", 10, 60}, "0000000080000000", list<qlonglong>({2147483648LL}));
        row("V is DB1", "V80", Double, 1, {"DB", 1, 80}, "400921fb54442d18", list<double>({M_PI}));
        // Every width and signedness once, arrays in element order.
        row("8 bit signed", "DB1.DBB90", Int8, 2, {"DB", 1, 90}, "ff12", list<char>({char(-1), 0x12}));
        row("16 bit unsigned", "DB1.DBW92", UInt16, 2, {"DB", 1, 92}, "fffe1234", list<ushort>({65534, 0x1234}));
        row("32 bit unsigned", "DB1.DBD96", UInt32, 1, {"DB", 1, 96}, "80000001", list<uint>({2147483649u}));
        row("64 bit unsigned", "DB1.DBD100", UInt64, 1, {"DB", 1, 100}, "0102030405060708",
            list<qulonglong>({72623859790382856ULL}));
    }
    void readAndWrite()
    {
        QFETCH(QString, address);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(Spot, at);
        QFETCH(QByteArray, bytes);
        QFETCH(QVariant, value);
        QFETCH(ERecordStatus, writeStatus);
        QVERIFY2(peer.set(at.area, at.db, at.start, bytes), qPrintable(peer.lastError()));
        const CLabelVariable read = driver->ReadVariable(address, DataType(type), count);
        QCOMPARE(read.status, StatusOk);
        QVERIFY2(sameElements(DataType(type), read.value, value), read.value.typeName());

        QVERIFY2(peer.reseed(), qPrintable(peer.lastError()));
        CLabelVariable record;
        record.value = value;
        QCOMPARE(driver->WriteVariable(address, DataType(type), record, count).status, writeStatus);
        verifyMemory(at, bytes);
    }

    // Bool to an address with a bit writes that bit and the ones after it (one
    // per element) and no other; without a bit, whole bytes of 01 or 00. A
    // read then gives the bits from the addressed one up.
    void bits_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QList<bool>>("bits");
        QTest::addColumn<Spot>("at");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<ERecordStatus>("status");
        auto row = [](const char *name, const char *addr, QList<bool> bits, Spot at, const char *before,
                      const char *after, ERecordStatus status = StatusOk) {
            QTest::addRow("%s", name) << QString(addr) << bits << at << QByteArray::fromHex(before)
                                      << QByteArray::fromHex(after) << status;
        };
        row("marker bit", "M20.3", {true}, {"MK", 0, 20}, "00", "08");
        row("eight bits over a byte boundary", "DB1.DBX50.4", {true, true, true, true, false, false, false, false},
            {"DB", 1, 50}, "0f0f", "ff00");
        row("input bit", "I9.1", {true}, {"PE", 0, 9}, "00", "02", StatusInputArea);
        row("whole output byte", "Q7", {false}, {"PA", 0, 7}, "ff", "00");
    }
    void bits()
    {
        QFETCH(QString, address);
        QFETCH(QList<bool>, bits);
        QFETCH(Spot, at);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(ERecordStatus, status);
        QVERIFY2(peer.set(at.area, at.db, at.start, before), qPrintable(peer.lastError()));
        CLabelVariable record;
        record.value = QVariant::fromValue(bits);
        QCOMPARE(driver->WriteVariable(address, Bool, record, bits.size()).status, status);
        verifyMemory(at, after);
        const CLabelVariable read = driver->ReadVariable(address, Bool, 1);
        QCOMPARE(read.status, StatusOk);
        QCOMPARE(read.value.value<QList<bool>>().value(0), bits.first());
    }

    // The server's refusals are bad answers; the connection stays usable.
    void refusedByServer_data()
    {
        QTest::addColumn<bool>("isWrite");
        QTest::addColumn<QString>("address");
        QTest::addRow("read of a missing data block") << false << "DB5.DBB0";
        QTest::addRow("write past the end of the markers") << true << "M250";
    }
    void refusedByServer()
    {
        QFETCH(bool, isWrite);
        QFETCH(QString, address);
        CLabelVariable record;
        record.value = QVariant::fromValue(QList<uchar>{1, 2, 3, 4, 5, 6, 7, 8});
        const CLabelVariable result = isWrite ? driver->WriteVariable(address, UInt8, record, 8)
                                              : driver->ReadVariable(address, UInt8, 8);
        QCOMPARE(result.status, StatusBadReply);
        verifyMemory({"MK", 0, 250}, Snap7Peer::seeded(QStringLiteral("MK"), 0, 250, 5));
        QCOMPARE(driver->ReadVariable(QStringLiteral("M0"), UInt8, 2).status, StatusOk);
    }

    // Every request and reply of the rows above, error answers included.
    void framesDecode()
    {
        driver->DebugCmd(DebugStop);
        QVERIFY2(unparsedLines.isEmpty(), qPrintable(unparsedLines.join(QLatin1Char('\n'))));
        QVERIFY(loggedFrames.size() >= 2 * 10);
        const QString input = dir.filePath(QStringLiteral("frames.txt"));
        const QString capture = dir.filePath(QStringLiteral("frames.pcapng"));
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(hexdump(loggedFrames)) > 0);
        file.close();

        QString error;
        const QStringList toPcap{"-q", "-D", "-T", QStringLiteral("%1,%2").arg(ClientPort).arg(IsoTcpPort), input, capture};
        QVERIFY2(!runTool(QStringLiteral("text2pcap"), toPcap, &error).isNull(), qPrintable(error));
        const QStringList decode{"-n", "-r", capture, "-T", "fields", "-E", "separator=/t", "-E", "occurrence=a",
                                 "-E", "aggregator=,", "-e", "frame.protocols", "-e", "tcp.dstport",
                                 "-e", "_ws.malformed", "-e", "_ws.expert.severity"};
        const QByteArray decoded = runTool(QStringLiteral("tshark"), decode, &error);
        QVERIFY2(!decoded.isNull(), qPrintable(error));
        QList<QByteArray> rows = decoded.split('\n');
        rows.removeAll(QByteArray()); // after the last line end
        QCOMPARE(rows.size(), loggedFrames.size());
        for (int i = 0; i < rows.size(); ++i) {
            const QList<QByteArray> fields = rows.at(i).split('\t');
            const QByteArray frame = loggedFrames.at(i).bytes.toHex();
            QVERIFY2(fields.size() == 4 && fields.at(0) == DecodedAs, qPrintable(frame + " decodes as " + rows.at(i)));
            QCOMPARE(fields.at(1).toInt(), loggedFrames.at(i).request ? int(IsoTcpPort) : int(ClientPort));
            QVERIFY2(fields.at(2).isEmpty(), qPrintable(frame + " is malformed"));
            for (const QByteArray &severity : fields.at(3).split(','))
                QVERIFY2(severity.toInt() < ExpertSeverityError, qPrintable(frame + " has an expert error"));
        }
    }
};

QTEST_GUILESS_MAIN(TestInterop)
#include "tst_interop.moc"
