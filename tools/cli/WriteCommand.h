#ifndef QUILLMARSH_WRITECOMMAND_H
#define QUILLMARSH_WRITECOMMAND_H

#include <QStringList>

// `quillmarsh write HOST:PORT ADDRESS TYPE VALUE[,VALUE…]`: one write of as
// many elements as there are values.
class WriteCommand
{
public:
    static int run(const QStringList &arguments);
};

#endif
