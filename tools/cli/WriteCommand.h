#ifndef QUILLMARSH_WRITECOMMAND_H
#define QUILLMARSH_WRITECOMMAND_H

#include <QList>
#include <QStringList>

class CommandLine;
class SymbolLeaf;

// `quillmarsh write HOST:PORT ADDRESS TYPE VALUE[,VALUE…]`: one write of as
// many elements as there are values.
class WriteCommand
{
public:
    static int run(const QStringList &arguments);

private:
    // The positional arguments, in order; by symbol the values come where
    // the type would be.
    enum Argument { Endpoint, Address, TypeName, Values, ArgumentCount };
    static constexpr int kSymbolValues = TypeName;
    static constexpr int kSymbolArguments = kSymbolValues + 1;
    static int writeSymbols(const CommandLine &cl, const QStringList &args, const QList<SymbolLeaf> &leaves);
};

#endif
