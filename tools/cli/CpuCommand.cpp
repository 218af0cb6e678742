#include "CpuCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"

namespace {

using Json = RecordOutput::Json;
using Why = CDriveExtension::Why;

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

} // namespace

int CpuCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("cpu"),
                   QStringLiteral("Show what the CPU says of itself: identity, operating state, protection, clock "
                                  "and diagnostic buffer."),
                   QStringLiteral("HOST:PORT"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    cl.addConnectionOptions();
    const int done = cl.parse(arguments, 1, 1);
    if (done >= 0)
        return done;
    QString error;
    if (!DriverSession::takeOptions(cl))
        return CommandLine::BadInput;
    if (!DriverSession::checkEndpoint(cl.positional().first(), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    CDriveExtension *more = nullptr;
    if (!session.load(cl.value(QStringLiteral("plugin")), &error) || !(more = session.extension(&error))
        || !session.connectTo(cl.positional().first(), &error))
        return CommandLine::fail(error, CommandLine::Failed);

    Report report;
    Why why;
    CDriveExtension::CpuIdentity id;
    const int identity = more->readIdentity(&id, &why);
    report.add("orderNumber", QStringLiteral("order number"), identity, why, id.orderNumber);
    report.add("firmware", QStringLiteral("firmware"), identity, why, id.firmwareVersion);
    report.add("moduleType", QStringLiteral("module type"), identity, why, id.moduleTypeName);
    report.add("moduleName", QStringLiteral("module name"), identity, why, id.moduleName);
    report.add("serialNumber", QStringLiteral("serial number"), identity, why, id.serialNumber);
    CDriveExtension::OperatingState state;
    report.add("mode", QStringLiteral("operating state"), more->readOperatingState(&state, &why), why, state.name);
    CDriveExtension::Protection protection;
    const int protectionStatus = more->readProtection(&protection, &why);
    report.add("protection", QStringLiteral("protection"), protectionStatus, why, protectionText(protection));
    QDateTime clock;
    const int clockStatus = more->readClock(&clock, &why);
    report.add("clock", QStringLiteral("clock"), clockStatus, why, RecordOutput::timeText(clock));
    QList<CDriveExtension::DiagnosticEvent> events;
    const int diagnostics = more->readDiagnosticBuffer(&events, &why);
    QStringList eventLines;
    Json eventList = Json::array();
    for (const CDriveExtension::DiagnosticEvent &e : qAsConst(events)) {
        const QString id = QStringLiteral("0x%1").arg(e.eventId, 4, 16, QLatin1Char('0'));
        eventLines << QStringLiteral("  %1  event %2  %3")
                          .arg(RecordOutput::timeText(e.time), id, QString::fromLatin1(e.info.toHex(' ')));
        eventList.push_back({{"time", RecordOutput::jsonTime(e.time)}, {"event", RecordOutput::utf8(id)},
                             {"info", e.info.toHex().toStdString()}});
    }
    report.add("diagnosticBuffer", QStringLiteral("diagnostic buffer"), diagnostics, why,
               QStringLiteral("%1 events, newest first").arg(events.size()));
    if (diagnostics == StatusOk)
        report.json["diagnosticBuffer"] = eventList;

    if (cl.isSet(QStringLiteral("json")))
        CommandLine::print(RecordOutput::dump(report.json));
    else
        CommandLine::print((report.lines + eventLines).join(QLatin1Char('\n')));
    return report.allOk ? CommandLine::Ok : CommandLine::Failed;
}
