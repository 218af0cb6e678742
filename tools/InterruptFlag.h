#ifndef QUILLMARSH_INTERRUPTFLAG_H
#define QUILLMARSH_INTERRUPTFLAG_H

// Ctrl-C (SIGINT) and SIGTERM for the tool's long-running commands: the
// handler only sets a flag and wakes a descriptor, so that a polling loop
// (watch) checks the flag between polls and while it waits, and an event loop
// (sim) quits, each closing its connections itself before the process ends.
class InterruptFlag
{
public:
    static void install();
    static bool raised();
    // Sleeps up to ms milliseconds in short slices; false when interrupted.
    static bool sleep(int ms);
    // Blocks (or unblocks) SIGINT and SIGTERM on the calling thread. Threads
    // started while they are blocked inherit that, so the signals go to the
    // thread that waits for them and cut its sleep short.
    static void blockOnThisThread(bool block);
    // Quits QCoreApplication's event loop on the next interrupt (after install()).
    static void quitEventLoopOnInterrupt();
};

#endif
