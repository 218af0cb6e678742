#include "ReadPlan.h"

#include <QMap>

#include <algorithm>

#include "ElementTypes.h"
#include "S7Address.h"
#include "S7Image.h"
#include "S7Type.h"

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
    // digit, so there is one way to read them. It takes no width letter
    // after I, Q, M or V (MW10 is its byte 0), and a letter form without a
    // dot as a Bool takes the whole byte text as the bit too.
    S7Address at;
    QString unused;
    if (!S7Address::parse(tag.address, &at, &unused) || at.area == S7::AreaTimers || at.area == S7::AreaCounters)
        return false;
    const bool blockForm = tag.address.startsWith(QLatin1String("DB"), Qt::CaseInsensitive);
    if (!blockForm && (at.widthGiven || (tag.type == Bool && at.bit < 0)))
        return false;
    Location place;
    place.area = at.area;
    place.dbNumber = at.dbNumber;   // V memory is data block 1, as the plug-in reads it
    place.byte = at.byte;
    place.bit = qMax(at.bit, 0);    // a block form without a bit is bit 0
    place.length = S7Type::byteLength(tag.type, tag.count);
    // The plug-in refuses a read whose byte address plus count passes the
    // highest byte.
    if (place.length < 1 || qint64(place.byte) + place.length > S7::MaxByteAddress
        || qint64(place.byte) + tag.count > S7::MaxByteAddress)
        return false;
    *where = place;
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
    S7Address bytes;
    bytes.area = where.area;
    bytes.dbNumber = where.dbNumber;
    bytes.byte = start;
    return bytes.text();
}
