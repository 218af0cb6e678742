#include "InfoCommand.h"

#include "ClockOffset.h"
#include "CommandLine.h"
#include "DriverSession.h"
#include "EventText.h"
#include "RecordOutput.h"

namespace {

using Json = RecordOutput::Json;
using Why = CDriveExtension::Why;
constexpr int DefaultEntries = 10;
constexpr int MaxEntries = 3200; // more than any CPU keeps

// One line of the report: a label and a value, or the cause of a failure.
struct Report
{
    QStringList lines;
    Json json = Json::object();
    bool allOk = true;

    void add(const char *key, const QString &label, int status, const Why &why, const QString &value)
    {
        const bool ok = status == StatusOk;
        allOk = allOk && ok;
        lines << QStringLiteral("%1 %2").arg(label.leftJustified(18), ok ? value : QStringLiteral("- (%1)").arg(why.text));
        json[key] = ok ? Json(RecordOutput::utf8(value)) : Json::object({{"error", RecordOutput::utf8(why.text)}});
    }
};

QString protectionText(const CDriveExtension::Protection &p)
{
    static const char *selector[] = {"none", "RUN", "RUN-P", "STOP", "MRES"};
    return QStringLiteral("level %1 (mode selector %2 at level %3, password level %4)")
        .arg(p.level)
        .arg(QLatin1String(p.modeSelector >= 0 && p.modeSelector <= 4 ? selector[p.modeSelector] : "unknown"))
        .arg(p.selectorLevel)
        .arg(p.passwordLevel);
}

void addEvents(Report *report, int status, const Why &why, const QList<CDriveExtension::DiagnosticEvent> &events,
               int entries)
{
    const int shown = qMin(entries, events.size());
    report->add("diagnosticBuffer", QStringLiteral("diagnostic buffer"), status, why,
                QStringLiteral("%1 events, the newest %2 shown").arg(events.size()).arg(shown));
    if (status != StatusOk)
        return;
    Json list = Json::array();
    for (const CDriveExtension::DiagnosticEvent &e : events.mid(0, shown)) {
        const QString id = QStringLiteral("0x%1").arg(e.eventId, 4, 16, QLatin1Char('0'));
        const QString text = EventText::text(e.eventId);
        report->lines << QStringLiteral("  %1  %2  %3%4  [%5]")
                             .arg(RecordOutput::timeText(e.time), id, EventText::className(e.eventId),
                                  text.isEmpty() ? QString() : QStringLiteral(": ") + text,
                                  QString::fromLatin1(e.info.toHex(' ')));
        list.push_back({{"time", RecordOutput::jsonTime(e.time)}, {"event", RecordOutput::utf8(id)},
                        {"class", RecordOutput::utf8(EventText::className(e.eventId))},
                        {"text", RecordOutput::utf8(text)}, {"info", e.info.toHex().toStdString()}});
    }
    report->json["diagnosticBuffer"] = list;
}

Report cpuReport(CDriveExtension *more, int entries)
{
    Report report;
    Why why;
    CDriveExtension::CpuIdentity id;
    const int identity = more->readIdentity(&id, &why);
    report.add("orderNumber", QStringLiteral("order number"), identity, why, id.orderNumber);
    report.add("firmware", QStringLiteral("firmware"), identity, why, id.firmwareVersion);
    report.add("moduleType", QStringLiteral("module type"), identity, why, id.moduleTypeName);
    report.add("moduleName", QStringLiteral("module name"), identity, why, id.moduleName);
    report.add("serialNumber", QStringLiteral("serial number"), identity, why, id.serialNumber);
    // Each read before its value is taken (the order of a call's arguments is unspecified).
    CDriveExtension::OperatingState state;
    const int stateStatus = more->readOperatingState(&state, &why);
    report.add("mode", QStringLiteral("operating state"), stateStatus, why, state.name);
    CDriveExtension::Protection protection;
    const int protectionStatus = more->readProtection(&protection, &why);
    report.add("protection", QStringLiteral("protection"), protectionStatus, why, protectionText(protection));
    QDateTime clock;
    qint64 offset = 0;
    const int clockStatus = ClockOffset::measure(more, &offset, &why, &clock);
    report.add("clock", QStringLiteral("clock"), clockStatus, why,
               QStringLiteral("%1 (%2%3 s to this machine's)")
                   .arg(RecordOutput::timeText(clock), offset >= 0 ? QStringLiteral("+") : QString())
                   .arg(double(offset) / 1000.0, 0, 'f', 3));
    if (clockStatus == StatusOk)
        report.json["clockOffsetMs"] = offset;
    QList<CDriveExtension::DiagnosticEvent> events;
    const int diagnostics = more->readDiagnosticBuffer(&events, &why);
    addEvents(&report, diagnostics, why, events, entries);
    return report;
}

} // namespace

int InfoCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("info"),
                   QStringLiteral("Show the plug-in's name and version, or with a PLC what its CPU says of itself: "
                                  "identity, operating state, protection, clock and diagnostic buffer."),
                   QStringLiteral("[HOST:PORT]"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    cl.addValueOption(QStringLiteral("entries"),
                      QStringLiteral("The newest diagnostic events to show (0 to %1).").arg(MaxEntries),
                      QStringLiteral("N"), QString::number(DefaultEntries));
    cl.addConnectionOptions();
    const int done = cl.parse(arguments, 0, 1);
    if (done >= 0)
        return done;
    const bool json = cl.isSet(QStringLiteral("json"));
    if (cl.positional().isEmpty())
        return plugin(cl.value(QStringLiteral("plugin")), cl.isSet(QStringLiteral("debug")), json);

    QString error;
    int entries = DefaultEntries;
    if (!DriverSession::takeOptions(cl) || !cl.intValue(QStringLiteral("entries"), 0, MaxEntries, &entries))
        return CommandLine::BadInput;
    if (!DriverSession::checkEndpoint(cl.positional().first(), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    const int failed = session.open(cl, cl.positional().first());
    if (failed >= 0)
        return failed;
    CDriveExtension *more = session.extension(&error);
    if (!more)
        return CommandLine::fail(error, CommandLine::Failed);
    const Report report = cpuReport(more, entries);
    CommandLine::print(json ? RecordOutput::dump(report.json) : report.lines.join(QLatin1Char('\n')));
    return report.allOk ? CommandLine::Ok : CommandLine::Failed;
}

int InfoCommand::plugin(const QString &pluginPath, bool debug, bool json)
{
    DriverSession session(debug);
    QString error;
    if (!session.load(pluginPath, &error))
        return CommandLine::fail(error, CommandLine::Failed);
    const QString path = session.pluginPath();
    CDriveBaseClass *driver = session.driver();
    const QString name = driver->getDriveName();
    const QString version = driver->getversion_number();
    const QString debugVersion = driver->DebugCmd(DebugVersion);

    if (json) {
        Json o = Json::object();
        o["plugin"] = RecordOutput::utf8(path);
        o["name"] = RecordOutput::utf8(name);
        o["version"] = RecordOutput::utf8(version);
        o["debugVersion"] = RecordOutput::utf8(debugVersion);
        CommandLine::print(RecordOutput::dump(o));
        return CommandLine::Ok;
    }
    CommandLine::print(QStringLiteral("plug-in        %1\nname           %2\nversion        %3\n"
                                      "debug version  %4")
                           .arg(path, name, version, debugVersion));
    return CommandLine::Ok;
}
