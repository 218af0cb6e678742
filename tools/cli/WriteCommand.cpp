#include "WriteCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"
#include "S7Codec.h"
#include "SymbolOptions.h"
#include "SymbolRecords.h"
#include "TagSpec.h"
#include "ValueParser.h"

// One value per leaf, each checked against its leaf's type before anything
// is loaded; then one write job per leaf.
int WriteCommand::writeSymbols(const CommandLine &cl, const QStringList &args, const QList<SymbolLeaf> &leaves)
{
    const QStringList texts = S7Codec::splitValues(args.at(kSymbolValues));
    if (texts.size() != leaves.size())
        return CommandLine::fail(QStringLiteral("%1 stands for %2 leaves, so it takes %2 values (VALUE,VALUE,…; a text "
                                                "holding a comma in single quotes), got %3")
                                     .arg(args.at(Address)).arg(leaves.size()).arg(texts.size()),
                                 CommandLine::BadInput);
    QList<CLabelVariable> requests;
    QString error;
    for (int i = 0; i < leaves.size(); ++i) {
        CLabelVariable request;
        if (!leaves.at(i).writeRecord(texts.at(i), &request, &error))
            return CommandLine::fail(QStringLiteral("%1: %2").arg(leaves.at(i).symbol, error), CommandLine::BadInput);
        requests << request;
    }
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    const int failed = session.open(cl, args.at(Endpoint));
    if (failed >= 0)
        return failed;
    QList<SymbolRecords::Result> results;
    bool allOk = true;
    for (int i = 0; i < leaves.size(); ++i) {
        results << SymbolRecords::write(session.driver(), leaves.at(i), requests.at(i));
        allOk = allOk && results.last().ok();
    }
    CommandLine::print(SymbolRecords::text(results, cl.isSet(QStringLiteral("json"))));
    return allOk ? CommandLine::Ok : CommandLine::Failed;
}

int WriteCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("write"),
                   QStringLiteral("Write one tag to a PLC; several comma-separated values make an array. By symbol, "
                                  "one value per leaf the symbol stands for."),
                   QStringLiteral("HOST:PORT ADDRESS TYPE VALUE[,VALUE...] | HOST:PORT SYMBOL VALUE[,VALUE...] "
                                  "--symbols FILE"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    SymbolOptions::add(&cl);
    cl.addConnectionOptions();
    const int done = cl.parse(arguments, kSymbolArguments, ArgumentCount);
    if (done >= 0)
        return done;
    if (!DriverSession::takeOptions(cl))
        return CommandLine::BadInput;

    // Type, address and every value are checked before the plug-in is
    // loaded: a value that does not fit its type is refused, never wrapped.
    const QStringList args = cl.positional();
    QString error;
    if (!DriverSession::checkEndpoint(args.at(Endpoint), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    QList<SymbolLeaf> leaves;
    switch (SymbolOptions::resolve(cl, args.at(Address), args.size(), kSymbolArguments, &leaves, &error)) {
    case SymbolOptions::Mode::Failed:
        return CommandLine::fail(error, CommandLine::BadInput);
    case SymbolOptions::Mode::Symbol:
        return writeSymbols(cl, args, leaves);
    case SymbolOptions::Mode::Address:
        break;
    }
    if (!cl.expectPositional(ArgumentCount, ArgumentCount))
        return CommandLine::BadInput;
    const QStringList texts = args.at(Values).split(QLatin1Char(','));
    TagSpec tag;
    if (!TagSpec::make(args.at(Address), args.at(TypeName), QString::number(texts.size()), &tag, &error))
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
    const int failed = session.open(cl, args.at(Endpoint));
    if (failed >= 0)
        return failed;
    const CLabelVariable result =
        session.driver()->WriteVariable(tag.address, tag.type, record, tag.count);
    CommandLine::print(RecordOutput::text(result, cl.isSet(QStringLiteral("json")),
                                          Cause::ofLastJob(session.driver(), result)));
    return result.status == StatusOk ? CommandLine::Ok : CommandLine::Failed;
}
