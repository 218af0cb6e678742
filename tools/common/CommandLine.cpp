#include "CommandLine.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

#include "S7Memory.h"

namespace {
// QCommandLineParser takes every "-…" argument for an option, so negative
// values such as -5 or -1.5,2 are hidden behind this mark while parsing.
const QChar kNegativeMark = QChar(0x1);

QStringList hideNegativeNumbers(const QStringList &arguments)
{
    static const QRegularExpression negative(QStringLiteral("^-([0-9.]|inf|nan)"),
                                             QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const QString &a : arguments)
        out << (negative.match(a).hasMatch() ? kNegativeMark + a : a);
    return out;
}
} // namespace

CommandLine::CommandLine(const QString &command, const QString &description, const QString &syntax)
    : commandName(command)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    if (!syntax.isNull())
        parser.addPositionalArgument(command, description, command + QLatin1Char(' ') + syntax);
}

void CommandLine::addPluginOption()
{
    addValueOption(QStringLiteral("plugin"),
                   QStringLiteral("The driver plug-in to load (default: $QUILLMARSH_PLUGIN, then "
                                  "libQuillmarsh.so beside the tool or in the installed libdir)."),
                   QStringLiteral("PATH"));
}

void CommandLine::addJsonOption()
{
    parser.addOption({QStringLiteral("json"), QStringLiteral("Machine-readable output (one JSON object).")});
}

void CommandLine::addDebugOption()
{
    parser.addOption({QStringLiteral("debug"), QStringLiteral("Show the plug-in's log, with every frame.")});
}

void CommandLine::addTagsOption()
{
    addValueOption(QStringLiteral("tags"),
                   QStringLiteral("Read more tags from FILE, one address,type[,count[,label]] a line (with "
                                  "--symbols also symbol[,,,label])."),
                   QStringLiteral("FILE"));
}

void CommandLine::addMergeOptions()
{
    addBoolOption(QStringLiteral("no-merge"), QStringLiteral("Read every tag in a job of its own."));
}

bool CommandLine::mergeOptions(bool *merge, int *pduBytes) const
{
    *merge = !isSet(QStringLiteral("no-merge"));
    *pduBytes = S7::MinimumPduLength;
    return !isSet(QStringLiteral("pdu"))
        || intValue(QStringLiteral("pdu"), S7::MinimumPduLength, S7::RequestedPduLength, pduBytes);
}

void CommandLine::addConnectionOptions()
{
    addValueOption(QStringLiteral("cpu"),
                   QStringLiteral("Connect as a CPU of this family does: %1 (each sets rack, slot and TSAPs; "
                                  "the options below override it).").arg(cpuPresets().join(QStringLiteral(", "))),
                   QStringLiteral("FAMILY"));
    addValueOption(QStringLiteral("rack"), QStringLiteral("The CPU's rack (0 to 7) in the called TSAP."), QStringLiteral("N"));
    addValueOption(QStringLiteral("slot"),
                   QStringLiteral("The CPU's slot (0 to 31) in the called TSAP: 2 for an S7-300, where the "
                                  "S7-400 has it; 0 or 1 for S7-1200 and S7-1500."),
                   QStringLiteral("N"));
    addValueOption(QStringLiteral("type"),
                   QStringLiteral("The connection type in the called TSAP: pg, op or basic (the default)."),
                   QStringLiteral("TYPE"));
    addValueOption(QStringLiteral("tsap"),
                   QStringLiteral("Both TSAPs in hexadecimal, calling:called (a LOGO! commonly 0300:0200)."),
                   QStringLiteral("LOCAL:REMOTE"));
    addBoolOption(QStringLiteral("tsaps-first"),
                  QStringLiteral("Put the TSAPs before the TPDU size in the connection request (C1 C2 C0)."));
    addValueOption(QStringLiteral("pdu"),
                   QStringLiteral("The PDU to ask of the PLC, in bytes (%1 to %2); without the plug-in's extension, "
                                  "the PDU that limits merged reads (default %1).")
                       .arg(S7::MinimumPduLength).arg(S7::RequestedPduLength),
                   QStringLiteral("N"));
    addValueOption(QStringLiteral("jobs"),
                   QStringLiteral("Jobs to keep in flight, as asked of the PLC at setup (1 to %1).")
                       .arg(QString::number(CommandLine::MaxJobs)),
                   QStringLiteral("N"));
    addValueOption(QStringLiteral("password"),
                   QStringLiteral("The CPU's protection password (1 to %1 characters), sent after connecting.")
                       .arg(MaxPasswordLength),
                   QStringLiteral("P"));
}

namespace {
using Options = CDriveExtension::ConnectionOptions;

// How each family is called: rack 0 and the CPU's slot in the called TSAP,
// or a LOGO!'s configured pair of TSAPs with the parameters in the order a
// LOGO! 0BA7 takes (LOGO! 8 takes either).
struct CpuPreset
{
    const char *name;
    int slot;
    int localTsap;
    int remoteTsap;
    int parameterOrder;
};
const Options kDefaults;
// A preset asks for as many parallel jobs as nodes7 asks; each CPU grants
// its own number (an S7-300 2, an S7-1200 3), and a poll's batch keeps that
// many jobs in flight.
constexpr int kPresetJobs = 8;
const CpuPreset kPresets[] = {
    {"s7-300", 2, kDefaults.localTsap, -1, Options::TpduSizeFirst},
    {"s7-400", 2, kDefaults.localTsap, -1, Options::TpduSizeFirst},
    {"s7-1200", 1, kDefaults.localTsap, -1, Options::TpduSizeFirst},
    {"s7-1500", 1, kDefaults.localTsap, -1, Options::TpduSizeFirst},
    {"s7-200-smart", 0, kDefaults.localTsap, -1, Options::TpduSizeFirst},
    {"logo", 0, 0x0300, 0x0200, Options::TsapsFirst},
};
const char *const kTypeNames[] = {"pg", "op", "basic"}; // Options::PG, OP, S7Basic
} // namespace

QStringList CommandLine::cpuPresets()
{
    QStringList names;
    for (const CpuPreset &p : kPresets)
        names << QLatin1String(p.name);
    return names;
}

bool CommandLine::connectionOptions(Connection *connection) const
{
    Options *options = &connection->options;
    if (isSet(QStringLiteral("cpu"))) {
        const int preset = cpuPresets().indexOf(value(QStringLiteral("cpu")).toLower());
        if (preset < 0) {
            fail(QStringLiteral("--cpu '%1' is none of %2")
                     .arg(value(QStringLiteral("cpu")), cpuPresets().join(QStringLiteral(", "))),
                 BadInput);
            return false;
        }
        const CpuPreset &p = kPresets[preset];
        options->connectionType = Options::S7Basic;
        options->rack = 0;
        options->slot = p.slot;
        options->localTsap = p.localTsap;
        options->remoteTsap = p.remoteTsap;
        options->parameterOrder = p.parameterOrder;
        options->parallelJobs = kPresetJobs;
    }
    const auto number = [&](const char *name, int min, int max, int *out) {
        return !isSet(QLatin1String(name)) || intValue(QLatin1String(name), min, max, out);
    };
    if (!number("rack", 0, 7, &options->rack) || !number("slot", 0, 31, &options->slot)
        || !number("jobs", 1, MaxJobs, &options->parallelJobs)
        || !number("pdu", S7::MinimumPduLength, S7::RequestedPduLength, &options->pduSize))
        return false;
    if (isSet(QStringLiteral("type"))) {
        const QString type = value(QStringLiteral("type")).toLower();
        int code = 0;
        while (code < 3 && type != QLatin1String(kTypeNames[code]))
            ++code;
        if (code == 3) {
            fail(QStringLiteral("--type '%1' is none of pg, op, basic").arg(value(QStringLiteral("type"))), BadInput);
            return false;
        }
        options->connectionType = Options::PG + code;
    }
    if (isSet(QStringLiteral("tsap"))) {
        const QStringList parts = value(QStringLiteral("tsap")).split(QLatin1Char(':'));
        bool localOk = false, remoteOk = false;
        const uint local = parts.value(0).toUInt(&localOk, 16), remote = parts.value(1).toUInt(&remoteOk, 16);
        if (parts.size() != 2 || !localOk || !remoteOk || local > 0xFFFF || remote > 0xFFFF) {
            fail(QStringLiteral("--tsap '%1' is not two hexadecimal TSAPs, LOCAL:REMOTE (e.g. 0300:0200)")
                     .arg(value(QStringLiteral("tsap"))),
                 BadInput);
            return false;
        }
        options->localTsap = int(local);
        options->remoteTsap = int(remote);
    }
    if (isSet(QStringLiteral("tsaps-first")))
        options->parameterOrder = Options::TsapsFirst;
    if (isSet(QStringLiteral("password"))) {
        const QString password = value(QStringLiteral("password"));
        if (password.isEmpty() || password.size() > MaxPasswordLength
            || QString::fromLatin1(password.toLatin1()) != password) {
            fail(QStringLiteral("--password takes 1 to %1 Latin-1 characters").arg(MaxPasswordLength), BadInput);
            return false;
        }
        connection->password = password;
    }
    for (const char *name : {"cpu", "rack", "slot", "type", "tsap", "tsaps-first", "jobs", "password"})
        connection->asked = connection->asked || isSet(QLatin1String(name));
    connection->pduAsked = connection->pduAsked || isSet(QStringLiteral("pdu"));
    return true;
}

void CommandLine::addBoolOption(const QString &name, const QString &description)
{
    offered << name;
    parser.addOption({name, description});
}

void CommandLine::addValueOption(const QString &name, const QString &description,
                                 const QString &valueName, const QString &defaultValue)
{
    offered << name;
    QCommandLineOption option(name, description, valueName);
    if (!defaultValue.isEmpty())
        option.setDefaultValue(defaultValue);
    parser.addOption(option);
}

int CommandLine::parse(const QStringList &arguments)
{
    // arguments[0] is the program, arguments[1] the command name.
    QStringList args = hideNegativeNumbers(arguments.mid(1));
    args[0] = arguments.first();
    if (!parser.parse(args))
        return fail(parser.errorText(), BadInput);
    if (parser.isSet(QStringLiteral("help"))) {
        QString help = parser.helpText();
        if (!usageLine.isEmpty())
            help.replace(0, help.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: ") + usageLine);
        print(help + epilogue);
        return Ok;
    }
    return -1;
}

int CommandLine::parse(const QStringList &arguments, int minPositional, int maxPositional)
{
    const int done = parse(arguments);
    if (done >= 0)
        return done;
    return expectPositional(minPositional, maxPositional) ? -1 : int(BadInput);
}

QStringList CommandLine::positional() const
{
    QStringList out;
    for (QString a : parser.positionalArguments())
        out << (a.startsWith(kNegativeMark) ? a.mid(1) : a);
    return out;
}

bool CommandLine::isSet(const QString &name) const
{
    return parser.isSet(name);
}

QString CommandLine::value(const QString &name) const
{
    const QString v = parser.value(name);
    return v.startsWith(kNegativeMark) ? v.mid(1) : v;
}

QStringList CommandLine::values(const QString &name) const
{
    QStringList out;
    for (const QString &v : parser.values(name))
        out << (v.startsWith(kNegativeMark) ? v.mid(1) : v);
    return out;
}

bool CommandLine::intValue(const QString &name, int min, int max, int *out) const
{
    bool ok = false;
    const int v = value(name).toInt(&ok);
    if (!ok || v < min || v > max) {
        fail(QStringLiteral("--%1 '%2' is not a whole number from %3 to %4")
                 .arg(name, value(name), QString::number(min), QString::number(max)),
             BadInput);
        return false;
    }
    *out = v;
    return true;
}

bool CommandLine::expectPositional(int min, int max) const
{
    const int n = parser.positionalArguments().size();
    if (n >= min && n <= max)
        return true;
    fail(QStringLiteral("%1 expects %2 arguments, got %3 (see quillmarsh %4 --help)")
             .arg(commandName,
                  min == max ? QString::number(min) : QStringLiteral("%1 to %2").arg(min).arg(max),
                  QString::number(n), commandName),
         BadInput);
    return false;
}

int CommandLine::fail(const QString &message, int code)
{
    // quillmarsh, or quillmarsh-sim run on its own.
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationName() : QString();
    std::fprintf(stderr, "%s: %s\n", program.isEmpty() ? "quillmarsh" : program.toUtf8().constData(),
                 message.toUtf8().constData());
    std::fflush(stderr);
    return code;
}

void CommandLine::warn(const QString &message)
{
    if (!message.isEmpty())
        fail(message, Ok);
}

void CommandLine::print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}
