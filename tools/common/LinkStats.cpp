#include "LinkStats.h"

#include <algorithm>

namespace {
const double kUsPerMs = 1000.0;

QString ms(qint64 us)
{
    return QString::number(us / kUsPerMs, 'f', 1);
}
} // namespace

void LinkStats::add(const Poll &poll)
{
    if (interval > 0) {
        if (poll.tookUs > qint64(interval) * 1000)
            ++lateCount;
        if (pollCount > 0) {
            const qint64 due = latest.startMs + latest.tookUs / 1000 + interval;
            if (poll.startMs > due)
                missedCount += quint64((poll.startMs - due) / interval);
        }
    }
    if (window.size() < size_t(kWindow))
        window.push_back(poll.tookUs);
    else
        window[next] = poll.tookUs;
    next = (next + 1) % size_t(kWindow);
    latest = poll;
    ++pollCount;
}

qint64 LinkStats::percentileUs(int p) const
{
    if (window.empty())
        return 0;
    std::vector<qint64> times = window;
    const size_t rank = std::max<size_t>(1, (times.size() * size_t(p) + 99) / 100);
    std::nth_element(times.begin(), times.begin() + long(rank - 1), times.end());
    return times[rank - 1];
}

QString LinkStats::text() const
{
    return QStringLiteral("poll %1 ms (median %2, 99% %3) | late %4 missed %5 | tags %6 ok %7 bad | %8 %9 %10 B | "
                          "reconnects %11")
        .arg(ms(latest.tookUs), ms(percentileUs(50)), ms(percentileUs(99)))
        .arg(lateCount)
        .arg(missedCount)
        .arg(latest.good)
        .arg(latest.bad)
        .arg(latest.calls)
        .arg(latest.calls == 1 ? QStringLiteral("call") : QStringLiteral("calls"))
        .arg(latest.bytes)
        .arg(reconnectCount);
}
