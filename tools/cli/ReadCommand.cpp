#include "ReadCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"
#include "SymbolOptions.h"
#include "SymbolRecords.h"
#include "TagList.h"
#include "TagSpec.h"

namespace {
// One read per leaf; a value the bytes do not hold is named on stderr.
int readSymbols(const CommandLine &cl, const QString &endpoint, const QList<SymbolLeaf> &leaves)
{
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    const int failed = session.open(cl, endpoint);
    if (failed >= 0)
        return failed;
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
// Every tag of the list in as few jobs as the PLC's PDU carries, through
// the plug-in's extension; the cause of each failure beside its record.
int readBatch(const CommandLine &cl, const QString &endpoint)
{
    QList<TagList::Entry> entries;
    QString error;
    if (!TagList::collect({}, cl.value(QStringLiteral("tags")), false, &entries, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    QList<CDriveExtension::Tag> tags;
    for (const TagSpec &spec : TagList::specs(entries)) {
        CommandLine::warn(spec.note);
        CDriveExtension::Tag tag;
        tag.address = spec.address;
        tag.type = spec.type;
        tag.count = spec.count;
        tags << tag;
    }
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    const int failed = session.open(cl, endpoint);
    if (failed >= 0)
        return failed;
    CDriveExtension *more = session.extension(&error);
    if (!more)
        return CommandLine::fail(error, CommandLine::Failed);
    const QList<CLabelVariable> records = more->readVariables(tags);
    bool allOk = true;
    for (const CLabelVariable &record : records)
        allOk = allOk && record.status == StatusOk;
    CommandLine::print(RecordOutput::batchText(records, Cause::ofBatch(more, records), cl.isSet(QStringLiteral("json"))));
    return allOk ? CommandLine::Ok : CommandLine::Failed;
}
} // namespace

int ReadCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("read"), QStringLiteral("Read one tag from a PLC, or every leaf a symbol stands for."),
                   QStringLiteral("HOST:PORT ADDRESS TYPE [COUNT] | HOST:PORT SYMBOL --symbols FILE | "
                                  "HOST:PORT --tags FILE"));
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    SymbolOptions::add(&cl);
    cl.addValueOption(QStringLiteral("tags"),
                      QStringLiteral("Read every tag of FILE (one address,type[,count] a line; a line starting with -- "
                                     "holds connection options) in as few jobs as the PLC's PDU carries."),
                      QStringLiteral("FILE"));
    cl.addConnectionOptions();
    const int done = cl.parse(arguments, Endpoint + 1, Count + 1);
    if (done >= 0)
        return done;
    if (!DriverSession::takeOptions(cl))
        return CommandLine::BadInput;

    // Everything that can be judged here is judged before the plug-in is
    // loaded, so a refused command never reaches the PLC.
    const QStringList args = cl.positional();
    QString error;
    if (!DriverSession::checkEndpoint(args.at(Endpoint), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    if (cl.isSet(QStringLiteral("tags")))
        return cl.expectPositional(Endpoint + 1, Endpoint + 1) ? readBatch(cl, args.at(Endpoint)) : int(CommandLine::BadInput);
    if (!cl.expectPositional(Address + 1, Count + 1))
        return CommandLine::BadInput;
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
    const int failed = session.open(cl, args.at(Endpoint));
    if (failed >= 0)
        return failed;
    const CLabelVariable record = session.driver()->ReadVariable(tag.address, tag.type, tag.count);
    CommandLine::print(RecordOutput::text(record, cl.isSet(QStringLiteral("json")),
                                          Cause::ofLastJob(session.driver(), record)));
    return record.status == StatusOk ? CommandLine::Ok : CommandLine::Failed;
}
