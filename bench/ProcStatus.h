#ifndef QUILLMARSH_PROCSTATUS_H
#define QUILLMARSH_PROCSTATUS_H

#include <QString>

// What /proc tells of a running process: its resident memory and the
// descriptors it holds open. Listing this process's own descriptors opens
// one more, the same one every time.
class ProcStatus
{
public:
    explicit ProcStatus(qint64 pid);

    long residentKiB() const;     // VmRSS; -1 when /proc does not tell
    long peakResidentKiB() const; // VmHWM
    int descriptors() const;      // entries of /proc/PID/fd

private:
    long field(const char *name) const;

    QString dir;
};

#endif
