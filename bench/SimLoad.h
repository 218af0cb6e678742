#ifndef QUILLMARSH_SIMLOAD_H
#define QUILLMARSH_SIMLOAD_H

#include <QString>

// "Bounded under load" for quillmarsh-sim, watched from outside: many
// clients each writing and reading back a range of their own, a client that
// sends requests and never reads the replies, large frames, and stops right
// after the simulator says it listens. Prints one line per figure and a
// verdict; a benchmark, run by bench/sim-load.sh, never by CTest.
class SimLoad
{
public:
    struct Options
    {
        QString program;           // quillmarsh-sim
        QString cpu = QStringLiteral("s7-1500"); // takes 03.00 and more connections than the clients
        int clients = 32;
        int seconds = 60;
        qint64 unreadBytes = 6 * 1024 * 1024;
        int largeFrames = 3000;
        int stopRuns = 300;
    };

    // 0 when every target is met, 1 otherwise, 2 when the simulator cannot be run.
    static int run(const Options &options);

private:
    static bool clientsAtOnce(const Options &options);
    static bool unreadReplies(const Options &options);
    static bool largeFrames(const Options &options);
    static bool stopsRightAfterListening(const Options &options);
};

#endif
