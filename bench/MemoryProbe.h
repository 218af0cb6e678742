#ifndef QUILLMARSH_MEMORYPROBE_H
#define QUILLMARSH_MEMORYPROBE_H

#include <QString>

// Memory of a host holding many driver objects without a connection:
// resident set (VmRSS) and heap in use, in total and per object.
class MemoryProbe
{
public:
    // Prints the figures for 1, 100 and 1000 objects; 0, or 2 when the
    // plug-in cannot be loaded.
    static int run(const QString &pluginPath);
    // VmRSS of this process in KiB; -1 when /proc does not tell.
    static long residentKiB();
    // Bytes of the heap in use by this process.
    static long heapBytes();
};

#endif
