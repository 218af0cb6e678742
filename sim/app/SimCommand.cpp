#include "SimCommand.h"

#include "StopSignals.h"
#include "SimPlc.h"
#include "SimSymbols.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <memory>

namespace {

constexpr int DefaultPort = 102;
constexpr int DefaultPdu = 240;
constexpr int ExitUsage = 2;
constexpr int ExitListen = 1;
constexpr int MaxBlockNumber = 65535; // a variable address holds 16 bits of block number
constexpr int MaxMemorySize = 65536;  // the largest data block of an S7-300 CPU
const char DefaultMemorySize[] = "1024";

bool parseNumber(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < min || number > max)
        return false;
    *value = number;
    return true;
}

// An area named I, Q or M (in any case), or DBn when blocks are allowed.
bool parseArea(const QString &text, bool blocks, SimPlc::Area *area, int *dbNumber)
{
    const QString name = text.toUpper();
    *dbNumber = 0;
    if (name == QLatin1String("I"))
        *area = SimPlc::AreaInputs;
    else if (name == QLatin1String("Q"))
        *area = SimPlc::AreaOutputs;
    else if (name == QLatin1String("M"))
        *area = SimPlc::AreaMarkers;
    else if (blocks && name.startsWith(QLatin1String("DB")) && parseNumber(name.mid(2), 1, MaxBlockNumber, dbNumber))
        *area = SimPlc::AreaDataBlocks;
    else
        return false;
    return true;
}

// Sizes the memory from --db and --area and fills in --preset, each as
// given; the first bad value is written to *error.
bool layMemory(SimPlc &plc, const QStringList &blocks, const QStringList &areas, const QStringList &presets,
               QString *error)
{
    if (!blocks.isEmpty())
        plc.removeDataBlocks();
    QSet<int> seen;
    for (const QString &text : blocks) {
        const QStringList parts = text.split(QLatin1Char(':'));
        int number = 0;
        int size = 0;
        if (parts.size() != 2 || !parseNumber(parts.at(0), 1, MaxBlockNumber, &number)
            || !parseNumber(parts.at(1), 1, MaxMemorySize, &size)) {
            *error = QStringLiteral("invalid --db '%1': expected N:SIZE with N 1..%2 and SIZE 1..%3")
                         .arg(text).arg(MaxBlockNumber).arg(MaxMemorySize);
            return false;
        }
        if (seen.contains(number)) {
            *error = QStringLiteral("invalid --db '%1': data block %2 is given twice").arg(text).arg(number);
            return false;
        }
        seen.insert(number);
        plc.addDataBlock(number, size);
    }
    seen.clear();
    for (const QString &text : areas) {
        const QStringList parts = text.split(QLatin1Char(':'));
        SimPlc::Area area = SimPlc::AreaInputs;
        int unused = 0;
        int size = 0;
        if (parts.size() != 2 || !parseArea(parts.at(0), false, &area, &unused)
            || !parseNumber(parts.at(1), 1, MaxMemorySize, &size)) {
            *error = QStringLiteral("invalid --area '%1': expected I, Q or M, a colon and SIZE 1..%2")
                         .arg(text).arg(MaxMemorySize);
            return false;
        }
        if (seen.contains(area)) {
            *error = QStringLiteral("invalid --area '%1': area %2 is given twice").arg(text, parts.at(0));
            return false;
        }
        seen.insert(area);
        plc.setAreaSize(area, size);
    }
    const QRegularExpression hexBytes(QStringLiteral("^([0-9a-fA-F]{2})+$"));
    for (const QString &text : presets) {
        const QStringList parts = text.split(QLatin1Char(':'));
        SimPlc::Area area = SimPlc::AreaInputs;
        int dbNumber = 0;
        int offset = 0;
        if (parts.size() != 3 || !parseArea(parts.at(0), true, &area, &dbNumber)
            || !parseNumber(parts.at(1), 0, MaxMemorySize - 1, &offset) || !hexBytes.match(parts.at(2)).hasMatch()) {
            *error = QStringLiteral("invalid --preset '%1': expected AREA:OFFSET:HEX with AREA I, Q, M or DBn "
                                    "and an even number of hex digits").arg(text);
            return false;
        }
        if (!plc.setMemory(area, dbNumber, offset, QByteArray::fromHex(parts.at(2).toLatin1()))) {
            *error = QStringLiteral("invalid --preset '%1': outside the memory served").arg(text);
            return false;
        }
    }
    return true;
}

} // namespace

int SimCommand::run(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> ownApp;
    if (!QCoreApplication::instance())
        ownApp.reset(new QCoreApplication(argc, argv));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // Named as started: "quillmarsh-sim", or "quillmarsh sim" when the
    // command-line host hands its sim command over.
    const QString application = QCoreApplication::applicationName();
    const QString invoked = QFileInfo(arguments.value(0)).fileName();
    const QString program = invoked == application ? application : application + QLatin1Char(' ') + invoked;

    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated S7 PLC on ISO-on-TCP: an S7-300 CPU in RUN that serves reads and writes\n"
        "of inputs, outputs, markers and data blocks, its identification and its\n"
        "operating mode. Several clients may be connected at once; they share one memory,\n"
        "which starts zeroed. It prints \"listening on ADDRESS:PORT\" once it serves and\n"
        "\"stopped\" after SIGINT or SIGTERM. Exit code 0 after a signal, 1 when it cannot\n"
        "listen, 2 on a bad option."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Display this help and exit."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Display version information and exit."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port to listen on; 0 picks a free one (default 102)."),
                                        QStringLiteral("N"), QString::number(DefaultPort));
    const QCommandLineOption pduOption(QStringLiteral("pdu"), QStringLiteral("Largest PDU granted (default 240)."),
                                       QStringLiteral("N"), QString::number(DefaultPdu));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                          QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption dbOption(QStringLiteral("db"),
        QStringLiteral("Serve data block N (1 to %1) of SIZE bytes (1 to %2). Repeatable; without it "
                       "DB1, DB2 and DB10 of %3 bytes are served.").arg(MaxBlockNumber).arg(MaxMemorySize)
            .arg(QLatin1String(DefaultMemorySize)),
        QStringLiteral("N:SIZE"));
    const QCommandLineOption areaOption(QStringLiteral("area"),
        QStringLiteral("Size in bytes (1 to %1) of the inputs (I), outputs (Q) or markers (M). "
                       "Repeatable; each is %2 bytes unless given.").arg(MaxMemorySize)
            .arg(QLatin1String(DefaultMemorySize)),
        QStringLiteral("I|Q|M:SIZE"));
    const QCommandLineOption presetOption(QStringLiteral("preset"),
        QStringLiteral("Put bytes, given as hex digits, at OFFSET of AREA (I, Q, M or DBn) before "
                       "serving, e.g. DB1:4:00ff. Repeatable."),
        QStringLiteral("AREA:OFFSET:HEX"));
    const QCommandLineOption symbolsOption(QStringLiteral("symbols"),
        QStringLiteral("Serve the data blocks of the S7 source FILE (.db, .udt, .scl, .awl), each at its size "
                       "holding its declared and BEGIN values; after --db and --preset, replacing blocks of the "
                       "same number. Repeatable."),
        QStringLiteral("FILE"));
    const QCommandLineOption numberOption(QStringLiteral("number"),
        QStringLiteral("The number of a data block whose source names none: \"NAME\"=N. Repeatable."),
        QStringLiteral("NAME=N"));
    parser.addOptions({helpOption, versionOption, portOption, pduOption, listenOption, dbOption, areaOption,
                       presetOption, symbolsOption, numberOption});
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        QString help = parser.helpText();
        help.replace(0, help.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: %1 [options]").arg(program));
        out << help << "\nExamples:\n"
            << "  $ " << program << " --port 10102 --db 1:256 --db 7:64 --area M:512\n"
            << "  $ " << program << " --port 0 --preset DB1:0:3039 --preset M:10:a5\n";
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out << program << ' ' << QUILLMARSH_VERSION << '\n';
        return 0;
    }

    int port = 0;
    int pdu = 0;
    const QHostAddress address(parser.value(listenOption));
    if (!parseNumber(parser.value(portOption), 0, 65535, &port)) {
        err << "invalid port: " << parser.value(portOption) << '\n';
        return ExitUsage;
    }
    if (!parseNumber(parser.value(pduOption), 1, 65535, &pdu)) {
        err << "invalid PDU size: " << parser.value(pduOption) << '\n';
        return ExitUsage;
    }
    if (address.isNull()) {
        err << "invalid listen address: " << parser.value(listenOption) << '\n';
        return ExitUsage;
    }

    SimPlc plc;
    plc.setPduSize(pdu);
    QString layoutError;
    if (!layMemory(plc, parser.values(dbOption), parser.values(areaOption), parser.values(presetOption),
                   &layoutError)) {
        err << layoutError << '\n';
        return ExitUsage;
    }
    if (!SimSymbols::serve(&plc, parser.values(symbolsOption), parser.values(numberOption), &layoutError)) {
        err << layoutError << '\n';
        return ExitUsage;
    }
    if (!plc.start(quint16(port), address)) {
        err << "cannot listen on " << address.toString() << ':' << port << ": " << plc.errorString() << '\n';
        return ExitListen;
    }
    out << "listening on " << address.toString() << ':' << plc.port() << '\n';
    out.flush();

    StopSignals::install();
    StopSignals::quitEventLoopOnStop();
    const int code = QCoreApplication::exec();
    plc.stop();
    out << "stopped\n";
    return code;
}
