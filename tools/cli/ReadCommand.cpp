#include "ReadCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"
#include "TagSpec.h"

namespace {
enum Argument { Endpoint, Address, TypeName, Count };
}

int ReadCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("read"), QStringLiteral("Read one tag from a PLC."),
                   QStringLiteral("HOST:PORT ADDRESS TYPE [COUNT]"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    const int done = cl.parse(arguments, Count, Count + 1);
    if (done >= 0)
        return done;

    // Everything that can be judged here is judged before the plug-in is
    // loaded, so a refused command never reaches the PLC.
    const QStringList args = cl.positional();
    QString error;
    TagSpec tag;
    if (!DriverSession::checkEndpoint(args.at(Endpoint), &error)
        || !TagSpec::make(args.at(Address), args.at(TypeName), args.value(Count), &tag, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    CommandLine::warn(tag.note);

    DriverSession session(cl.isSet(QStringLiteral("debug")));
    if (!session.load(cl.value(QStringLiteral("plugin")), &error)
        || !session.connectTo(args.at(Endpoint), &error))
        return CommandLine::fail(error, CommandLine::Failed);
    const CLabelVariable record = session.driver()->ReadVariable(tag.address, tag.type, tag.count);
    CommandLine::print(RecordOutput::text(record, cl.isSet(QStringLiteral("json"))));
    return record.status == StatusOk ? CommandLine::Ok : CommandLine::Failed;
}
