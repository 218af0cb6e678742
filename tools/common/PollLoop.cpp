#include "PollLoop.h"

#include "CDriveBaseClass.h"
#include "ElementTypes.h"

PollLoop::PollLoop(CDriveBaseClass *driverObject, const QString &endpoint, const QList<TagSpec> &tagList,
                   const Options &options)
    : driver(driverObject), tags(tagList), plan(tagList, options.pduBytes, options.merge),
      reconnector(driverObject, endpoint), tagStates(size_t(tagList.size()))
{
}

PollLoop::PollLoop(CDriveBaseClass *driverObject, const QString &endpoint, const QList<TagSpec> &tagList)
    : PollLoop(driverObject, endpoint, tagList, Options())
{
}

void PollLoop::run(Host &host, int intervalMs)
{
    for (;;) {
        if (!reconnector.connected()) {
            if (!host.wait(reconnector.waitMs()))
                return;
            if (!reconnector.reconnect()) {
                if (!host.report(*this, false))
                    return;
                continue;
            }
        }
        if (!poll(host) || !host.report(*this, true))
            return;
        // After a poll that lost the link the next wait is the reconnect's.
        if (reconnector.connected() && !host.wait(intervalMs))
            return;
    }
}

bool PollLoop::poll(Host &host)
{
    // A copy: a failed job changes the plan for the next poll.
    const QList<ReadPlan::Job> jobs = plan.jobs();
    for (const ReadPlan::Job &job : jobs) {
        if (!reconnector.connected())
            break;
        if (!host.beforeRead())
            return false;
        if (!job.merged)
            readAlone(job.tags.first());
        else if (!readMerged(host, job))
            return false;
    }
    ++pollCount;
    return true;
}

void PollLoop::readAlone(int index)
{
    const TagSpec &tag = tags.at(index);
    const CLabelVariable record = driver->ReadVariable(tag.address, tag.type, tag.count);
    store(index, record);
    reconnector.note(record.status);
    // A tag set apart after a failure merges again once it reads.
    if (record.status == StatusOk)
        plan.setAlone(index, false);
}

bool PollLoop::readMerged(Host &host, const ReadPlan::Job &job)
{
    const CLabelVariable record = driver->ReadVariable(job.address, UInt8, job.length);
    QList<uchar> list;
    if (record.status == StatusOk && ElementTypes::readList(record.value, list) && list.size() == job.length) {
        QByteArray bytes;
        bytes.reserve(list.size());
        for (uchar b : list)
            bytes.append(char(b));
        for (int index : job.tags)
            store(index, plan.decode(index, bytes, job.start, record.timestamp));
        reconnector.note(StatusOk);
        return true;
    }
    // Every tag of the job gets its status, then its own read while the link
    // lasts: a bad tag in the job (past the end of its block, say) fails
    // alone and is read alone from then on.
    const int status = record.status == StatusOk ? int(StatusBadReply) : record.status;
    reconnector.note(status);
    for (int index : job.tags)
        tagStates[size_t(index)].status = status;
    for (int index : job.tags) {
        if (!reconnector.connected())
            break;
        if (!host.beforeRead())
            return false;
        readAlone(index);
        if (tagStates[size_t(index)].status != StatusOk)
            plan.setAlone(index, true);
    }
    return true;
}

void PollLoop::store(int index, const CLabelVariable &record)
{
    TagState &state = tagStates[size_t(index)];
    state.status = record.status;
    if (record.status == StatusOk) {
        state.lastGood = record;
        ++state.goodReads;
    }
}

CLabelVariable PollLoop::write(int index, const QVariant &value, int count)
{
    const TagSpec &tag = tags.at(index);
    CLabelVariable record;
    record.address = tag.address;
    record.dataType = tag.type;
    record.count = count;
    record.value = value;
    const CLabelVariable result = driver->WriteVariable(tag.address, tag.type, record, count);
    reconnector.note(result.status);
    return result;
}
