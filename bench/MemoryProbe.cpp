#include "MemoryProbe.h"

#include <QFile>

#include <malloc.h>

#include <cstdio>
#include <vector>

#include "DriverPlugin.h"

namespace {
const int kCheckpoints[] = {1, 100, 1000};
}

long MemoryProbe::residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix("VmRSS:");
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long MemoryProbe::heapBytes()
{
    return long(mallinfo2().uordblks);
}

int MemoryProbe::run(const QString &pluginPath)
{
    DriverPlugin plugin(pluginPath);
    if (!plugin.load()) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(plugin.errorString()));
        return 2;
    }
    const long rssBefore = residentKiB();
    const long heapBefore = heapBytes();
    std::printf("host with the plug-in loaded, no driver object: VmRSS %ld KiB\n", rssBefore);
    std::printf("%8s %12s %14s %14s %15s\n", "objects", "VmRSS KiB", "+RSS KiB", "RSS B/object", "heap B/object");
    int made = 0;
    for (const int target : kCheckpoints) {
        for (; made < target; ++made)
            plugin.create();
        const long rss = residentKiB();
        const long heap = heapBytes() - heapBefore;
        std::printf("%8d %12ld %14ld %14.0f %15.0f\n", target, rss, rss - rssBefore,
                    double(rss - rssBefore) * 1024.0 / target, double(heap) / target);
    }
    std::printf("(the first object also pays for the code and data pages it touches first)\n");
    return 0; // the plug-in releases its objects
}
