#include "WriteCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"
#include "TagSpec.h"
#include "ValueParser.h"

namespace {
enum Argument { Endpoint, Address, TypeName, Values, ArgumentCount };
}

int WriteCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("write"),
                   QStringLiteral("Write one tag to a PLC; several comma-separated values make an array."),
                   QStringLiteral("HOST:PORT ADDRESS TYPE VALUE[,VALUE...]"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    const int done = cl.parse(arguments, ArgumentCount, ArgumentCount);
    if (done >= 0)
        return done;

    // Type, address and every value are checked before the plug-in is
    // loaded: a value that does not fit its type is refused, never wrapped.
    const QStringList args = cl.positional();
    const QStringList texts = args.at(Values).split(QLatin1Char(','));
    QString error;
    TagSpec tag;
    if (!DriverSession::checkEndpoint(args.at(Endpoint), &error)
        || !TagSpec::make(args.at(Address), args.at(TypeName), QString::number(texts.size()), &tag,
                          &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    CLabelVariable record;
    record.value = ValueParser::parse(tag.type, texts, &error);
    if (!record.value.isValid())
        return CommandLine::fail(error, CommandLine::BadInput);
    CommandLine::warn(tag.note);
    record.address = tag.address;
    record.dataType = tag.type;
    record.count = tag.count;

    DriverSession session(cl.isSet(QStringLiteral("debug")));
    if (!session.load(cl.value(QStringLiteral("plugin")), &error)
        || !session.connectTo(args.at(Endpoint), &error))
        return CommandLine::fail(error, CommandLine::Failed);
    const CLabelVariable result =
        session.driver()->WriteVariable(tag.address, tag.type, record, tag.count);
    CommandLine::print(RecordOutput::text(result, cl.isSet(QStringLiteral("json"))));
    return result.status == StatusOk ? CommandLine::Ok : CommandLine::Failed;
}
