#include "ProcStatus.h"

#include <QDir>
#include <QFile>

ProcStatus::ProcStatus(qint64 pid) : dir(QStringLiteral("/proc/%1").arg(pid)) {}

long ProcStatus::residentKiB() const
{
    return field("VmRSS:");
}

long ProcStatus::peakResidentKiB() const
{
    return field("VmHWM:");
}

int ProcStatus::descriptors() const
{
    return QDir(dir + QStringLiteral("/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

long ProcStatus::field(const char *name) const
{
    QFile status(dir + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix(name);
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
