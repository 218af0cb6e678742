#include "SimCommand.h"

#include "SimControlServer.h"
#include "SimCpuProfile.h"
#include "SimFaultName.h"
#include "SimPlc.h"
#include "SimSignal.h"
#include "SimSignalPlayer.h"
#include "SimSymbols.h"
#include "StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <memory>

namespace {

constexpr int DefaultPort = 102;
constexpr int ExitUsage = 2;
constexpr int ExitListen = 1;
constexpr int MaxAreaSize = 65536;   // a variable address reaches 64 KiB of an area
constexpr int MaxPdu = 65535;
constexpr int DefaultCaptureMiB = 100;
constexpr int MaxCaptureMiB = 4096;
constexpr qint64 MiB = 1024 * 1024;
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
bool parseArea(const QString &text, bool blocks, int maxBlock, SimPlc::Area *area, int *dbNumber)
{
    const QString name = text.toUpper();
    *dbNumber = 0;
    if (name == QLatin1String("I"))
        *area = SimPlc::AreaInputs;
    else if (name == QLatin1String("Q"))
        *area = SimPlc::AreaOutputs;
    else if (name == QLatin1String("M"))
        *area = SimPlc::AreaMarkers;
    else if (blocks && name.startsWith(QLatin1String("DB")) && parseNumber(name.mid(2), 1, maxBlock, dbNumber))
        *area = SimPlc::AreaDataBlocks;
    else
        return false;
    return true;
}

// Sizes the memory from --db and --area and fills in --preset, each as
// given and within what the CPU allows; the first bad value is written to
// *error.
bool layMemory(SimPlc &plc, const SimCpuProfile &cpu, const QCommandLineParser &parser, QString *error)
{
    const QStringList blocks = parser.values(QStringLiteral("db"));
    if (!blocks.isEmpty())
        plc.removeDataBlocks();
    QSet<int> seen;
    for (const QString &text : blocks) {
        const QStringList parts = text.split(QLatin1Char(':'));
        int number = 0;
        int size = 0;
        if (parts.size() != 2 || !parseNumber(parts.at(0), 1, cpu.maxDbNumber, &number)
            || !parseNumber(parts.at(1), 1, cpu.maxDbBytes, &size)) {
            *error = QStringLiteral("invalid --db '%1': expected N:SIZE with N 1..%2 and SIZE 1..%3 (%4)")
                         .arg(text).arg(cpu.maxDbNumber).arg(cpu.maxDbBytes).arg(QLatin1String(cpu.name));
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
    for (const QString &text : parser.values(QStringLiteral("area"))) {
        const QStringList parts = text.split(QLatin1Char(':'));
        SimPlc::Area area = SimPlc::AreaInputs;
        int unused = 0;
        int size = 0;
        if (parts.size() != 2 || !parseArea(parts.at(0), false, 0, &area, &unused)
            || !parseNumber(parts.at(1), 1, MaxAreaSize, &size)) {
            *error = QStringLiteral("invalid --area '%1': expected I, Q or M, a colon and SIZE 1..%2")
                         .arg(text).arg(MaxAreaSize);
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
    for (const QString &text : parser.values(QStringLiteral("preset"))) {
        const QStringList parts = text.split(QLatin1Char(':'));
        SimPlc::Area area = SimPlc::AreaInputs;
        int dbNumber = 0;
        int offset = 0;
        if (parts.size() != 3 || !parseArea(parts.at(0), true, cpu.maxDbNumber, &area, &dbNumber)
            || !parseNumber(parts.at(1), 0, MaxAreaSize - 1, &offset) || !hexBytes.match(parts.at(2)).hasMatch()) {
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

// --cpu, --pdu, --state and --fault.
bool setUpCpu(SimPlc &plc, const QCommandLineParser &parser, QString *error)
{
    const QString cpu = parser.value(QStringLiteral("cpu"));
    if (!plc.setCpu(cpu)) {
        *error = QStringLiteral("unknown --cpu '%1' (one of %2)")
                     .arg(cpu, SimCpuProfile::names().join(QStringLiteral(", ")));
        return false;
    }
    int pdu = 0;
    if (parser.isSet(QStringLiteral("pdu"))) {
        if (!parseNumber(parser.value(QStringLiteral("pdu")), 1, MaxPdu, &pdu)) {
            *error = QStringLiteral("invalid PDU size: %1").arg(parser.value(QStringLiteral("pdu")));
            return false;
        }
        plc.setPduSize(pdu);
    }
    const QString state = parser.value(QStringLiteral("state")).toLower();
    if (state != QLatin1String("run") && state != QLatin1String("stop")) {
        *error = QStringLiteral("invalid --state '%1': run or stop").arg(parser.value(QStringLiteral("state")));
        return false;
    }
    plc.setCpuRunning(state == QLatin1String("run"));
    if (parser.isSet(QStringLiteral("fault"))) {
        const QString text = parser.value(QStringLiteral("fault"));
        const int colon = text.indexOf(QLatin1Char(':'));
        SimPlc::Fault fault = SimPlc::Fault::None;
        int param = 0;
        QString why;
        if (!SimFaultName::parse(text.left(colon), colon < 0 ? QString() : text.mid(colon + 1), &fault, &param,
                                 &why)) {
            *error = QStringLiteral("invalid --fault '%1': %2").arg(text, why);
            return false;
        }
        plc.setFault(fault, param);
    }
    return true;
}

QList<QCommandLineOption> options()
{
    const QString profiles = SimCpuProfile::names().join(QStringLiteral(", "));
    return {
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Display this help and exit.")},
        {QStringLiteral("version"), QStringLiteral("Display version information and exit.")},
        {QStringLiteral("port"), QStringLiteral("TCP port to listen on; 0 picks a free one (default 102)."),
         QStringLiteral("N"), QString::number(DefaultPort)},
        {QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
         QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("cpu"), QStringLiteral("The CPU answered as: %1 (default %2).")
                                    .arg(profiles, QLatin1String(SimCpuProfile::standard().name)),
         QStringLiteral("PROFILE"), QLatin1String(SimCpuProfile::standard().name)},
        {QStringLiteral("pdu"), QStringLiteral("Largest PDU granted (default: the CPU's)."), QStringLiteral("N")},
        {QStringLiteral("state"), QStringLiteral("The CPU's state at the start: run or stop (default run)."),
         QStringLiteral("STATE"), QStringLiteral("run")},
        {QStringLiteral("db"),
         QStringLiteral("Serve data block N of SIZE bytes (within the CPU's limits). Repeatable; without it "
                        "DB1, DB2 and DB10 of %1 bytes are served.").arg(QLatin1String(DefaultMemorySize)),
         QStringLiteral("N:SIZE")},
        {QStringLiteral("area"),
         QStringLiteral("Size in bytes (1 to %1) of the inputs (I), outputs (Q) or markers (M). "
                        "Repeatable; each is as large as the CPU's unless given.").arg(MaxAreaSize),
         QStringLiteral("I|Q|M:SIZE")},
        {QStringLiteral("preset"),
         QStringLiteral("Put bytes, given as hex digits, at OFFSET of AREA (I, Q, M or DBn) before "
                        "serving, e.g. DB1:4:00ff. Repeatable."),
         QStringLiteral("AREA:OFFSET:HEX")},
        {QStringLiteral("symbols"),
         QStringLiteral("Serve the data blocks of the S7 source FILE (.db, .udt, .scl, .awl), each at its size "
                        "holding its declared and BEGIN values; after --db and --preset, replacing blocks of the "
                        "same number. Repeatable."),
         QStringLiteral("FILE")},
        {QStringLiteral("number"),
         QStringLiteral("The number of a data block whose source names none: \"NAME\"=N. Repeatable."),
         QStringLiteral("NAME=N")},
        {QStringLiteral("fault"), QStringLiteral("Misbehave from the start (modes below)."),
         QStringLiteral("MODE[:ARG]")},
        {QStringLiteral("signal"),
         QStringLiteral("Drive a value for trends: ADDRESS:TYPE:SHAPE:PERIOD[:MIN:MAX], shape sine, ramp, "
                        "square or random, e.g. DB1.DBW0:int16:sine:10s. Repeatable."),
         QStringLiteral("SIGNAL")},
        {QStringLiteral("control"),
         QStringLiteral("Serve the control port on 127.0.0.1:PORT (0 picks a free one): one command a line, "
                        "\"help\" lists them."),
         QStringLiteral("PORT")},
        {QStringLiteral("capture"),
         QStringLiteral("Record every frame of every connection into a pcapng file."), QStringLiteral("FILE")},
        {QStringLiteral("capture-limit"),
         QStringLiteral("Stop capturing past this many MiB (1 to %1, default %2).").arg(MaxCaptureMiB)
             .arg(DefaultCaptureMiB),
         QStringLiteral("MIB"), QString::number(DefaultCaptureMiB)},
    };
}

QString helpText(const QCommandLineParser &parser, const QString &program)
{
    QString help = parser.helpText();
    help.replace(0, help.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: %1 [options]").arg(program));
    return help + QStringLiteral("\nFault modes:\n") + SimFaultName::help()
        + QStringLiteral("\n\nExamples:\n  $ %1 --port 10102 --db 1:256 --db 7:64 --area M:512\n"
                         "  $ %1 --port 0 --cpu s7-1500 --preset DB1:0:3039 --signal DB1.DBD4:real:sine:30s\n"
                         "  $ %1 --port 10102 --control 10103 --capture sim.pcapng\n").arg(program);
}

} // namespace

int SimCommand::run(int argc, char **argv)
{
    // First of all, so that a stop at any moment after the start is taken.
    StopSignals::install();
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
        "Simulated S7 PLC on ISO-on-TCP: a CPU of the S7-300, S7-400, S7-1200 or S7-1500 family\n"
        "that serves reads and writes of inputs, outputs, markers, data blocks, timers and\n"
        "counters, its identification and its operating mode, as that CPU answers them.\n"
        "Several clients may be connected at once; they share one memory, which starts zeroed.\n"
        "It prints \"listening on ADDRESS:PORT\" once it serves (after \"control on\n"
        "127.0.0.1:PORT\" with --control) and \"stopped\" after SIGINT or SIGTERM.\n"
        "Exit code 0 after a signal, 1 when it cannot listen or capture, 2 on a bad option."));
    parser.addOptions(options());
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << helpText(parser, program);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << program << ' ' << QUILLMARSH_VERSION << '\n';
        return 0;
    }

    int port = 0;
    int controlPort = -1;
    int captureMiB = 0;
    const QHostAddress address(parser.value(QStringLiteral("listen")));
    QString error;
    if (!parseNumber(parser.value(QStringLiteral("port")), 0, 65535, &port))
        error = QStringLiteral("invalid port: %1").arg(parser.value(QStringLiteral("port")));
    else if (address.isNull())
        error = QStringLiteral("invalid listen address: %1").arg(parser.value(QStringLiteral("listen")));
    else if (parser.isSet(QStringLiteral("control"))
             && !parseNumber(parser.value(QStringLiteral("control")), 0, 65535, &controlPort))
        error = QStringLiteral("invalid control port: %1").arg(parser.value(QStringLiteral("control")));
    else if (!parseNumber(parser.value(QStringLiteral("capture-limit")), 1, MaxCaptureMiB, &captureMiB))
        error = QStringLiteral("invalid --capture-limit: %1").arg(parser.value(QStringLiteral("capture-limit")));

    SimPlc plc;
    QList<SimSignal> signalList;
    if (error.isEmpty() && setUpCpu(plc, parser, &error)
        && layMemory(plc, *SimCpuProfile::find(plc.cpu()), parser, &error)
        && SimSymbols::serve(&plc, parser.values(QStringLiteral("symbols")), parser.values(QStringLiteral("number")),
                             &error)) {
        for (const QString &text : parser.values(QStringLiteral("signal"))) {
            SimSignal signal;
            if (!SimSignal::parse(text, &signal, &error))
                break;
            signalList.append(signal);
        }
    }
    if (!error.isEmpty()) {
        err << error << '\n';
        return ExitUsage;
    }

    SimSignalPlayer player(&plc, signalList);
    if (!player.update(0)) {
        err << "a --signal names memory the CPU does not serve\n";
        return ExitUsage;
    }
    const QString capture = parser.value(QStringLiteral("capture"));
    if (!capture.isEmpty() && !plc.startCapture(capture, captureMiB * MiB, &error)) {
        err << "cannot capture to " << capture << ": " << error << '\n';
        return ExitListen;
    }
    SimControlServer control(&plc);
    if (controlPort >= 0 && !control.listen(quint16(controlPort))) {
        err << "cannot listen on 127.0.0.1:" << controlPort << " for control: " << control.errorString() << '\n';
        return ExitListen;
    }
    if (!plc.start(quint16(port), address)) {
        err << "cannot listen on " << address.toString() << ':' << port << ": " << plc.errorString() << '\n';
        return ExitListen;
    }
    if (controlPort >= 0)
        out << "control on 127.0.0.1:" << control.port() << '\n';
    out << "listening on " << address.toString() << ':' << plc.port() << '\n';
    out.flush();

    player.start();
    StopSignals::quitEventLoopOnStop();
    const int code = QCoreApplication::exec();
    plc.stop();
    plc.stopCapture();
    out << "stopped\n";
    return code;
}
