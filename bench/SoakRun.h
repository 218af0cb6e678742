#ifndef QUILLMARSH_SOAKRUN_H
#define QUILLMARSH_SOAKRUN_H

#include <QString>

// Long runs of the plug-in against the simulated PLC in this process, for
// the resources a leak shows in: 100,000 write/read cycles on one driver
// object, 1,000 rounds of connect / disconnect / DestroyFree with a fresh
// object every ten rounds, and five replies of 4 MiB. Prints resident
// memory and open descriptors at start and end; fails (1) on any failed
// job, a descriptor left open or resident memory growing past its bound,
// 2 when it cannot start. The test soak (ctest -L long).
class SoakRun
{
public:
    static int run(const QString &pluginPath);
};

#endif
