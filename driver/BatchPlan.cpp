#include "BatchPlan.h"

#include <algorithm>

namespace {

// What one job has taken so far of the PDU, in each direction.
struct Fill
{
    int items = 0;
    int request = 0;
    int reply = 0;
    int lastLength = -1;
};

} // namespace

BatchPlan BatchPlan::forReads(const QVector<Piece> &pieces, int pduSize, bool merge)
{
    // Pieces by area and block, then by first byte; a piece that starts
    // within the gap limit of the range before joins it.
    QVector<int> order(pieces.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    if (merge) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const Piece &x = pieces.at(a), &y = pieces.at(b);
            return std::tie(x.area, x.dbNumber, x.start) < std::tie(y.area, y.dbNumber, y.start);
        });
    }
    BatchPlan plan;
    QVector<Piece> merged;
    merged.reserve(pieces.size());
    for (int i : qAsConst(order)) {
        const Piece &piece = pieces.at(i);
        if (merge && !merged.isEmpty()) {
            Piece &last = merged.last();
            const int end = last.start + last.length;
            if (last.area == piece.area && last.dbNumber == piece.dbNumber && piece.start <= end + MaxMergeGap) {
                last.length = qMax(end, piece.start + piece.length) - last.start;
                plan.ranges.last().length = last.length;
                plan.ranges.last().tags.append(piece.tag);
                continue;
            }
        }
        merged.append(piece);
        plan.ranges.append({piece.area, piece.dbNumber, piece.start, piece.length, {piece.tag}});
    }
    // Ranges in the order of their first tags, so that jobs follow the list.
    QVector<int> byTag(plan.ranges.size()), firstTag(plan.ranges.size());
    for (int i = 0; i < byTag.size(); ++i) {
        byTag[i] = i;
        firstTag[i] = *std::min_element(plan.ranges.at(i).tags.begin(), plan.ranges.at(i).tags.end());
    }
    std::sort(byTag.begin(), byTag.end(), [&](int a, int b) { return firstTag.at(a) < firstTag.at(b); });
    QVector<Range> ranges;
    QVector<Piece> packed;
    ranges.reserve(byTag.size());
    packed.reserve(byTag.size());
    for (int i : qAsConst(byTag)) {
        ranges.append(plan.ranges.at(i));
        packed.append(merged.at(i));
    }
    plan.ranges = ranges;
    plan.pack(packed, pduSize, false);
    return plan;
}

BatchPlan BatchPlan::forWrites(const QVector<Piece> &pieces, int pduSize)
{
    BatchPlan plan;
    for (const Piece &piece : pieces)
        plan.ranges.append({piece.area, piece.dbNumber, piece.start, piece.length, {piece.tag}});
    plan.pack(pieces, pduSize, true);
    return plan;
}

void BatchPlan::pack(const QVector<Piece> &pieces, int pduSize, bool writes)
{
    const int maxItems = qMin(S7::MaxItemsPerJob, (pduSize - S7ItemFrames::JobBaseSize) / S7::VarItemSize);
    Fill fill;
    const auto startJob = [&] {
        jobs.append(Job());
        fill = Fill();
        fill.request = S7ItemFrames::JobBaseSize;
        fill.reply = writes ? S7ItemFrames::writeReplySize(0) : S7ItemFrames::ReplyBaseSize;
    };
    // Data bytes the next item of the current job has room for.
    const auto room = [&] {
        if (jobs.isEmpty() || fill.items >= maxItems)
            return -1;
        const int header = S7ItemFrames::dataItemSize(0, fill.lastLength);
        if (writes) {
            if (S7ItemFrames::writeReplySize(fill.items + 1) > pduSize)
                return -1;
            return pduSize - fill.request - S7::VarItemSize - header;
        }
        return pduSize - fill.reply - header;
    };

    for (int r = 0; r < pieces.size(); ++r) {
        const Piece &piece = pieces.at(r);
        int offset = 0;
        do {
            const int left = piece.length - offset;
            // A bit cannot be cut; bytes can, down to one.
            const int least = piece.bit >= 0 ? 1 : qMin(left, 1);
            if (room() < least)
                startJob();
            const int take = piece.bit >= 0 ? 1 : qMin(left, room());
            S7ItemFrames::Item item;
            item.area = piece.area;
            item.dbNumber = piece.dbNumber;
            item.start = piece.start + offset;
            item.length = take;
            item.bit = piece.bit;
            if (writes)
                item.data = piece.data.mid(offset, take);
            const int data = S7ItemFrames::dataItemSize(take, fill.lastLength);
            fill.request += S7::VarItemSize + (writes ? data : 0);
            fill.reply += writes ? S7::WriteReturnCodeSize : data;
            fill.lastLength = take;
            ++fill.items;
            jobs.last().items.append(item);
            jobs.last().places.append({r, offset});
            offset += take;
        } while (offset < piece.length);
    }
}
