#ifndef QUILLMARSH_STOPSIGNALS_H
#define QUILLMARSH_STOPSIGNALS_H

// Ctrl-C (SIGINT) and SIGTERM as a request to stop, for the long-running
// commands: the handler only sets a flag and wakes a descriptor. A polling
// loop waits with waitFor(), which a stop cuts short; an event loop quits on
// it (quitEventLoopOnStop); threads that must not take the signal mask it.
// Each command closes its connections itself before the process ends.
class StopSignals
{
public:
    // Installs the handlers; call it before anything that a stop should end.
    static void install();
    static bool requested();
    // Waits up to ms milliseconds; false when a stop was requested.
    static bool waitFor(int ms);
    // Blocks (or unblocks) SIGINT and SIGTERM on the calling thread. Threads
    // started while they are blocked inherit that, so the signals go to the
    // thread that waits for them and cut its wait short.
    static void blockOnThisThread(bool block);
    // Quits QCoreApplication's event loop on the next stop (after install()).
    static void quitEventLoopOnStop();
};

#endif
