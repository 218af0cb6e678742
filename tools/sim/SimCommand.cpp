#include "SimCommand.h"

#include "CommandLine.h"
#include "S7Memory.h"
#include "SimControlServer.h"
#include "SimCpuProfile.h"
#include "SimFaultName.h"
#include "SimPlc.h"
#include "SimSet.h"
#include "SimSignal.h"
#include "SimSignalPlayer.h"
#include "SimSymbols.h"
#include "StopSignals.h"
#include "Version.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>

namespace {

constexpr int DefaultPort = 102;
constexpr int MaxPdu = 65535; // what the setup's 16-bit field holds; a real CPU grants at most 960
constexpr int DefaultCaptureMiB = 100;
constexpr int MaxCaptureMiB = 4096;
constexpr qint64 MiB = 1024 * 1024;
const char DefaultMemorySize[] = "1024";

// What the simulator serves on, from its options.
struct Endpoints
{
    quint16 port = 0;
    QHostAddress address;
    int controlPort = -1; // none
    QString capture;
    int captureMiB = DefaultCaptureMiB;
};

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

void addServerOptions(CommandLine *cl)
{
    const QString profiles = SimCpuProfile::names().join(QStringLiteral(", "));
    cl->addBoolOption(QStringLiteral("version"), QStringLiteral("Display version information and exit."));
    cl->addValueOption(QStringLiteral("port"), QStringLiteral("TCP port to listen on; 0 picks a free one (default 102)."),
                       QStringLiteral("N"), QString::number(DefaultPort));
    cl->addValueOption(QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                       QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QString standard = QLatin1String(SimCpuProfile::standard().name);
    cl->addValueOption(QStringLiteral("cpu"), QStringLiteral("The CPU answered as: %1 (default %2).").arg(profiles, standard),
                       QStringLiteral("PROFILE"), standard);
    cl->addValueOption(QStringLiteral("pdu"), QStringLiteral("Largest PDU granted (default: the CPU's)."),
                       QStringLiteral("N"));
    cl->addValueOption(QStringLiteral("state"), QStringLiteral("The CPU's state at the start: run or stop (default run)."),
                       QStringLiteral("STATE"), QStringLiteral("run"));
    cl->addValueOption(QStringLiteral("fault"), QStringLiteral("Misbehave from the start (modes below)."),
                       QStringLiteral("MODE[:ARG]"));
    cl->addValueOption(QStringLiteral("control"),
                       QStringLiteral("Serve the control port on 127.0.0.1:PORT (0 picks a free one): one command a "
                                      "line, \"help\" lists them."),
                       QStringLiteral("PORT"));
    cl->addValueOption(QStringLiteral("capture"),
                       QStringLiteral("Record every frame of every connection into a pcapng file."),
                       QStringLiteral("FILE"));
    cl->addValueOption(QStringLiteral("capture-limit"),
                       QStringLiteral("Stop capturing past this many MiB (1 to %1, default %2).")
                           .arg(MaxCaptureMiB).arg(DefaultCaptureMiB),
                       QStringLiteral("MIB"), QString::number(DefaultCaptureMiB));
}

void addMemoryOptions(CommandLine *cl)
{
    cl->addValueOption(QStringLiteral("db"),
                       QStringLiteral("Serve data block N of SIZE bytes (within the CPU's limits). Repeatable; "
                                      "without it DB1, DB2 and DB10 of %1 bytes are served.")
                           .arg(QLatin1String(DefaultMemorySize)),
                       QStringLiteral("N:SIZE"));
    cl->addValueOption(QStringLiteral("area"),
                       QStringLiteral("Size in bytes (1 to %1) of the inputs (I), outputs (Q) or markers (M). "
                                      "Repeatable; each is as large as the CPU's unless given.").arg(S7::MaxAreaBytes),
                       QStringLiteral("I|Q|M:SIZE"));
    cl->addValueOption(QStringLiteral("preset"),
                       QStringLiteral("Put a value at an address before serving: ADDRESS[:TYPE]=VALUE as the "
                                      "control port's set takes it (DB1.DBW0=16#FF, DB1.DBD4:real=1.5), or bytes "
                                      "as hex digits at OFFSET of AREA (I, Q, M or DBn): AREA:OFFSET:HEX, e.g. "
                                      "DB1:4:00ff. Repeatable."),
                       QStringLiteral("PRESET"));
    cl->addValueOption(QStringLiteral("symbols"),
                       QStringLiteral("Serve the data blocks of the S7 source FILE (.db, .udt, .scl, .awl), each at "
                                      "its size holding its declared and BEGIN values; after --db and --preset, "
                                      "replacing blocks of the same number. Repeatable."),
                       QStringLiteral("FILE"));
    cl->addValueOption(QStringLiteral("number"),
                       QStringLiteral("The number of a data block whose source names none: \"NAME\"=N. Repeatable."),
                       QStringLiteral("NAME=N"));
    cl->addValueOption(QStringLiteral("signal"),
                       QStringLiteral("Drive a value for trends: ADDRESS:TYPE:SHAPE:PERIOD[:MIN:MAX], shape sine, "
                                      "ramp, square or random, e.g. DB1.DBW0:int16:sine:10s. Repeatable."),
                       QStringLiteral("SIGNAL"));
}

QString epilogue(const QString &program)
{
    return QStringLiteral("\nFault modes:\n") + SimFaultName::help()
        + QStringLiteral("\n\nExamples:\n  $ %1 --port 10102 --db 1:256 --db 7:64 --area M:512\n"
                         "  $ %1 --port 0 --cpu s7-1500 --preset DB1.DBW0=12345 --signal DB1.DBD4:real:sine:30s\n"
                         "  $ %1 --port 10102 --control 10103 --capture sim.pcapng\n").arg(program);
}

bool readEndpoints(const CommandLine &cl, Endpoints *at, QString *error)
{
    int port = 0;
    at->address = QHostAddress(cl.value(QStringLiteral("listen")));
    at->capture = cl.value(QStringLiteral("capture"));
    if (!parseNumber(cl.value(QStringLiteral("port")), 0, CommandLine::MaxPort, &port))
        *error = QStringLiteral("invalid port: %1").arg(cl.value(QStringLiteral("port")));
    else if (at->address.isNull())
        *error = QStringLiteral("invalid listen address: %1").arg(cl.value(QStringLiteral("listen")));
    else if (cl.isSet(QStringLiteral("control"))
             && !parseNumber(cl.value(QStringLiteral("control")), 0, CommandLine::MaxPort, &at->controlPort))
        *error = QStringLiteral("invalid control port: %1").arg(cl.value(QStringLiteral("control")));
    else if (!parseNumber(cl.value(QStringLiteral("capture-limit")), 1, MaxCaptureMiB, &at->captureMiB))
        *error = QStringLiteral("invalid --capture-limit: %1").arg(cl.value(QStringLiteral("capture-limit")));
    at->port = quint16(port);
    return error->isEmpty();
}

bool setFault(SimPlc &plc, const QString &text, QString *error)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    SimPlc::Fault fault = SimPlc::Fault::None;
    int param = 0;
    QString why;
    if (!SimFaultName::parse(text.left(colon), colon < 0 ? QString() : text.mid(colon + 1), &fault, &param, &why)) {
        *error = QStringLiteral("invalid --fault '%1': %2").arg(text, why);
        return false;
    }
    plc.setFault(fault, param);
    return true;
}

// --cpu, --pdu, --state and --fault.
bool setUpCpu(SimPlc &plc, const CommandLine &cl, QString *error)
{
    const QString cpu = cl.value(QStringLiteral("cpu"));
    if (!plc.setCpu(cpu)) {
        *error = QStringLiteral("unknown --cpu '%1' (one of %2)")
                     .arg(cpu, SimCpuProfile::names().join(QStringLiteral(", ")));
        return false;
    }
    int pdu = 0;
    if (cl.isSet(QStringLiteral("pdu"))) {
        if (!parseNumber(cl.value(QStringLiteral("pdu")), 1, MaxPdu, &pdu)) {
            *error = QStringLiteral("invalid PDU size: %1").arg(cl.value(QStringLiteral("pdu")));
            return false;
        }
        plc.setPduSize(pdu);
    }
    const QString state = cl.value(QStringLiteral("state")).toLower();
    if (state != QLatin1String("run") && state != QLatin1String("stop")) {
        *error = QStringLiteral("invalid --state '%1': run or stop").arg(cl.value(QStringLiteral("state")));
        return false;
    }
    plc.setCpuRunning(state == QLatin1String("run"));
    return !cl.isSet(QStringLiteral("fault")) || setFault(plc, cl.value(QStringLiteral("fault")), error);
}

// --db: the blocks served, each once and within what the CPU allows.
bool addDataBlocks(SimPlc &plc, const SimCpuProfile &cpu, const QStringList &blocks, QString *error)
{
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
    return true;
}

// --area: the sizes of I, Q and M, each given once.
bool sizeAreas(SimPlc &plc, const QStringList &areas, QString *error)
{
    QSet<int> seen;
    for (const QString &text : areas) {
        const QStringList parts = text.split(QLatin1Char(':'));
        SimPlc::Area area = SimPlc::AreaInputs;
        int unused = 0;
        int size = 0;
        if (parts.size() != 2 || !parseArea(parts.at(0), false, 0, &area, &unused)
            || !parseNumber(parts.at(1), 1, S7::MaxAreaBytes, &size)) {
            *error = QStringLiteral("invalid --area '%1': expected I, Q or M, a colon and SIZE 1..%2")
                         .arg(text).arg(S7::MaxAreaBytes);
            return false;
        }
        if (seen.contains(area)) {
            *error = QStringLiteral("invalid --area '%1': area %2 is given twice").arg(text, parts.at(0));
            return false;
        }
        seen.insert(area);
        plc.setAreaSize(area, size);
    }
    return true;
}

// One --preset: ADDRESS[:TYPE]=VALUE, or AREA:OFFSET:HEX.
bool preset(SimPlc &plc, const SimCpuProfile &cpu, const QString &text, QString *error)
{
    const int equals = text.indexOf(QLatin1Char('='));
    QString why;
    QByteArray written;
    if (equals >= 0 && !SimSet::apply(&plc, text.left(equals), text.mid(equals + 1), &written, &why)) {
        *error = QStringLiteral("invalid --preset '%1': %2").arg(text, why);
        return false;
    }
    if (equals >= 0)
        return true;
    static const QRegularExpression hexBytes(QStringLiteral("^([0-9a-fA-F]{2})+$"));
    const QStringList parts = text.split(QLatin1Char(':'));
    SimPlc::Area area = SimPlc::AreaInputs;
    int dbNumber = 0;
    int offset = 0;
    if (parts.size() != 3 || !parseArea(parts.at(0), true, cpu.maxDbNumber, &area, &dbNumber)
        || !parseNumber(parts.at(1), 0, S7::MaxByteAddress, &offset) || !hexBytes.match(parts.at(2)).hasMatch()) {
        *error = QStringLiteral("invalid --preset '%1': expected ADDRESS[:TYPE]=VALUE, or AREA:OFFSET:HEX with "
                                "AREA I, Q, M or DBn and an even number of hex digits").arg(text);
        return false;
    }
    if (!plc.setMemory(area, dbNumber, offset, QByteArray::fromHex(parts.at(2).toLatin1()))) {
        *error = QStringLiteral("invalid --preset '%1': outside the memory served").arg(text);
        return false;
    }
    return true;
}

// --db, --area, --preset and --symbols, in this order.
bool layMemory(SimPlc &plc, const CommandLine &cl, QString *error)
{
    const SimCpuProfile &cpu = *SimCpuProfile::find(plc.cpu());
    if (!addDataBlocks(plc, cpu, cl.values(QStringLiteral("db")), error)
        || !sizeAreas(plc, cl.values(QStringLiteral("area")), error))
        return false;
    for (const QString &text : cl.values(QStringLiteral("preset"))) {
        if (!preset(plc, cpu, text, error))
            return false;
    }
    return SimSymbols::serve(&plc, cl.values(QStringLiteral("symbols")), cl.values(QStringLiteral("number")), error);
}

bool readSignals(const QStringList &texts, QList<SimSignal> *list, QString *error)
{
    for (const QString &text : texts) {
        SimSignal signal;
        if (!SimSignal::parse(text, &signal, error))
            return false;
        list->append(signal);
    }
    return true;
}

// Serves until a stop; the exit code.
int serve(SimPlc &plc, const Endpoints &at, const QList<SimSignal> &signalList)
{
    SimSignalPlayer player(&plc, signalList);
    if (!player.update(0))
        return CommandLine::fail(QStringLiteral("a --signal names memory the CPU does not serve"),
                                 CommandLine::BadInput);
    QString error;
    if (!at.capture.isEmpty() && !plc.startCapture(at.capture, at.captureMiB * MiB, &error))
        return CommandLine::fail(QStringLiteral("cannot capture to %1: %2").arg(at.capture, error), CommandLine::Failed);
    SimControlServer control(&plc);
    if (at.controlPort >= 0 && !control.listen(quint16(at.controlPort)))
        return CommandLine::fail(QStringLiteral("cannot listen on 127.0.0.1:%1 for control: %2")
                                     .arg(at.controlPort).arg(control.errorString()), CommandLine::Failed);
    if (!plc.start(at.port, at.address))
        return CommandLine::fail(QStringLiteral("cannot listen on %1:%2: %3")
                                     .arg(at.address.toString()).arg(at.port).arg(plc.errorString()),
                                 CommandLine::Failed);
    if (at.controlPort >= 0)
        CommandLine::print(QStringLiteral("control on 127.0.0.1:%1").arg(control.port()));
    CommandLine::print(QStringLiteral("listening on %1:%2").arg(at.address.toString()).arg(plc.port()));
    player.start();
    StopSignals::quitEventLoopOnStop();
    const int code = QCoreApplication::exec();
    plc.stop();
    plc.stopCapture();
    CommandLine::print(QStringLiteral("stopped"));
    return code;
}

} // namespace

int SimCommand::run(const QStringList &arguments, const QString &program)
{
    // First of all, so that a stop at any moment after the start is taken.
    StopSignals::install();
    CommandLine cl(QStringLiteral("sim"), QStringLiteral(
        "Simulated S7 PLC on ISO-on-TCP: a CPU of the S7-300, S7-400, S7-1200 or S7-1500 family\n"
        "that serves reads and writes of inputs, outputs, markers, data blocks, timers and\n"
        "counters, its identification and its operating mode, as that CPU answers them.\n"
        "Several clients may be connected at once; they share one memory, which starts zeroed.\n"
        "It prints \"listening on ADDRESS:PORT\" once it serves (after \"control on\n"
        "127.0.0.1:PORT\" with --control) and \"stopped\" after SIGINT or SIGTERM.\n"
        "Exit code 0 after a signal, 1 when it cannot listen or capture, 2 on a bad option."));
    addServerOptions(&cl);
    addMemoryOptions(&cl);
    cl.setUsage(program + QStringLiteral(" [options]"));
    cl.setEpilogue(epilogue(program));
    const int done = cl.parse(arguments, 0, 0);
    if (done >= 0)
        return done;
    if (cl.isSet(QStringLiteral("version"))) {
        CommandLine::print(QStringLiteral("%1 %2").arg(program, QStringLiteral(QUILLMARSH_VERSION)));
        return CommandLine::Ok;
    }
    Endpoints at;
    SimPlc plc;
    QList<SimSignal> signalList;
    QString error;
    if (!readEndpoints(cl, &at, &error) || !setUpCpu(plc, cl, &error) || !layMemory(plc, cl, &error)
        || !readSignals(cl.values(QStringLiteral("signal")), &signalList, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    return serve(plc, at, signalList);
}
