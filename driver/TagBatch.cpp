#include "TagBatch.h"


#include "LibQuillmarsh.h"
#include "S7Frame.h"
#include "S7Reasons.h"

namespace {

BatchPlan::Piece pieceOf(int tag, const TagAddress &address, int start, int length)
{
    BatchPlan::Piece piece;
    piece.tag = tag;
    piece.area = address.area;
    piece.dbNumber = S7Frame::itemDbNumber(address.area, int(address.dbNumber));
    piece.start = start;
    piece.length = length;
    return piece;
}

} // namespace

const TagBatch::Segment *TagBatch::failureWithin(const QVector<Segment> &segments, int from, int length)
{
    for (const Segment &s : segments) {
        if (s.status != StatusOk && s.offset < from + length && from < s.offset + s.length)
            return &s;
    }
    return nullptr;
}

const TagBatch::Segment *TagBatch::firstFailure(const QVector<Segment> &segments)
{
    for (const Segment &s : segments) {
        if (s.status != StatusOk)
            return &s;
    }
    return nullptr;
}

int TagBatch::pduSize() const
{
    const int granted = driver.cmd.negotiated().pduSize;
    return granted > 0 ? qMin(granted, int(S7::RequestedPduLength)) : S7::MinimumPduLength;
}

int TagBatch::jobsInFlight() const
{
    // Never more than either side allows.
    const CDriveExtension::Negotiated granted = driver.cmd.negotiated();
    return qMax(1, qMin(granted.parallelJobsCalling, granted.parallelJobsCalled));
}

QVector<QVector<TagBatch::Segment>> TagBatch::run(const BatchPlan &plan, bool writes,
                                                   QVector<QByteArray> *rangeBytes)
{
    QVector<S7JobPipe::Job> jobs;
    for (const BatchPlan::Job &job : plan.jobs) {
        int bytes = 0;
        for (const S7ItemFrames::Item &item : job.items)
            bytes += item.length;
        jobs.append({writes ? S7ItemFrames::writeRequest(0, job.items) : S7ItemFrames::readRequest(0, job.items),
                     writes ? "写命令" : "读命令", QStringLiteral("%1 items").arg(job.items.size()), bytes});
    }
    return judge(plan, writes, pipe.run(jobs, jobsInFlight()), rangeBytes);
}

QVector<QVector<TagBatch::Segment>> TagBatch::judge(const BatchPlan &plan, bool writes,
                                                     const QVector<S7JobPipe::Outcome> &outcomes,
                                                     QVector<QByteArray> *rangeBytes)
{
    QVector<QVector<Segment>> segments(plan.ranges.size());
    if (rangeBytes) {
        rangeBytes->resize(plan.ranges.size());
        for (int r = 0; r < plan.ranges.size(); ++r)
            (*rangeBytes)[r] = QByteArray(plan.ranges.at(r).length, '\0');
    }
    for (int j = 0; j < plan.jobs.size(); ++j) {
        const BatchPlan::Job &job = plan.jobs.at(j);
        const S7JobPipe::Outcome &outcome = outcomes.at(j);
        S7ItemFrames::Verdict verdict;
        Why jobWhy;
        int jobStatus = CmdQuillmarsh::statusOfJob(outcome.result);
        if (outcome.result == JobOk) {
            verdict = writes ? S7ItemFrames::judgeWriteReply(outcome.reply, outcome.pduReference, job.items.size())
                             : S7ItemFrames::judgeReadReply(outcome.reply, outcome.pduReference, job.items);
            jobStatus = CmdQuillmarsh::statusOfJob(verdict.result);
            if (verdict.errorClass != 0 || verdict.errorCode != 0)
                jobWhy = S7Reasons::ofError(quint16(verdict.errorClass << 8 | verdict.errorCode));
            else
                jobWhy = S7Reasons::ofMismatch(verdict.problem);
        } else {
            jobWhy = outcome.result == JobBadReply ? S7Reasons::ofMismatch("bytes that are no frame")
                                                   : S7Reasons::ofStatus(jobStatus);
        }
        for (int k = 0; k < job.items.size(); ++k) {
            const BatchPlan::Place place = job.places.at(k);
            Segment segment;
            segment.offset = place.offset;
            segment.length = job.items.at(k).length;
            segment.status = jobStatus;
            segment.why = jobWhy;
            if (jobStatus == StatusOk) {
                const S7ItemFrames::ItemResult &item = verdict.items.at(k);
                segment.why = Why();
                if (item.returnCode != S7::ReturnCodeSuccess) {
                    segment.status = StatusBadReply;
                    segment.returnCode = item.returnCode;
                    segment.why = S7Reasons::ofReturnCode(item.returnCode);
                } else if (rangeBytes) {
                    (*rangeBytes)[place.range].replace(place.offset, item.data.size(), item.data);
                }
            }
            segments[place.range].append(segment);
        }
    }
    return segments;
}

void TagBatch::fail(int tag, const Segment &segment, QList<CLabelVariable> &records)
{
    records[tag].status = segment.status;
    records[tag].timestamp = QDateTime();
    records[tag].value = QVariant();
    whys[tag] = segment.why;
}

void TagBatch::readPieces(const QVector<BatchPlan::Piece> &pieces, const QList<Tag> &tags, bool merge,
                          QList<CLabelVariable> &records, QVector<BatchPlan::Piece> *retry)
{
    const BatchPlan plan = BatchPlan::forReads(pieces, pduSize(), merge);
    QVector<QByteArray> bytes;
    const QVector<QVector<Segment>> segments = run(plan, false, &bytes);
    const QDateTime answered = driver.localNow();
    QVector<int> pieceOfTag(tags.size(), -1);
    for (int i = 0; i < pieces.size(); ++i)
        pieceOfTag[pieces.at(i).tag] = i;

    for (int r = 0; r < plan.ranges.size(); ++r) {
        const BatchPlan::Range &range = plan.ranges.at(r);
        for (int t : range.tags) {
            const BatchPlan::Piece &piece = pieces.at(pieceOfTag.at(t));
            const int from = piece.start - range.start;
            if (const Segment *failed = failureWithin(segments.at(r), from, piece.length)) {
                if (retry && failed->returnCode == S7::ReturnCodeOutOfRange && range.tags.size() > 1)
                    retry->append(piece);
                else
                    fail(t, *failed, records);
                continue;
            }
            records[t].status = StatusOk;
            records[t].timestamp = answered;
            // Bool gives the bits of every byte from the start bit on, as a
            // single read does.
            const QByteArray own = QByteArray::fromRawData(bytes.at(r).constData() + from, piece.length);
            records[t].value = driver.decodeRead(tags.at(t).type, piece.startBit, own, piece.length);
            whys[t] = Why();
        }
    }
}

QList<CLabelVariable> TagBatch::read(const QList<Tag> &tags)
{
    QList<CLabelVariable> records;
    records.reserve(tags.size());
    whys = QVector<Why>(tags.size());
    QVector<BatchPlan::Piece> pieces;
    pieces.reserve(tags.size());
    const QDateTime called = driver.localNow();
    for (int i = 0; i < tags.size(); ++i) {
        const Tag &tag = tags.at(i);
        const TagAddress address = driver.addresses.parse(tag.address);
        CLabelVariable record;
        record.address = tag.address;
        record.dataType = tag.type;
        record.count = tag.count;
        const int checked = driver.readCheck(address, tag.type, tag.count);
        if (checked != StatusOk) {
            record.status = checked;
            record.timestamp = called; // the time of the call
            whys[i] = S7Reasons::ofStatus(checked);
        } else {
            pieces.append(pieceOf(i, address, address.byteAddress, driver.getBytelen(tag.type, tag.count)));
            pieces.last().startBit = int(address.bit);
        }
        records.append(record);
    }
    if (pieces.isEmpty())
        return records;
    QVector<BatchPlan::Piece> retry;
    readPieces(pieces, tags, true, records, &retry);
    if (!retry.isEmpty())
        readPieces(retry, tags, false, records, nullptr);
    return records;
}

QList<CLabelVariable> TagBatch::write(const QList<Tag> &tags)
{
    QList<CLabelVariable> records;
    records.reserve(tags.size());
    whys = QVector<Why>(tags.size());
    QVector<BatchPlan::Piece> pieces;
    QVector<bool> sent(tags.size(), false), toInputs(tags.size(), false);
    for (int i = 0; i < tags.size(); ++i) {
        const Tag &tag = tags.at(i);
        const TagAddress address = driver.addresses.parse(tag.address);
        CLabelVariable record = tag.value;
        toInputs[i] = address.area == S7::AreaInputs;
        const bool bitWrite = LibQuillmarsh::isBitWrite(address, tag.type, tag.count);
        const int checked = driver.writeCheck(address, tag.type, tag.count, bitWrite, tag.value);
        if (checked != StatusOk) {
            record.status = checked;
            whys[i] = S7Reasons::ofStatus(checked);
        } else if (bitWrite) {
            // One BIT item per element, so that the bits around stay as they are.
            QByteArray bits;
            driver.Wset_variant_bool(tag.value, tag.count, &bits);
            for (int k = 0; k < tag.count; ++k) {
                const int bit = address.byteAddress * 8 + int(address.bit) + k;
                BatchPlan::Piece piece = pieceOf(i, address, bit / 8, 1);
                piece.bit = bit % 8;
                piece.data = bits.mid(k, 1);
                pieces.append(piece);
            }
            sent[i] = true;
        } else {
            const int length = driver.getBytelen(tag.type, tag.count);
            BatchPlan::Piece piece = pieceOf(i, address, address.byteAddress, length);
            // Bool takes one element per byte.
            driver.encodeWrite(tag.type, tag.value, tag.type == Bool ? length : tag.count, &piece.data);
            pieces.append(piece);
            sent[i] = true;
        }
        record.address = tag.address;
        record.dataType = tag.type;
        record.count = tag.count;
        records.append(record);
    }
    if (pieces.isEmpty())
        return records;

    const BatchPlan plan = BatchPlan::forWrites(pieces, pduSize());
    const QVector<QVector<Segment>> segments = run(plan, true, nullptr);
    const QDateTime answered = driver.localNow();
    QVector<const Segment *> failed(tags.size(), nullptr);
    for (int r = 0; r < plan.ranges.size(); ++r) {
        const int t = plan.ranges.at(r).tags.first();
        if (!failed[t])
            failed[t] = firstFailure(segments.at(r));
    }
    for (int t = 0; t < tags.size(); ++t) {
        if (!sent[t])
            continue;
        if (failed[t]) {
            records[t].status = failed[t]->status;
            whys[t] = failed[t]->why;
        } else {
            records[t].status = StatusOk;
            records[t].timestamp = answered;
        }
        // Sent all the same; the status tells the host that inputs are the
        // PLC's to set.
        if (toInputs.at(t)) {
            records[t].status = StatusInputArea;
            if (!failed[t])
                whys[t] = S7Reasons::ofStatus(StatusInputArea);
        }
    }
    return records;
}
