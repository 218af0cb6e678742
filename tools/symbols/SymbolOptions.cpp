#include "SymbolOptions.h"

#include "CommandLine.h"
#include "SymbolTable.h"

namespace {
const char kSymbols[] = "symbols";
const char kNumber[] = "number";
} // namespace

void SymbolOptions::add(CommandLine *cl)
{
    cl->addValueOption(QLatin1String(kSymbols),
                       QStringLiteral("Take tags by symbol from the data-block source FILE (.db, .udt, .scl, .awl); "
                                      "repeatable."),
                       QStringLiteral("FILE"));
    cl->addValueOption(QLatin1String(kNumber),
                       QStringLiteral("The number of a data block whose source names none: \"NAME\"=N; repeatable."),
                       QStringLiteral("NAME=N"));
}

bool SymbolOptions::given(const CommandLine &cl)
{
    return cl.isSet(QLatin1String(kSymbols));
}

bool SymbolOptions::load(const CommandLine &cl, SymbolTable *table, QString *error)
{
    return load(cl.values(QLatin1String(kSymbols)), cl.values(QLatin1String(kNumber)), table, error);
}

bool SymbolOptions::load(const QStringList &files, const QStringList &numbers, SymbolTable *table, QString *error,
                         SymbolTable::OptimizedBlocks optimized)
{
    for (const QString &file : files) {
        if (!table->addFile(file, error))
            return false;
    }
    for (const QString &n : numbers) {
        if (!table->setNumber(n, error))
            return false;
    }
    return table->build(error, optimized);
}

SymbolOptions::Mode SymbolOptions::resolve(const CommandLine &cl, const QString &tag, int positionalCount,
                                           int symbolArguments, QList<SymbolLeaf> *leaves, QString *error)
{
    if (!given(cl))
        return Mode::Address;
    SymbolTable table;
    if (!load(cl, &table, error))
        return Mode::Failed;
    if (!table.resolve(tag, leaves, error))
        return positionalCount > symbolArguments ? Mode::Address : Mode::Failed;
    if (positionalCount != symbolArguments) {
        *error = QStringLiteral("'%1' is a symbol: its type comes from the source, so give no TYPE or COUNT "
                                "(see quillmarsh --help)").arg(tag);
        return Mode::Failed;
    }
    return Mode::Symbol;
}
