#ifndef QUILLMARSH_TAGBATCH_H
#define QUILLMARSH_TAGBATCH_H

#include <QList>
#include <QVector>

#include "BatchPlan.h"
#include "CDriveExtension.h"
#include "S7JobPipe.h"

class LibQuillmarsh;

// Reads and writes of many tags in multi-item jobs. Each record is the one
// ReadVariable or WriteVariable would return for its tag: the same refusals
// before anything is sent, the same statuses, value types and time stamps.
// Each item's return code decides its own tags; a reply that does not add
// up fails the tags of its job alone.
class TagBatch
{
public:
    using Tag = CDriveExtension::Tag;
    using Why = CDriveExtension::Why;

    // The driver whose checks, codec, clock, address cache and connection
    // the batches use.
    TagBatch(LibQuillmarsh &owner, S7JobPipe &jobs) : driver(owner), pipe(jobs) {}

    QList<CLabelVariable> read(const QList<Tag> &tags);
    QList<CLabelVariable> write(const QList<Tag> &tags);
    // One per record of the last read or write.
    QList<Why> lastWhy() const { return QList<Why>(whys.begin(), whys.end()); }

    // What became of the bytes of one item.
    struct Segment
    {
        int offset = 0; // in its range
        int length = 0;
        int status = StatusOk;
        quint8 returnCode = 0; // the item's, when the PLC refused it
        Why why;
    };

    // What became of each range's bytes, from the outcomes of the plan's
    // jobs (one each, in order): a job that failed as a whole fails all its
    // items, an item its own return code refused fails alone. rangeBytes
    // (when given) receives the bytes read, by range.
    static QVector<QVector<Segment>> judge(const BatchPlan &plan, bool writes,
                                           const QVector<S7JobPipe::Outcome> &outcomes,
                                           QVector<QByteArray> *rangeBytes);

private:
    // Runs the plan's jobs; the segments of each range.
    QVector<QVector<Segment>> run(const BatchPlan &plan, bool writes, QVector<QByteArray> *rangeBytes);
    // Reads the pieces. A range of several tags that the PLC finds out of
    // range may be so for one of them alone: those tags are handed to retry
    // (when given) to be read again each on its own.
    void readPieces(const QVector<BatchPlan::Piece> &pieces, const QList<Tag> &tags, bool merge,
                    QList<CLabelVariable> &records, QVector<BatchPlan::Piece> *retry);
    void fail(int tag, const Segment &segment, QList<CLabelVariable> &records);
    // The first failed segment that overlaps [from, from + length), or null.
    static const Segment *failureWithin(const QVector<Segment> &segments, int from, int length);
    static const Segment *firstFailure(const QVector<Segment> &segments);
    int pduSize() const;
    int jobsInFlight() const;

    LibQuillmarsh &driver;
    S7JobPipe &pipe;
    QVector<Why> whys; // a QList of these would allocate every element on its own
};

#endif
