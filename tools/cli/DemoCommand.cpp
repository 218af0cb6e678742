#include "DemoCommand.h"

#include <QHostAddress>

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"
#include "SimPlc.h"
#include "TablePrinter.h"
#include "StatusText.h"
#include "ValueFormatter.h"
#include "ValueParser.h"

struct DemoTag
{
    const char *address;
    DataType type;
    const char *values;   // comma-separated; several make an array
};

namespace {
// Every type once in data block 1 and once in the markers, each at its own
// bytes, plus an array in each area. Bool tags stay scalar: a read returns,
// of each byte, the bits from the tag's bit up, so only a single bit reads
// back as the same elements however a plug-in packs a Bool array it writes.
const DemoTag kTags[] = {
    {"DB1.DBX0.0", Bool, "1"},
    {"DB1.DBB1", Int8, "-100"},
    {"DB1.DBB2", UInt8, "200"},
    {"DB1.DBW4", Int16, "-12345"},
    {"DB1.DBW6", UInt16, "54321"},
    {"DB1.DBD8", Int32, "-123456789"},
    {"DB1.DBD12", UInt32, "3000000000"},
    {"DB1.DBD16", Float, "3.14159"},
    {"DB1.DBB20", Int64, "-9007199254740993"},
    {"DB1.DBB28", UInt64, "18446744073709551615"},
    {"DB1.DBB36", Double, "2.718281828459045"},
    {"DB1.DBW44", Int16, "1,-2,3"},
    {"M0.0", Bool, "1"},
    {"M1", Int8, "-7"},
    {"M2", UInt8, "255"},
    {"M4", Int16, "-32768"},
    {"M6", UInt16, "65535"},
    {"M8", Int32, "2147483647"},
    {"M12", UInt32, "4294967295"},
    {"M16", Float, "-0.5"},
    {"M20", Int64, "9223372036854775807"},
    {"M28", UInt64, "1234567890123456789"},
    {"M36", Double, "-1e-300"},
    {"M44", Float, "0.25,-1.5"},
};
} // namespace

int DemoCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("demo"),
                   QStringLiteral("Write and read back a value of every type on a simulated PLC."),
                   QString());
    cl.addPluginOption();
    cl.addDebugOption();
    const int done = cl.parse(arguments, 0, 0);
    if (done >= 0)
        return done;

    SimPlc plc;
    if (!plc.start())
        return CommandLine::fail(QStringLiteral("cannot start the simulated PLC"),
                                 CommandLine::Failed);
    const QString endpoint = QStringLiteral("%1:%2").arg(plc.address().toString()).arg(plc.port());
    QString error;
    bool allOk = true;
    {
        DriverSession session(cl.isSet(QStringLiteral("debug")));
        if (!session.load(cl.value(QStringLiteral("plugin")), &error) || !session.connectTo(endpoint, &error)) {
            plc.stop();
            return CommandLine::fail(error, CommandLine::Failed);
        }
        CommandLine::print(QStringLiteral("simulated PLC on %1, plug-in %2").arg(endpoint, session.pluginPath()));
        TablePrinter table(RecordOutput::headers());
        QStringList problems;
        for (const DemoTag &tag : kTags) {
            CLabelVariable shown;
            QString problem;
            if (!roundTrip(session.driver(), tag, &shown, &problem)) {
                allOk = false;
                problems << problem;
            }
            table.addRow(RecordOutput::row(shown));
        }
        CommandLine::print(table.lines().join(QLatin1Char('\n')));
        for (const QString &p : problems)
            CommandLine::fail(p, CommandLine::Failed);
    }
    plc.stop();
    return allOk ? CommandLine::Ok : CommandLine::Failed;
}

bool DemoCommand::roundTrip(CDriveBaseClass *driver, const DemoTag &tag, CLabelVariable *shown,
                            QString *problem)
{
    const QString address = QLatin1String(tag.address);
    const QStringList texts = QString::fromLatin1(tag.values).split(QLatin1Char(','));
    const int count = texts.size();
    CLabelVariable record;
    QString error;
    record.value = ValueParser::parse(tag.type, texts, &error);
    record.count = count;
    record.dataType = tag.type;
    record.address = address;

    const CLabelVariable written = driver->WriteVariable(address, tag.type, record, count);
    if (written.status != StatusOk) {
        *shown = written;
        *problem = QStringLiteral("writing %1 failed: %2")
                       .arg(address, StatusText::status(written.status));
        return false;
    }
    *shown = driver->ReadVariable(address, tag.type, count);
    if (shown->status != StatusOk) {
        *problem = QStringLiteral("reading %1 failed: %2")
                       .arg(address, StatusText::status(shown->status));
        return false;
    }
    const QStringList wrote = ValueFormatter::elements(record.value, tag.type, count);
    const QStringList read = ValueFormatter::elements(shown->value, tag.type, count);
    if (read != wrote) {
        *problem = QStringLiteral("%1 read back %2 after writing %3")
                       .arg(address, read.join(QLatin1Char(',')), wrote.join(QLatin1Char(',')));
        return false;
    }
    return true;
}
