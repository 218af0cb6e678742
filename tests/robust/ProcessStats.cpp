#include "ProcessStats.h"

#include <QDir>
#include <QFile>

qint64 ProcessStats::residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // A line of the form "VmRSS:     12345 kB".
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:")) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            return fields.size() >= 2 ? fields.at(1).toLongLong() : -1;
        }
    }
    return -1;
}

int ProcessStats::openDescriptors()
{
    const QStringList entries =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return entries.size() - 1; // the listing's own descriptor
}
