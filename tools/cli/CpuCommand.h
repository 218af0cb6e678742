#ifndef QUILLMARSH_CPUCOMMAND_H
#define QUILLMARSH_CPUCOMMAND_H

#include <QStringList>

// `quillmarsh cpu HOST:PORT`: what the CPU says of itself, through the
// plug-in's extension: identity, operating state, protection, clock and
// diagnostic buffer, each with the cause when the CPU would not tell.
class CpuCommand
{
public:
    static int run(const QStringList &arguments);
};

#endif
