#include "PollLoop.h"

#include "CDriveBaseClass.h"
#include "CommandLine.h"
#include "ElementTypes.h"
#include "S7Type.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {
// The PDU a merged read may fill: what the PLC granted, where the extension
// tells it, else what the command line says it grants.
int pduOf(const CDriveExtension *extension, int given)
{
    const int granted = extension ? extension->negotiated().pduSize : 0;
    return granted > 0 ? granted : given;
}
} // namespace

PollLoop::PollLoop(CDriveBaseClass *driverObject, const QString &endpoint, const QList<TagSpec> &tagList,
                   const Options &options)
    : driver(driverObject), extension(driveExtension(driverObject)), batched(extension && options.batch),
      tags(tagList), plan(tagList, pduOf(extension, options.pduBytes), options.merge), reconnector(driverObject, endpoint),
      tagStates(size_t(tagList.size()))
{
    for (const TagSpec &tag : tags) {
        batchTags << CDriveExtension::Tag{tag.address, tag.type, tag.count, CLabelVariable()};
        tagBytes << S7Type::byteLength(tag.type, tag.count);
        batchBytes += tagBytes.last();
    }
}

PollLoop::PollLoop(CDriveBaseClass *driverObject, const QString &endpoint, const QList<TagSpec> &tagList)
    : PollLoop(driverObject, endpoint, tagList, Options())
{
}

void PollLoop::addOptions(CommandLine *cl)
{
    cl->addBoolOption(QStringLiteral("no-batch"),
                      QStringLiteral("Read by merged jobs (or, with --no-merge, tag by tag) even where the "
                                     "plug-in could read a poll's tags in one batch."));
    cl->addMergeOptions();
}

bool PollLoop::takeOptions(const CommandLine &cl, Options *options)
{
    options->batch = !cl.isSet(QStringLiteral("no-batch")) && !cl.isSet(QStringLiteral("no-merge"));
    return cl.mergeOptions(&options->merge, &options->pduBytes);
}

void PollLoop::run(Host &host, int intervalMs)
{
    linkStats = LinkStats(intervalMs);
    sinceStart.start();
    for (;;) {
        if (!reconnector.connected()) {
            if (!host.wait(reconnector.waitMs()))
                return;
            if (!reconnector.reconnect()) {
                if (!host.report(*this, false))
                    return;
                continue;
            }
            linkStats.addReconnect();
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
    current = LinkStats::Poll();
    current.startMs = sinceStart.elapsed();
    if (batched) {
        if (!host.beforeRead())
            return false;
        readBatch();
    } else {
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
    }
    for (const TagState &state : tagStates)
        ++(state.status == StatusOk ? current.good : current.bad);
    linkStats.add(current);
    ++pollCount;
    return true;
}

void PollLoop::count(qint64 bytes, qint64 ns)
{
    ++current.calls;
    current.bytes += bytes;
    current.tookUs += ns / 1000;
}

void PollLoop::readBatch()
{
    QElapsedTimer clock;
    clock.start();
    const QList<CLabelVariable> records = extension->readVariables(batchTags);
    count(batchBytes, clock.nsecsElapsed());
    // The causes only when something failed: a poll that read every tag
    // copies no list of them.
    const bool allOk = std::all_of(records.begin(), records.end(),
                                   [](const CLabelVariable &r) { return r.status == StatusOk; });
    const QList<CDriveExtension::Why> whys = allOk ? QList<CDriveExtension::Why>() : extension->lastWhy();
    // The link counts one read per poll: its worst status. A job that goes
    // unanswered leaves the batch's later jobs unsent, so many tags without
    // an answer are still one wait, not many.
    int link = StatusOk;
    for (int i = 0; size_t(i) < tagStates.size() && i < records.size(); ++i) {
        const int status = records.at(i).status;
        store(i, records.at(i), whys.value(i));
        if (status == StatusNotConnected || (status == StatusNoReply && link != StatusNotConnected))
            link = status;
    }
    reconnector.note(link);
}

void PollLoop::readAlone(int index)
{
    const TagSpec &tag = tags.at(index);
    QElapsedTimer clock;
    clock.start();
    const CLabelVariable record = driver->ReadVariable(tag.address, tag.type, tag.count);
    count(tagBytes.at(index), clock.nsecsElapsed());
    store(index, record, record.status == StatusOk ? CDriveExtension::Why() : jobWhy());
    reconnector.note(record.status);
    // A tag set apart after a failure merges again once it reads.
    if (record.status == StatusOk)
        plan.setAlone(index, false);
}

bool PollLoop::readMerged(Host &host, const ReadPlan::Job &job)
{
    QElapsedTimer clock;
    clock.start();
    const CLabelVariable record = driver->ReadVariable(job.address, UInt8, job.length);
    count(job.length, clock.nsecsElapsed());
    QList<uchar> list;
    if (record.status == StatusOk && ElementTypes::readList(record.value, list) && list.size() == job.length) {
        QByteArray bytes;
        bytes.reserve(list.size());
        for (uchar b : list)
            bytes.append(char(b));
        for (int index : job.tags)
            store(index, plan.decode(index, bytes, job.start, record.timestamp), CDriveExtension::Why());
        reconnector.note(StatusOk);
        return true;
    }
    // Every tag of the job gets its status, then its own read while the link
    // lasts: a bad tag in the job (past the end of its block, say) fails
    // alone and is read alone from then on.
    const int status = record.status == StatusOk ? int(StatusBadReply) : record.status;
    reconnector.note(status);
    const CDriveExtension::Why why = jobWhy();
    for (int index : job.tags) {
        tagStates[size_t(index)].status = status;
        tagStates[size_t(index)].why = why;
    }
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

void PollLoop::store(int index, const CLabelVariable &record, const CDriveExtension::Why &why)
{
    TagState &state = tagStates[size_t(index)];
    state.status = record.status;
    state.why = why;
    if (record.status == StatusOk) {
        state.lastGood = record;
        ++state.goodReads;
    }
}

CDriveExtension::Why PollLoop::jobWhy() const
{
    return extension ? extension->lastJobWhy() : CDriveExtension::Why();
}

CLabelVariable PollLoop::write(int index, const QVariant &value, int count, CDriveExtension::Why *why)
{
    const TagSpec &tag = tags.at(index);
    CLabelVariable record;
    record.address = tag.address;
    record.dataType = tag.type;
    record.count = count;
    record.value = value;
    CLabelVariable result;
    CDriveExtension::Why cause;
    if (extension) {
        result = extension->writeVariables({CDriveExtension::Tag{tag.address, tag.type, count, record}}).value(0);
        cause = extension->lastWhy().value(0);
    } else {
        result = driver->WriteVariable(tag.address, tag.type, record, count);
        cause = jobWhy();
    }
    reconnector.note(result.status);
    if (why)
        *why = cause;
    return result;
}
