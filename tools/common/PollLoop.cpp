#include "PollLoop.h"

#include "CDriveBaseClass.h"

PollLoop::PollLoop(CDriveBaseClass *driverObject, const QString &endpoint, const QList<TagSpec> &tagList)
    : driver(driverObject), tags(tagList), reconnector(driverObject, endpoint), tagStates(size_t(tagList.size()))
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
    for (int i = 0; i < tags.size() && reconnector.connected(); ++i) {
        if (!host.beforeRead())
            return false;
        const TagSpec &tag = tags.at(i);
        const CLabelVariable record = driver->ReadVariable(tag.address, tag.type, tag.count);
        TagState &state = tagStates[size_t(i)];
        state.status = record.status;
        if (record.status == StatusOk) {
            state.lastGood = record;
            ++state.goodReads;
        }
        reconnector.note(record.status);
    }
    ++pollCount;
    return true;
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
