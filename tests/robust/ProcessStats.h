#ifndef QUILLMARSH_PROCESSSTATS_H
#define QUILLMARSH_PROCESSSTATS_H

#include <QtGlobal>

// The figures a leak shows in: resident memory and open file descriptors of
// this process, read from /proc.
class ProcessStats
{
public:
    // VmRSS in KiB; -1 when /proc cannot be read.
    static qint64 residentKiB();
    // Entries of /proc/self/fd, not counting the one used to list them.
    static int openDescriptors();
};

#endif
