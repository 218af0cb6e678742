#ifndef QUILLMARSH_BATCHPLAN_H
#define QUILLMARSH_BATCHPLAN_H

#include <QByteArray>
#include <QVector>

#include "S7ItemFrames.h"

// How a batch of tags goes to the PLC: their bytes as ranges, the ranges cut
// into items and the items packed into as few jobs as the PDU carries, each
// job within the PDU both ways and within the item limit. Reads of one area
// or data block that lie close together share a range, read through the gap
// between them; a range longer than a job has room for is split over items
// of several jobs and put together again from them.
class BatchPlan
{
public:
    // The bytes of one tag (or, for a bit write, one of its bits).
    struct Piece
    {
        int tag = 0;
        int area = 0;
        int dbNumber = 0; // as the item carries it
        int start = 0;
        int length = 0;
        int bit = -1;     // a write of this one bit
        int startBit = 0; // a Bool read's first bit, for decoding
        QByteArray data;  // a write's bytes
    };
    // Bytes taken together: the pieces' tags and where the range lies.
    struct Range
    {
        int area = 0;
        int dbNumber = 0;
        int start = 0;
        int length = 0;
        QVector<int> tags;
    };
    // Where an item's bytes go: its range and its offset in it.
    struct Place
    {
        int range = 0;
        int offset = 0;
    };
    struct Job
    {
        QVector<S7ItemFrames::Item> items;
        QVector<Place> places; // one per item
    };

    // Gaps up to this many bytes are read through: a separate item would
    // cost 12 bytes of request and 4 of reply.
    static constexpr int MaxMergeGap = S7::VarItemSize + S7::DataItemHeaderSize;

    // Pieces in the order of their tags; merge joins neighbouring reads.
    static BatchPlan forReads(const QVector<Piece> &pieces, int pduSize, bool merge);
    static BatchPlan forWrites(const QVector<Piece> &pieces, int pduSize);

    QVector<Range> ranges;
    QVector<Job> jobs;

private:
    void pack(const QVector<Piece> &pieces, int pduSize, bool writes);
};

#endif
