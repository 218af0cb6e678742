#include "ReadCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"
#include "SymbolOptions.h"
#include "SymbolRecords.h"
#include "TagSpec.h"

namespace {
// One read per leaf; a value the bytes do not hold is named on stderr.
int readSymbols(const CommandLine &cl, const QString &endpoint, const QList<SymbolLeaf> &leaves)
{
    QString error;
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    if (!session.load(cl.value(QStringLiteral("plugin")), &error) || !session.connectTo(endpoint, &error))
        return CommandLine::fail(error, CommandLine::Failed);
    QList<SymbolRecords::Result> results;
    bool allOk = true;
    for (const SymbolLeaf &leaf : leaves) {
        results << SymbolRecords::read(session.driver(), leaf);
        if (results.last().record.status == StatusOk && !results.last().value.ok())
            CommandLine::warn(QStringLiteral("%1: %2").arg(leaf.symbol, results.last().value.error));
        allOk = allOk && results.last().ok();
    }
    CommandLine::print(SymbolRecords::text(results, cl.isSet(QStringLiteral("json"))));
    return allOk ? CommandLine::Ok : CommandLine::Failed;
}
} // namespace

int ReadCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("read"), QStringLiteral("Read one tag from a PLC, or every leaf a symbol stands for."),
                   QStringLiteral("HOST:PORT ADDRESS TYPE [COUNT] | HOST:PORT SYMBOL --symbols FILE"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    SymbolOptions::add(&cl);
    const int done = cl.parse(arguments, Address + 1, Count + 1);
    if (done >= 0)
        return done;

    // Everything that can be judged here is judged before the plug-in is
    // loaded, so a refused command never reaches the PLC.
    const QStringList args = cl.positional();
    QString error;
    if (!DriverSession::checkEndpoint(args.at(Endpoint), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    QList<SymbolLeaf> leaves;
    switch (SymbolOptions::resolve(cl, args.at(Address), args.size(), Address + 1, &leaves, &error)) {
    case SymbolOptions::Mode::Failed:
        return CommandLine::fail(error, CommandLine::BadInput);
    case SymbolOptions::Mode::Symbol:
        return readSymbols(cl, args.at(Endpoint), leaves);
    case SymbolOptions::Mode::Address:
        break;
    }
    TagSpec tag;
    if (!cl.expectPositional(Count, Count + 1))
        return CommandLine::BadInput;
    if (!TagSpec::make(args.at(Address), args.at(TypeName), args.value(Count), &tag, &error))
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
