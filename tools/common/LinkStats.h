#ifndef QUILLMARSH_LINKSTATS_H
#define QUILLMARSH_LINKSTATS_H

#include <QString>
#include <QtGlobal>

#include <vector>

// The link's figures over a polling command's life: each poll's time (its
// reads, from the first request to the last record), with the median and
// the 99th percentile over the latest kWindow polls; polls late or missed
// against the interval; good and bad tags, calls into the plug-in and data
// bytes of the latest poll; reconnects.
//
// A poll is late when its reads took longer than the interval. Polls are
// missed when the next one starts later than the previous poll's time plus
// the interval allow: every whole interval beyond that (a link that was
// down, a stalled machine) is one missed poll. At interval 0 ("as fast as
// possible") no poll is late or missed.
class LinkStats
{
public:
    static constexpr int kWindow = 1000;

    struct Poll
    {
        qint64 startMs = 0;  // on a monotonic clock
        qint64 tookUs = 0;
        int good = 0;        // tags whose read succeeded
        int bad = 0;
        int calls = 0;       // reads asked of the plug-in: one per job, or one per batch
        qint64 bytes = 0;    // data bytes those reads asked for
    };

    explicit LinkStats(int intervalMs = 0) : interval(intervalMs) {}

    void add(const Poll &poll);
    void addReconnect() { ++reconnectCount; }

    quint64 polls() const { return pollCount; }
    const Poll &last() const { return latest; }
    // Nearest rank over the window: the smallest time that at least p percent
    // of its polls took no longer than; 0 before the first poll.
    qint64 percentileUs(int p) const;
    quint64 late() const { return lateCount; }
    quint64 missed() const { return missedCount; }
    quint64 reconnects() const { return reconnectCount; }

    // "poll 4.1 ms (median 3.9, 99% 7.2) | late 0 missed 0 | tags 99 ok 1 bad | 1 call 206 B | reconnects 0"
    QString text() const;

private:
    int interval;
    std::vector<qint64> window;   // a ring of poll times
    size_t next = 0;
    Poll latest;
    quint64 pollCount = 0;
    quint64 lateCount = 0;
    quint64 missedCount = 0;
    quint64 reconnectCount = 0;
};

#endif
