#ifndef QUILLMARSH_SYMBOLOPTIONS_H
#define QUILLMARSH_SYMBOLOPTIONS_H

#include <QList>
#include <QString>
#include <QStringList>

#include "SymbolLeaf.h"
#include "SymbolTable.h"

class CommandLine;

// The options by which a command takes data-block sources: --symbols FILE
// (repeatable) and --number NAME=N (repeatable), and loading them.
class SymbolOptions
{
public:
    static void add(CommandLine *cl);
    static bool given(const CommandLine &cl);
    // Parses and lays out the sources; false with *error set.
    static bool load(const CommandLine &cl, SymbolTable *table, QString *error);
    static bool load(const QStringList &files, const QStringList &numbers, SymbolTable *table, QString *error,
                     SymbolTable::OptimizedBlocks optimized = SymbolTable::OptimizedBlocks::Refused);

    enum class Mode { Address, Symbol, Failed };
    // How read and write take their tag argument: as a symbol when sources
    // are given and it names one (then exactly symbolArguments positional
    // arguments are expected), else as an address (when there are more
    // arguments, the TYPE among them). Failed with *error set otherwise.
    static Mode resolve(const CommandLine &cl, const QString &tag, int positionalCount, int symbolArguments,
                        QList<SymbolLeaf> *leaves, QString *error);
};

#endif
