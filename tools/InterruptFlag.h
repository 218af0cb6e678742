#ifndef QUILLMARSH_INTERRUPTFLAG_H
#define QUILLMARSH_INTERRUPTFLAG_H

// Ctrl-C (SIGINT) and SIGTERM for a polling loop: the handler only sets a
// flag, which the loop checks between polls and while it waits, so that the
// loop can close the connection itself before the process ends.
class InterruptFlag
{
public:
    static void install();
    static bool raised();
    // Sleeps up to ms milliseconds in short slices; false when interrupted.
    static bool sleep(int ms);
};

#endif
