#ifndef QUILLMARSH_READCOMMAND_H
#define QUILLMARSH_READCOMMAND_H

#include <QStringList>

// `quillmarsh read HOST:PORT ADDRESS TYPE [COUNT]`: one read, one record.
class ReadCommand
{
public:
    static int run(const QStringList &arguments);

private:
    // The positional arguments, in order.
    enum Argument { Endpoint, Address, TypeName, Count };
};

#endif
