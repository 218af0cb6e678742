#include "SymbolsCommand.h"

#include <climits>

#include "CommandLine.h"
#include "RecordOutput.h"
#include "S7Type.h"
#include "SymbolOptions.h"
#include "SymbolTable.h"
#include "TablePrinter.h"

namespace {
QString servedName(const SymbolLeaf &leaf)
{
    return leaf.servedType() == NoType ? QStringLiteral("-") : S7Type::servedName(leaf.servedType());
}

RecordOutput::Json leafJson(const SymbolLeaf &leaf)
{
    RecordOutput::Json o = RecordOutput::Json::object();
    o["symbol"] = RecordOutput::utf8(leaf.symbol);
    o["address"] = RecordOutput::utf8(leaf.address());
    o["byte"] = leaf.byte;
    o["bit"] = leaf.bit >= 0 ? RecordOutput::Json(leaf.bit) : RecordOutput::Json(nullptr);
    o["size"] = leaf.size();
    o["s7type"] = RecordOutput::utf8(leaf.type.name());
    o["type"] = leaf.servedType() == NoType ? RecordOutput::Json(nullptr)
                                            : RecordOutput::Json(RecordOutput::utf8(S7Type::servedName(leaf.servedType())));
    o["comment"] = RecordOutput::utf8(leaf.comment);
    return o;
}

QString table(const QList<SymbolLeaf> &leaves)
{
    TablePrinter t({QStringLiteral("SYMBOL"), QStringLiteral("ADDRESS"), QStringLiteral("S7 TYPE"),
                    QStringLiteral("TYPE"), QStringLiteral("BYTE"), QStringLiteral("BIT"), QStringLiteral("SIZE"),
                    QStringLiteral("COMMENT")});
    for (const SymbolLeaf &leaf : leaves)
        t.addRow({leaf.symbol, leaf.address(), leaf.type.name(), servedName(leaf), QString::number(leaf.byte),
                  leaf.bit >= 0 ? QString::number(leaf.bit) : QStringLiteral("-"), QString::number(leaf.size()),
                  leaf.comment});
    return t.lines().join(QLatin1Char('\n'));
}
} // namespace

int SymbolsCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("symbols"),
                   QStringLiteral("List the leaves of the data blocks in S7 sources, laid out by the standard-access "
                                  "rules, with the addresses the plug-in takes."),
                   QStringLiteral("FILE... [--number NAME=N]..."));
    cl.addValueOption(QStringLiteral("number"),
                      QStringLiteral("The number of a data block whose source names none: \"NAME\"=N; repeatable."),
                      QStringLiteral("NAME=N"));
    cl.addJsonOption();
    const int done = cl.parse(arguments, 1, INT_MAX);
    if (done >= 0)
        return done;
    SymbolTable symbols;
    QString error;
    if (!SymbolOptions::load(cl.positional(), cl.values(QStringLiteral("number")), &symbols, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    const QList<SymbolLeaf> leaves = symbols.leaves();
    if (cl.isSet(QStringLiteral("json"))) {
        RecordOutput::Json array = RecordOutput::Json::array();
        for (const SymbolLeaf &leaf : leaves)
            array.push_back(leafJson(leaf));
        CommandLine::print(RecordOutput::dump(array));
    } else if (leaves.isEmpty()) {
        CommandLine::warn(QStringLiteral("the sources declare no data block"));
    } else {
        CommandLine::print(table(leaves));
    }
    return CommandLine::Ok;
}
