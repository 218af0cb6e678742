#ifndef QUILLMARSH_INFOCOMMAND_H
#define QUILLMARSH_INFOCOMMAND_H

#include <QStringList>

// `quillmarsh info`: the plug-in's name, version and debug version reply;
// `quillmarsh info HOST:PORT`: what the CPU says of itself through the
// plug-in's extension (identity, operating state, protection, its clock and
// the offset to this machine's, the newest diagnostic events), each with
// the cause when the CPU would not tell.
class InfoCommand
{
public:
    static int run(const QStringList &arguments);

private:
    static int plugin(const QString &pluginPath, bool debug, bool json);
};

#endif
