// The frames the plug-in puts on the wire, as its debug log shows them, run
// through Wireshark's dissectors: each request and reply must decode as
// TPKT, COTP and S7 communication, and none may be flagged as malformed.
// snap7's S7 server answers the requests.
#include <QtTest>

#include <QRegularExpression>
#include <QTemporaryDir>

#include "DriverPlugin.h"
#include "Snap7Peer.h"

Q_DECLARE_METATYPE(ERecordStatus)

namespace {

const int ToolTimeoutMs = 60000;
const quint16 ClientPort = 49152;
const quint16 IsoTcpPort = 102;
const char DecodedAs[] = "eth:ethertype:ip:tcp:tpkt:cotp:s7comm";
const int ExpertSeverityError = 0x00800000;   // Wireshark's PI_ERROR

struct LoggedFrame {
    bool request;
    QByteArray bytes;
};

// Frames from the plug-in's debug lines; lines that look like frame lines but
// do not parse are kept so that the test can fail on them.
QList<LoggedFrame> loggedFrames;
QStringList unparsedLines;
QtMessageHandler previousHandler = nullptr;

void collectFrames(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression frameLine(
        QStringLiteral("lib\\[Quillmarsh\\](读命令|写命令|响应) .* msg : ([0-9a-f]*)\"?$"));
    if (type == QtDebugMsg && message.contains(QLatin1String("lib[Quillmarsh]"))) {
        const QRegularExpressionMatch match = frameLine.match(message);
        if (match.hasMatch())
            loggedFrames.append({match.captured(1) != QStringLiteral("响应"),
                                 QByteArray::fromHex(match.captured(2).toLatin1())});
        else
            unparsedLines.append(message);
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

// text2pcap's hexdump input. The capture is seen from the PLC: requests are
// inbound (client port to 102), replies outbound.
QByteArray hexdump(const QList<LoggedFrame> &frames)
{
    const int bytesPerLine = 16;
    QByteArray text;
    for (const LoggedFrame &frame : frames) {
        text += frame.request ? "I\n" : "O\n";
        for (int offset = 0; offset < frame.bytes.size(); offset += bytesPerLine)
            text += QByteArray::number(offset, 16).rightJustified(6, '0') + ' '
                    + frame.bytes.mid(offset, bytesPerLine).toHex(' ') + '\n';
    }
    return text;
}

// Runs a tool to its end; its standard output, or a null array and *error.
QByteArray runTool(const QString &name, const QStringList &arguments, QString *error)
{
    const QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty()) {
        *error = QStringLiteral("%1 is not installed; run scripts/setup.sh").arg(name);
        return QByteArray();
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("%1 %2 failed: %3 %4").arg(name, arguments.join(QLatin1Char(' ')),
                                                         process.errorString(),
                                                         QString::fromLocal8Bit(process.readAllStandardError()));
        process.kill();
        process.waitForFinished(ToolTimeoutMs);
        return QByteArray();
    }
    QByteArray output = process.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

} // namespace

template <typename T>
static QVariant list(std::initializer_list<T> elements)
{
    return QVariant::fromValue(QList<T>(elements));
}

class TestDissector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY2(peer.start(), qPrintable(peer.lastError()));
        QVERIFY2((driver = host.create()), qPrintable(host.errorString()));
        QCOMPARE(driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(peer.port())), ConnectOk);
        previousHandler = qInstallMessageHandler(collectFrames);
    }
    void cleanupTestCase()
    {
        if (previousHandler)
            qInstallMessageHandler(previousHandler);
        peer.stop();
    }

    void framesDecode_data()
    {
        QTest::addColumn<QString>("readAddress");
        QTest::addColumn<QString>("writeAddress");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<ERecordStatus>("status");   // of the read and of the write

        QTest::addRow("Bool bytes") << "M20.3" << "M20" << int(Bool) << list<bool>({true}) << StatusOk;
        // A write to an address with a bit carries one BIT item per element.
        QTest::addRow("Bool bits") << "DB1.DBX4.6" << "DB1.DBX4.6" << int(Bool) << list<bool>({true, false}) << StatusOk;
        QTest::addRow("Int8") << "I4" << "Q4" << int(Int8) << list<char>({char(-5), 7}) << StatusOk;
        QTest::addRow("UInt8") << "Q8" << "M8" << int(UInt8) << list<uchar>({200, 1}) << StatusOk;
        QTest::addRow("Int16") << "DB1.DBW10" << "DB1.DBW10" << int(Int16) << list<short>({-300, 5}) << StatusOk;
        QTest::addRow("UInt16") << "DB10.DBW20" << "DB10.DBW20" << int(UInt16) << list<ushort>({65000, 1}) << StatusOk;
        QTest::addRow("Int32") << "V30" << "V30" << int(Int32) << list<int>({-2, 305419896}) << StatusOk;
        QTest::addRow("UInt32") << "M40" << "M40" << int(UInt32) << list<uint>({4000000000u, 0u}) << StatusOk;
        QTest::addRow("Float") << "DB1.DBD50" << "DB1.DBD50" << int(Float) << list<float>({1.5f, -0.0f}) << StatusOk;
        QTest::addRow("Int64") << "DB10.DBD60" << "DB10.DBD60" << int(Int64) << list<qlonglong>({-1, 2147483648LL}) << StatusOk;
        QTest::addRow("UInt64") << "Q70" << "Q70" << int(UInt64) << list<qulonglong>({1, 72623859790382856ULL}) << StatusOk;
        QTest::addRow("Double") << "V80" << "V80" << int(Double) << list<double>({-2.5, 1e300}) << StatusOk;
        // The server's error answers (object does not exist) decode as well.
        QTest::addRow("missing DB5") << "DB5.DBW0" << "DB5.DBW0" << int(UInt16) << list<ushort>({1, 2}) << StatusBadReply;
    }
    void framesDecode()
    {
        QFETCH(QString, readAddress);
        QFETCH(QString, writeAddress);
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(ERecordStatus, status);
        const int count = 2;

        loggedFrames.clear();
        unparsedLines.clear();
        driver->DebugCmd(DebugStart);
        const int readStatus = driver->ReadVariable(readAddress, DataType(type), count).status;
        CLabelVariable record;
        record.value = value;
        const int writeStatus = driver->WriteVariable(writeAddress, DataType(type), record, count).status;
        driver->DebugCmd(DebugStop);
        QCOMPARE(readStatus, status);
        QCOMPARE(writeStatus, status);
        QVERIFY2(unparsedLines.isEmpty(), qPrintable(unparsedLines.join(QLatin1Char('\n'))));

        // Request and reply of the read, then of the write.
        QCOMPARE(loggedFrames.size(), 4);
        for (int i = 0; i < loggedFrames.size(); ++i) {
            QCOMPARE(loggedFrames.at(i).request, i % 2 == 0);
            QVERIFY2(!loggedFrames.at(i).bytes.isEmpty(), "empty frame in the debug log");
        }

        const QString input = dir.filePath(QStringLiteral("%1.txt").arg(QTest::currentDataTag()));
        const QString capture = dir.filePath(QStringLiteral("%1.pcapng").arg(QTest::currentDataTag()));
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(hexdump(loggedFrames)) > 0);
        file.close();

        QString error;
        const QStringList toPcap{QStringLiteral("-q"), QStringLiteral("-D"),
                                 QStringLiteral("-T"), QStringLiteral("%1,%2").arg(ClientPort).arg(IsoTcpPort),
                                 input, capture};
        QVERIFY2(!runTool(QStringLiteral("text2pcap"), toPcap, &error).isNull(), qPrintable(error));
        const QStringList decode{QStringLiteral("-n"), QStringLiteral("-r"), capture, QStringLiteral("-T"), QStringLiteral("fields"),
                                 QStringLiteral("-E"), QStringLiteral("separator=/t"), QStringLiteral("-E"), QStringLiteral("occurrence=a"),
                                 QStringLiteral("-E"), QStringLiteral("aggregator=,"),
                                 QStringLiteral("-e"), QStringLiteral("frame.protocols"), QStringLiteral("-e"), QStringLiteral("tcp.dstport"),
                                 QStringLiteral("-e"), QStringLiteral("_ws.malformed"), QStringLiteral("-e"), QStringLiteral("_ws.expert.severity")};
        const QByteArray decoded = runTool(QStringLiteral("tshark"), decode, &error);
        QVERIFY2(!decoded.isNull(), qPrintable(error));

        QList<QByteArray> rows = decoded.split('\n');
        if (!rows.isEmpty() && rows.constLast().isEmpty())
            rows.removeLast();   // after the last line end
        QCOMPARE(rows.size(), loggedFrames.size());
        for (int i = 0; i < rows.size(); ++i) {
            const QList<QByteArray> fields = rows.at(i).split('\t');
            const QString frameHex = QString::fromLatin1(loggedFrames.at(i).bytes.toHex());
            QVERIFY2(fields.size() == 4, rows.at(i).constData());
            QVERIFY2(fields.at(0) == DecodedAs, qPrintable(QStringLiteral("frame %1 %2 decodes as %3")
                                                                .arg(i + 1).arg(frameHex, QString::fromLatin1(fields.at(0)))));
            QCOMPARE(fields.at(1).toInt(), loggedFrames.at(i).request ? int(IsoTcpPort) : int(ClientPort));
            QVERIFY2(fields.at(2).isEmpty(), qPrintable(QStringLiteral("frame %1 %2 is malformed").arg(i + 1).arg(frameHex)));
            for (const QByteArray &severity : fields.at(3).split(','))
                QVERIFY2(severity.toInt() < ExpertSeverityError,
                         qPrintable(QStringLiteral("frame %1 %2 has an expert error").arg(i + 1).arg(frameHex)));
        }
    }

private:
    Snap7Peer peer;
    DriverPlugin host;
    CDriveBaseClass *driver = nullptr;
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestDissector)
#include "tst_dissector.moc"
