#ifndef QUILLMARSH_SYMBOLSCOMMAND_H
#define QUILLMARSH_SYMBOLSCOMMAND_H

#include <QStringList>

// `quillmarsh symbols FILE... [--number NAME=N]... [--json]`: the leaves of
// the data blocks in the sources, laid out, with their addresses.
class SymbolsCommand
{
public:
    static int run(const QStringList &arguments);
};

#endif
