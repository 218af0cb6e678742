#include "ReadPlan.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>

#include "ElementTypes.h"
#include "S7Image.h"
#include "S7Type.h"

namespace {
int letterArea(QChar letter)
{
    switch (letter.toUpper().toLatin1()) {
    case 'I': return S7::AreaInputs;
    case 'Q': return S7::AreaOutputs;
    case 'M': return S7::AreaMarkers;
    default: return S7::AreaDataBlocks;
    }
}

} // namespace

ReadPlan::ReadPlan(const QList<TagSpec> &tagList, int pduBytes, bool merge)
    : tags(tagList), locations(tagList.size()), located(tagList.size(), false), pdu(pduBytes), merging(merge)
{
    for (int i = 0; i < tags.size(); ++i)
        located[i] = locate(tags.at(i), &locations[i]);
}

const QList<ReadPlan::Job> &ReadPlan::jobs()
{
    if (dirty)
        plan();
    return planned;
}

void ReadPlan::setAlone(int tag, bool apart)
{
    if (apart == alone.contains(tag))
        return;
    if (apart)
        alone.insert(tag);
    else
        alone.remove(tag);
    dirty = true;
}

void ReadPlan::plan()
{
    planned.clear();
    // Tags of one area and block, in the order the area first appears.
    QList<QPair<int, int>> order;
    QMap<QPair<int, int>, QList<int>> groups;
    for (int i = 0; i < tags.size(); ++i) {
        const Location &at = locations.at(i);
        if (!merging || !located.at(i) || alone.contains(i) || at.length > maxJobBytes()) {
            Job job;
            job.tags << i;
            planned << job;
            continue;
        }
        const QPair<int, int> key(at.area, at.dbNumber);
        if (!groups.contains(key))
            order << key;
        groups[key] << i;
    }
    for (const auto &key : order)
        planGroup(groups.value(key));
    std::stable_sort(planned.begin(), planned.end(), [](const Job &a, const Job &b) {
        return *std::min_element(a.tags.begin(), a.tags.end()) < *std::min_element(b.tags.begin(), b.tags.end());
    });
    dirty = false;
}

void ReadPlan::planGroup(QList<int> members)
{
    std::stable_sort(members.begin(), members.end(),
                     [this](int a, int b) { return locations.at(a).byte < locations.at(b).byte; });
    // From the lowest byte up, each tag joins the job before it while the job
    // stays within one reply and the gap to it is cheaper to read through.
    QList<int> current;
    int start = 0, end = 0;
    for (int i : members) {
        const Location &at = locations.at(i);
        const int tagEnd = at.byte + at.length;
        const bool joins = !current.isEmpty() && qMax(end, tagEnd) - start <= maxJobBytes()
                           && at.byte - end <= kMaxGapBytes;
        if (!joins) {
            if (!current.isEmpty())
                addJob(current, start, end);
            current.clear();
            start = at.byte;
            end = tagEnd;
        }
        current << i;
        end = qMax(end, tagEnd);
    }
    if (!current.isEmpty())
        addJob(current, start, end);
}

void ReadPlan::addJob(const QList<int> &members, int start, int end)
{
    Job job;
    job.tags = members;
    // One tag is read as itself: the same bytes, and its record as it comes.
    if (members.size() > 1) {
        job.merged = true;
        job.start = start;
        job.length = end - start;
        job.address = byteAddress(locations.at(members.first()), start);
    }
    planned << job;
}

CLabelVariable ReadPlan::decode(int tag, const QByteArray &jobBytes, int jobStart, const QDateTime &time) const
{
    const TagSpec &spec = tags.at(tag);
    const Location &at = locations.at(tag);
    CLabelVariable record;
    record.status = StatusOk;
    record.timestamp = time;
    record.address = spec.address;
    record.dataType = spec.type;
    record.count = spec.count;
    record.value = valueOf(spec.type, at.bit, spec.count, jobBytes.mid(at.byte - jobStart, at.length));
    return record;
}

bool ReadPlan::locate(const TagSpec &tag, Location *where)
{
    // The plug-in looks for its area letters anywhere in the text; these
    // forms hold exactly one area's letters, at the start, and a bit of one
    // digit, so there is one way to read them. The width letters of the data
    // block form (X, B, W, D) are only there for the reader.
    static const QRegularExpression letterForm(QStringLiteral("^([IQMV])(\\d{1,5})(?:\\.([0-7]))?$"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression blockForm(QStringLiteral("^DB(\\d{1,5})\\.DB[XBWD](\\d{1,5})(?:\\.([0-7]))?$"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch letter = letterForm.match(tag.address);
    const QRegularExpressionMatch block = letter.hasMatch() ? QRegularExpressionMatch() : blockForm.match(tag.address);
    Location at;
    if (letter.hasMatch()) {
        // A letter form without a dot takes the whole byte text as the bit too.
        if (tag.type == Bool && letter.captured(3).isEmpty())
            return false;
        at.area = letterArea(letter.captured(1).at(0));
        at.byte = letter.captured(2).toInt();
        at.bit = letter.captured(3).toInt();
    } else if (block.hasMatch()) {
        at.area = S7::AreaDataBlocks;
        at.dbNumber = block.captured(1).toInt();
        at.byte = block.captured(2).toInt();
        at.bit = block.captured(3).toInt();   // 0 without one
    } else {
        return false;
    }
    // The block a job puts on the wire: V memory and a block number 0 are
    // data block 1, so their tags merge with those of DB1.
    if (at.area == S7::AreaDataBlocks)
        at.dbNumber = qMax(at.dbNumber, int(S7::DefaultDataBlock));
    at.length = S7Type::byteLength(tag.type, tag.count);
    // The plug-in refuses a read whose byte address plus count passes the
    // highest byte.
    if (at.dbNumber > S7::MaxDataBlock || at.length < 1 || qint64(at.byte) + at.length > S7::MaxByteAddress
        || qint64(at.byte) + tag.count > S7::MaxByteAddress)
        return false;
    *where = at;
    return true;
}

QVariant ReadPlan::valueOf(DataType type, int bit, int count, const QByteArray &bytes)
{
    if (type == Bool)
        return S7Image::decodeBits(bit, bytes, bytes.size());
    return ElementTypes::withServedElementType(type, [&](auto tag) {
        return S7Image::decode<typename decltype(tag)::type>(bytes, count);
    });
}

QString ReadPlan::byteAddress(const Location &where, int start)
{
    switch (where.area) {
    case S7::AreaInputs: return QStringLiteral("I%1").arg(start);
    case S7::AreaOutputs: return QStringLiteral("Q%1").arg(start);
    case S7::AreaMarkers: return QStringLiteral("M%1").arg(start);
    default: return QStringLiteral("DB%1.DBB%2").arg(where.dbNumber).arg(start);
    }
}
