// The quillmarsh tool run as a separate process against a simulated PLC that
// lives in this test process, so that every write can be checked in the
// PLC's memory and every refusal by the frames the PLC did (not) receive.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QtTest>

#include <climits>
#include <signal.h>

#include "CliRun.h"
#include "ResultCodes.h"
#include "SimPlc.h"

namespace {
using Run = CliRun;

// The rows of the ADDRESS … TIME STAMP table, cut at the header's column
// starts (a cell may be empty, so blanks alone cannot separate cells).
QList<QStringList> tableRows(const QString &out)
{
    const QStringList lines = out.split(QLatin1Char('\n'));
    int header = 0;
    while (header < lines.size() && !lines.at(header).startsWith(QLatin1String("ADDRESS ")))
        ++header;
    QList<QStringList> rows;
    if (header == lines.size())
        return rows;
    QList<int> starts;
    for (const char *h : {"ADDRESS", "TYPE", "VALUE", "STATUS", "TIME STAMP"})
        starts << lines.at(header).indexOf(QLatin1String(h));
    starts << INT_MAX;
    for (int i = header + 2; i < lines.size() && !lines.at(i).isEmpty(); ++i) {
        QStringList cells;
        for (int c = 0; c + 1 < starts.size(); ++c)
            cells << lines.at(i).mid(starts.at(c), starts.at(c + 1) - starts.at(c)).trimmed();
        rows << cells;
    }
    return rows;
}

QStringList rowOf(const QString &out, const QString &address)
{
    for (const QStringList &row : tableRows(out)) {
        if (row.first() == address)
            return row;
    }
    return QStringList();
}

// Checks one record as read or write printed it: plain table row or JSON.
void checkRecord(const Run &r, const QString &address, const QString &typeName, bool json,
                 const QString &shown)
{
    QCOMPARE(r.exitCode, 0);
    if (json) {
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.value(QStringLiteral("address")).toString(), address);
        QCOMPARE(o.value(QStringLiteral("type")).toString(), typeName);
        QCOMPARE(o.value(QStringLiteral("status")).toInt(-1), int(StatusOk));
        QCOMPARE(o.value(QStringLiteral("statusText")).toString(), QStringLiteral("ok"));
        // Raw text: 64-bit values must keep every digit, which a double cannot.
        QVERIFY2(r.out.contains(QStringLiteral("\"values\":") + shown), qPrintable(r.out));
    } else {
        const QStringList cells = rowOf(r.out, address);
        QVERIFY2(cells.size() == 5, qPrintable(r.out));
        QCOMPARE(cells.at(1), typeName);
        QCOMPARE(cells.at(2), shown);
        QCOMPARE(cells.at(3), QStringLiteral("0 ok"));
    }
}
} // namespace

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY2(QFileInfo::exists(Run::program()), qPrintable(Run::program()));
        plc = new SimPlc;
        QVERIFY(plc->start());
    }
    void cleanup()
    {
        plc->stop();
        delete plc;
        plc = nullptr;
        qDeleteAll(tagFiles);
        tagFiles.clear();
    }
    void demoShowsEveryType()
    {
        const Run r = Run::run({QStringLiteral("demo")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QSet<QString> types;
        const QList<QStringList> rows = tableRows(r.out);
        for (const QStringList &row : rows) {
            types << row.at(1);
            QCOMPARE(row.at(3), QStringLiteral("0 ok"));
            QVERIFY(!row.at(2).isEmpty());
        }
        QCOMPARE(types, (QSet<QString>{"Bool", "Int8", "UInt8", "Int16", "UInt16", "Int32", "UInt32",
                                       "Float", "Int64", "UInt64", "Double"}));
        QVERIFY(rows.size() >= 22);   // every type in the data block and in the markers
    }
    void writeThenRead_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("typeArg");
        QTest::addColumn<QString>("values");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("db");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("memoryHex");
        QTest::addColumn<bool>("json");
        QTest::addColumn<QString>("shown");

        const int DB = SimPlc::AreaDataBlocks, M = SimPlc::AreaMarkers;
        QTest::addRow("UInt16 hex json") << "DB1.DBW22" << "UInt16" << "0xBEEF" << DB << 1 << 22 << "beef" << true << "[48879]";
        QTest::addRow("Int8 as number") << "M5" << "INT8" << "-1" << M << 0 << 5 << "ff" << false << "-1";
        QTest::addRow("Float array plain") << "DB1.DBD0" << "float" << "-1.5,inf,3.1415927" << DB << 1 << 0
                                           << "bfc000007f80000040490fdb" << false << "-1.5, inf, 3.1415927";
        QTest::addRow("Float array json") << "DB1.DBD0" << "float" << "-1.5,inf,nan" << DB << 1 << 0
                                          << "bfc000007f8000007fc00000" << true << "[-1.5,null,null]";
        QTest::addRow("UInt64 max json") << "DB10.DBB16" << "uint64" << "18446744073709551615" << DB << 10 << 16
                                         << "ffffffffffffffff" << true << "[18446744073709551615]";
        QTest::addRow("Double plain") << "M100" << "double" << "-1e-300" << M << 0 << 100 << "81a56e1fc2f8f359"
                                      << false << "-1e-300";
        QTest::addRow("Bool json") << "DB2.DBX4.0" << "bool" << "true" << DB << 2 << 4 << "01" << true << "[true]";
    }
    void writeThenRead()
    {
        QFETCH(QString, address);
        QFETCH(QString, typeArg);
        QFETCH(QString, values);
        QFETCH(int, area);
        QFETCH(int, db);
        QFETCH(int, offset);
        QFETCH(QString, memoryHex);
        QFETCH(bool, json);
        QFETCH(QString, shown);
        const QByteArray bytes = QByteArray::fromHex(memoryHex.toLatin1());
        const auto simArea = SimPlc::Area(area);
        const QString typeName = typeArg.at(0).toUpper() + typeArg.mid(1).toLower();
        const QString expectedType = typeName.startsWith(QLatin1String("Ui"))
                                         ? QStringLiteral("UI") + typeName.mid(2) : typeName;
        const QStringList jsonArg = json ? QStringList{QStringLiteral("--json")} : QStringList();

        const Run w = Run::run(QStringList{"write", endpoint(), address, typeArg, values} + jsonArg);
        checkRecord(w, address, expectedType, json, shown);
        QCOMPARE(plc->memory(simArea, db, offset, bytes.size()).toHex(), bytes.toHex());

        // Read decodes bytes put there by the PLC side, not by the tool's write.
        QVERIFY(plc->setMemory(simArea, db, offset, QByteArray(bytes.size(), '\0')));
        QVERIFY(plc->setMemory(simArea, db, offset, bytes));
        const QString count = QString::number(values.split(QLatin1Char(',')).size());
        const Run r = Run::run(QStringList{"read", endpoint(), address, typeArg, count} + jsonArg);
        checkRecord(r, address, expectedType, json, shown);
    }
    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const QString w = QStringLiteral("write"), r = QStringLiteral("read");
        QTest::addRow("unknown type") << QStringList{r, "%E", "DB1.DBW0", "int17"} << 2 << "unknown type 'int17'";
        QTest::addRow("no area") << QStringList{r, "%E", "XYZ", "int16"} << 2 << "address 'XYZ' names no memory area";
        QTest::addRow("count zero") << QStringList{r, "%E", "M0", "int8", "0"} << 2 << "count '0'";
        QTest::addRow("Int8 last of list") << QStringList{w, "%E", "M0", "int8", "1,2,128"} << 2
                                           << "value '128' is out of range for Int8";
        QTest::addRow("tag without type") << QStringList{"watch", "%E", "DB1.DBW0"} << 2 << "not ADDRESS:TYPE";
        QTest::addRow("tag list bad line") << QStringList{"watch", "%E", "--tags", "%TAGS=# tags\n\nM0,int8\nM1,int99,1,Speed\n"}
                                           << 2 << ".csv:4: unknown type 'int99'";
        QTest::addRow("no port") << QStringList{r, "127.0.0.1", "M0", "int8"} << 2 << "is not HOST:PORT";
        QTest::addRow("TSAP not hexadecimal") << QStringList{r, "%E", "M0", "int8", "--tsap", "0300:zz"} << 2
                                              << "--tsap '0300:zz' is not two hexadecimal TSAPs";
        QTest::addRow("slot 32") << QStringList{w, "%E", "M0", "int8", "1", "--slot", "32"} << 2
                                 << "--slot '32' is not a whole number from 0 to 31";
        QTest::addRow("unknown family") << QStringList{"info", "%E", "--cpu", "s7-900"} << 2
                                        << "--cpu 's7-900' is none of s7-300, s7-400, s7-1200, s7-1500, s7-200-smart, logo";
        QTest::addRow("bad option in a tag file") << QStringList{r, "%E", "--tags", "%TAGS=--type xy\nM0,int8\n"} << 2
                                                  << "--type 'xy' is none of pg, op, basic";
        const QStringList plain{"--cpu", "s7-300", "--plugin", QUILLMARSH_PLAIN_PLUGIN};
        QTest::addRow("read, plug-in without extension") << QStringList{r, "%E", "M0", "int8"} + plain << 2
                                                         << "offers no extension";
        for (const char *command : {"watch", "panel"})
            QTest::addRow("%s, plug-in without extension", command)
                << QStringList{command, "%E", "M0:int8"} + plain << 2 << "offers no extension";
        QTest::addRow("password of 9") << QStringList{w, "%E", "M0", "int8", "1", "--password", "123456789"} << 2
                                       << "--password takes 1 to 8 Latin-1 characters";
        QTest::addRow("batch with an address") << QStringList{r, "%E", "M0", "--tags", "%TAGS=M0,int8\n"} << 2
                                               << "read expects 1 arguments, got 2";
        QTest::addRow("port 0") << QStringList{r, "127.0.0.1:0", "M0", "int8"} << 2 << "is not HOST:PORT";
        QTest::addRow("missing plug-in") << QStringList{r, "%E", "M0", "int8", "--plugin", "/nonexistent/libQuillmarsh.so"}
                                         << 1 << "plug-in not found: /nonexistent/libQuillmarsh.so";
        QTest::addRow("not a library") << QStringList{r, "%E", "M0", "int8", "--plugin", "%BADLIB"} << 1
                                       << "cannot load plug-in";
        QTest::addRow("unreachable PLC") << QStringList{r, "%CLOSED", "M0", "int8"} << 1
                                         << "-3 TCP connection not established within 3000 ms";
    }
    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        const Run r = Run::run(expand(args));
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QVERIFY2(r.err.count(QLatin1Char('\n')) == 1 && r.err.contains(error), qPrintable(r.err));
        // Refused before the plug-in touched the network: no connection at all.
        QCOMPARE(plc->acceptedCount(), 0);
        QVERIFY(plc->receivedFrames().isEmpty());
    }
    // S7 type names read as the plug-in's types; a width letter after the
    // area letter reads byte 0, with one warning line naming the form to use.
    void s7NamesAndWidthLetters_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("typeArg");
        QTest::addColumn<QString>("shownType");
        QTest::addColumn<QString>("warning"); // empty: nothing on stderr
        QTest::addRow("lreal") << "DB1.DBB0" << "lreal" << "Double" << QString();
        QTest::addRow("Word") << "DB1.DBB0" << "Word" << "UInt16" << QString();
        QTest::addRow("MW10") << "MW10" << "int16" << "Int16"
                              << "warning: MW10 reads byte 0 (the plug-in takes no width letter after the area "
                                 "letter); write M10 for byte 10";
        QTest::addRow("qb4") << "qb4" << "uint8" << "UInt8" << "write q4 for byte 4";
        QTest::addRow("VW100") << "VW100" << "int16" << "Int16" << "write V100 for byte 100";
        QTest::addRow("MX0.1") << "MX0.1" << "bool" << "Bool" << "write M0.1 for byte 0";
        QTest::addRow("M10") << "M10" << "int16" << "Int16" << QString();
        QTest::addRow("DB1.DBW0") << "DB1.DBW0" << "int16" << "Int16" << QString();
    }
    void s7NamesAndWidthLetters()
    {
        QFETCH(QString, address);
        QFETCH(QString, typeArg);
        QFETCH(QString, shownType);
        QFETCH(QString, warning);
        const Run r = Run::run({"read", endpoint(), address, typeArg});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(rowOf(r.out, address).value(1), shownType);
        if (warning.isEmpty())
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        else
            QVERIFY2(r.err.count(QLatin1Char('\n')) == 1 && r.err.contains(warning), qPrintable(r.err));
        // JSON on stdout stays one object, the warning apart on stderr.
        const Run j = Run::run({"read", endpoint(), address, typeArg, "--json"});
        QCOMPARE(QJsonDocument::fromJson(j.out.toUtf8()).object().value(QStringLiteral("address")).toString(),
                 address);
        QCOMPARE(j.err, r.err);
    }
    void watchToPipe_data()
    {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("inEveryLine");
        QTest::addColumn<int>("jobsPerPoll");
        const QStringList three{"DB1.DBW20:int16", "M0.0:bool", "DB1.DBD0:float:2"};
        const QStringList threeRead{"DB1.DBW20 Int16 = -1234 [0 ok]", "M0.0 Bool = 0 [0 ok]", "DB1.DBD0 Float = 0, 0 [0 ok]"};
        QTest::addRow("one batch") << three << 0 << threeRead << 1;
        QTest::addRow("merged reads") << three + QStringList{"--no-batch"} << 0 << threeRead << 2;
        QTest::addRow("tag by tag") << three + QStringList{"--no-merge"} << 0 << threeRead << 3;
        // Its cause and remedy: of its record in a batch, of its own job in merged reads.
        const QStringList unreadable{"DB1.DBW20:int16", "DB99.DBW0:int16"};
        const QStringList unreadableShown{"DB1.DBW20 Int16 = -1234 [0 ok]",
                                          "DB99.DBW0 Int16 =  [7 PLC answer not acceptable] age - (object does not exist",
                                          "switch off 'Optimized block access' in the block's attributes)"};
        QTest::addRow("one unreadable") << unreadable << 1 << unreadableShown << 1;
        QTest::addRow("one unreadable, merged reads") << unreadable + QStringList{"--no-batch"} << 1 << unreadableShown << 2;
        QTest::addRow("colon in address") << QStringList{"V_or_DB1:20:int16:1"} << 0
                                          << QStringList{"V_or_DB1:20 Int16 = -1234 [0 ok]"} << 1;
        QTest::addRow("tag list file") << QStringList{"M0.0:bool", "--tags", "%TAGS=# label may hold commas\r\n  # indented\r\n \t \r\n\r\n DB1.DBW20 , int16 ,, Speed, rpm\r\nDB1.DBW20,int16,2\n"}
                                       << 0 << QStringList{"M0.0 Bool = 0 [0 ok]", "DB1.DBW20 Int16 = -1234 [0 ok]",
                                                           "DB1.DBW20 Int16 = -1234, 0 [0 ok]"} << 1;
    }
    // A tag list in one job through the extension, over the connection the
    // tag file's options and the command line's (which win) ask for; each
    // failure with its cause.
    void batchRead()
    {
        plc->setFrameLog(true);
        const Run r = Run::run(expand({"read", "%E", "--tags", "%TAGS=--slot 1 --jobs 9\nM0,int8\nDB99.DBW0,int16\n",
                                       "--jobs", "3", "--json"}));
        QCOMPARE(r.exitCode, 1);
        const QJsonArray records = QJsonDocument::fromJson(r.out.toUtf8()).object().value("records").toArray();
        QVERIFY2(records.size() == 2 && !records.at(0).toObject().contains("cause")
                     && records.at(1).toObject().value("cause").toString().contains("object does not exist"), qPrintable(r.out));
        const QList<QByteArray> frames = plc->receivedFrames();
        QCOMPARE(frames.size(), 3); // connection request, setup, one read job
        QCOMPARE(frames.at(0).right(2).toHex() + frames.at(1).mid(19, 4).toHex(), QByteArray("030100030003"));
    }

    // Each family's profile: the plug-in's own connection (called TSAP 03.00)
    // fails where the CPU does not serve it, saying what to try; the family's
    // options reach it, and info tells what the CPU says of itself.
    void reachEveryFamily_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("reach");
        QTest::addColumn<QString>("hint"); // empty: 03.00 is served
        QTest::addRow("S7-300") << "s7-300" << QStringList{"--cpu", "s7-300"} << "an S7-300 answers at rack 0, slot 2: try --slot 2";
        QTest::addRow("S7-400") << "s7-400" << QStringList{"--cpu", "s7-400"} << "try --slot 3";
        QTest::addRow("S7-1200") << "s7-1200" << QStringList{"--cpu", "S7-1200"} << QString();
        QTest::addRow("S7-1500") << "s7-1500" << QStringList{"--cpu", "s7-1500"} << QString();
        QTest::addRow("S7-200 SMART") << "s7-200-smart" << QStringList{"--cpu", "s7-200-smart"} << QString();
        QTest::addRow("LOGO!") << "logo" << QStringList{"--cpu", "logo"} << "commonly 0300:0200: try --cpu logo";
    }
    void reachEveryFamily()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, reach);
        QFETCH(QString, hint);
        QVERIFY(plc->setCpu(profile));
        plc->setClockOffset(-3600000);
        plc->setCpuRunning(true); // a diagnostic event: STARTUP to RUN
        const Run plain = Run::run({"read", endpoint(), "DB1.DBW0", "int16"});
        QCOMPARE(plain.exitCode, hint.isEmpty() ? 0 : 1);
        QVERIFY2(hint.isEmpty() || (plain.err.count(QLatin1Char('\n')) == 1 && plain.err.contains(hint)
                                    && plain.err.contains("closed after the connection request to called TSAP 03.00 (calling 10.00)")),
                 qPrintable(plain.err));
        plc->setFrameLog(true);
        plc->clearReceivedFrames();
        const Run reached = Run::run(QStringList{"read", endpoint(), "DB1.DBW0", "int16"} + reach);
        QCOMPARE(rowOf(reached.out, "DB1.DBW0").value(3), QStringLiteral("0 ok"));
        QCOMPARE(plc->receivedFrames().value(1).mid(19, 4).toHex(), QByteArray("00080008")); // jobs asked at setup

        const Run info = Run::run(QStringList{"info", endpoint(), "--json", "--entries", "1"} + reach);
        QCOMPARE(info.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(info.out.toUtf8()).object();
        const QJsonArray events = o.value("diagnosticBuffer").toArray();
        QVERIFY2(o.value("orderNumber").toString().startsWith("6E") && o.value("mode").toString() == "RUN"
                     && o.value("protection").toString().startsWith("level 1 (mode selector") && events.size() == 1
                     && events.at(0).toObject().value("class") == "mode transition"
                     && events.at(0).toObject().value("text") == "STARTUP to RUN"
                     && qAbs(o.value("clockOffsetMs").toDouble() + 3600000) < 2000,
                 qPrintable(info.out));
    }
    // A failed tag shows its cause and what to change, in the table and in
    // its JSON; under protection with the level in force.
    void causeAndRemedy_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("cause"); // empty: the job succeeds
        QTest::addColumn<QString>("remedy");
        const QStringList read{"read", "%E", "DB1.DBW0", "int16"}, write{"write", "%E", "DB1.DBW0", "int16", "5"};
        QTest::addRow("PUT/GET off") << "put-get off" << read << "PUT/GET access is off"
                                     << "enable 'Permit access with PUT/GET communication from remote partner' in "
                                        "the CPU's protection settings, then download the hardware configuration";
        QTest::addRow("missing block") << "" << QStringList{"read", "%E", "DB99.DBW0", "int16"} << "object does not exist"
                                       << "download the data block if it is missing; if it is there, switch off "
                                          "'Optimized block access' in the block's attributes";
        QTest::addRow("protected") << "protection 3" << write << "not permitted at the CPU's protection level"
                                   << "protection level 3 in force: the CPU's protection level forbids this: give "
                                      "its password with --password";
        QTest::addRow("password given") << "protection 3" << write + QStringList{"--password", "secret"} << "" << "";
    }
    void causeAndRemedy()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, args);
        QFETCH(QString, cause);
        QFETCH(QString, remedy);
        QVERIFY(setting != "put-get off" || plc->setPutGet(false));
        QVERIFY(setting != "protection 3" || plc->setProtection(3, "secret"));
        const Run r = Run::run(expand(args));
        QCOMPARE(r.exitCode, cause.isEmpty() ? 0 : 1);
        if (cause.isEmpty())
            QVERIFY2(!r.out.contains("CAUSE") && !r.out.contains("remedy"), qPrintable(r.out));
        else
            QVERIFY2(r.out.contains(cause) && r.out.contains(QStringLiteral("remedy (%1): ").arg(args.at(2)) + remedy),
                     qPrintable(r.out));
        const QJsonObject o = QJsonDocument::fromJson(Run::run(expand(args) << "--json").out.toUtf8()).object();
        QVERIFY2(o.value("cause").toString().contains(cause) && o.value("remedy").toString().contains(remedy)
                     && o.contains("cause") != cause.isEmpty(), qPrintable(QJsonDocument(o).toJson()));
    }

    void watchToPipe()
    {
        QFETCH(QStringList, tags);
        QFETCH(int, exitCode);
        QFETCH(QStringList, inEveryLine);
        QFETCH(int, jobsPerPoll);
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, 1, 20, QByteArray::fromHex("fb2e")));
        plc->setFrameLog(true);
        const Run r = Run::run(QStringList{"watch", endpoint()} + expand(tags) + QStringList{"--polls", "3", "--interval", "10"});
        QCOMPARE(r.exitCode, exitCode);
        const QStringList lines = r.out.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        // The link's figures close a watch in a pipe, on stderr.
        const QString stats = r.err.trimmed().section(QLatin1Char('\n'), -1);
        QVERIFY2(stats.startsWith(QStringLiteral("link poll ")) && stats.contains(QStringLiteral(" %1 call").arg(jobsPerPoll)),
                 qPrintable(r.err));
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines.at(i).startsWith(QStringLiteral("poll %1 ").arg(i + 1)), qPrintable(lines.at(i)));
            for (const QString &fragment : inEveryLine)
                QVERIFY2(lines.at(i).contains(fragment), qPrintable(lines.at(i)));
        }
        QVERIFY(!r.out.contains(QLatin1Char('\x1b')));   // no terminal controls in a pipe
        QCOMPARE(plc->receivedFrames().size(), 2 + 3 * jobsPerPoll);   // after connection request and setup
    }
    // On a terminal (a pseudo-terminal from script(1)) the table is redrawn
    // in place: the cursor goes back up over the whole last drawing, the
    // link's figures and each failed tag's cause included.
    void watchOnTerminal()
    {
        QProcess p;   // script(1) is in bsdutils, which every Debian system has
        p.start(QStringLiteral("script"), {"-qec", QStringLiteral("%1 watch %2 DB1.DBW0:int16 DB99.DBW0:int16 --polls 2 --interval 10")
                                     .arg(Run::program(), endpoint()), "/dev/null"});
        QVERIFY(p.waitForFinished(CliRun::kRunMs));
        QCOMPARE(p.exitCode(), 1);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QStringList drawings = out.split(QStringLiteral("\x1b[7A"));
        QCOMPARE(drawings.size(), 2);
        for (const QString &drawing : drawings) {
            const QStringList lines = drawing.split(QStringLiteral("\x1b[K\r\n"), Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 7);
            QVERIFY2(lines.at(1).startsWith(QStringLiteral("link poll ")) && lines.at(6).startsWith(QStringLiteral("DB99.DBW0: object does not exist")),
                     qPrintable(drawing));
        }
    }
    void infoShowsPlugin()
    {
        const Run plain = Run::run({"info"});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(QRegularExpression("^name +Quillmarsh$", QRegularExpression::MultilineOption).match(plain.out).hasMatch()
                     && QRegularExpression("^version +V1\\.8\\.2 20230221$", QRegularExpression::MultilineOption)
                            .match(plain.out).hasMatch(),
                 qPrintable(plain.out));
        const QJsonObject o = QJsonDocument::fromJson(Run::run({"info", "--json"}).out.toUtf8()).object();
        QCOMPARE(o.value(QStringLiteral("name")).toString(), QStringLiteral("Quillmarsh"));
        QCOMPARE(o.value(QStringLiteral("version")).toString(), QStringLiteral("V1.8.2 20230221"));
        QVERIFY(o.value(QStringLiteral("debugVersion")).toString().startsWith(QStringLiteral("v1.8.2 ")));
        QCOMPARE(o.value(QStringLiteral("plugin")).toString(), qEnvironmentVariable("QUILLMARSH_PLUGIN"));
    }
    // Watch reconnects after the PLC went away, and Ctrl-C ends it cleanly.
    void watchReconnects()
    {
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, 1, 20, QByteArray::fromHex("fb2e")));
        QProcess p;
        p.start(Run::program(), {"watch", endpoint(), "DB1.DBW20:int16", "--interval", "50"});
        // The next line of the watch that holds text, or an empty string.
        const auto lineWith = [&p](const QString &text) {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < CliRun::kRunMs) {
                if (!p.canReadLine() && !p.waitForReadyRead(int(CliRun::kRunMs - timer.elapsed())))
                    break;
                while (p.canReadLine()) {
                    const QString line = QString::fromUtf8(p.readLine());
                    if (line.contains(text))
                        return line;
                }
            }
            return QString();
        };
        QVERIFY(!lineWith(QStringLiteral("DB1.DBW20 Int16 = -1234 [0 ok]")).isEmpty());
        const quint16 port = plc->port();
        plc->stop();
        QVERIFY(!lineWith(QStringLiteral("reconnecting to 127.0.0.1:%1 (attempt 2)").arg(port)).isEmpty());
        QVERIFY(plc->start(port));
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, 1, 20, QByteArray::fromHex("0457")));
        const QString back = lineWith(QStringLiteral("DB1.DBW20 Int16 = 1111 [0 ok]"));
        QVERIFY2(!back.isEmpty() && !back.contains(QLatin1String("reconnecting")), qPrintable(back));
        QCOMPARE(plc->connectionCount(), 1);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(CliRun::kRunMs));
        // Without its own handler the process would die of the signal instead.
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(plc->connectionCount(), 0, CliRun::kRunMs);
    }
    void helpOnEveryCommand_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *c : {"demo", "info", "read", "write", "watch", "panel", "sim", "symbols"})
            QTest::addRow("%s", c) << QString::fromLatin1(c);
    }
    void helpOnEveryCommand()
    {
        QFETCH(QString, command);
        const Run r = Run::run({command, QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Usage:")) && r.out.contains(QStringLiteral("--help")),
                 qPrintable(r.out));
        QCOMPARE(plc->acceptedCount(), 0);
    }

private:
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(plc->port()); }
    QStringList expand(const QStringList &args) const
    {
        QStringList out;
        for (QString a : args) {
            if (a == QLatin1String("%E")) {
                a = endpoint();
            } else if (a == QLatin1String("%CLOSED")) {
                // A loopback port that was free a moment ago refuses at once.
                QTcpServer probe;
                probe.listen(QHostAddress::LocalHost);
                a = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
            } else if (a.startsWith(QLatin1String("%TAGS="))) {
                // A tag-list file with the text after the '='.
                auto *file = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/tags-XXXXXX.csv"));
                tagFiles << file;
                file->open();
                file->write(a.mid(6).toUtf8());
                file->flush();
                a = file->fileName();
            } else if (a == QLatin1String("%BADLIB")) {
                a = QCoreApplication::applicationDirPath() + QStringLiteral("/not-a-library.so");
                QFile f(a);
                if (f.open(QIODevice::WriteOnly))
                    f.write("not an ELF file");
            }
            out << a;
        }
        return out;
    }

    SimPlc *plc = nullptr;
    mutable QList<QTemporaryFile *> tagFiles;
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
