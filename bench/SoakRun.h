#ifndef QUILLMARSH_SOAKRUN_H
#define QUILLMARSH_SOAKRUN_H

#include <QString>

// Long runs of the plug-in against the in-process simulated PLC, for the
// resources a leak shows in: write/read cycles on one driver object, rounds
// of connect / disconnect / DestroyFree with a fresh object every few rounds,
// and replies of megabytes. Prints resident memory and open descriptors at
// start and end; fails (1) on any failed job, on a descriptor left open or on
// resident memory growing past its bound, 2 when it cannot start.
class SoakRun
{
public:
    struct Options
    {
        QString pluginPath;
        int cycles = 100000;
        int reconnects = 1000;
        int hugeReplies = 5;
        qint64 maxGrowthKiB = 16384;      // over the cycles and rounds
        qint64 maxHugeGrowthKiB = 65536;  // over the huge replies, each 4 MiB
    };
    static int run(const Options &options);
};

#endif
