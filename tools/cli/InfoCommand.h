#ifndef QUILLMARSH_INFOCOMMAND_H
#define QUILLMARSH_INFOCOMMAND_H

#include <QStringList>

// `quillmarsh info`: the plug-in's name, version and debug version reply.
class InfoCommand
{
public:
    static int run(const QStringList &arguments);
};

#endif
