// The judgement of multi-item and user-data replies on arbitrary bytes, by
// properties: an accepted read reply gives each item either its return code
// alone or exactly the bytes its item asked for, and never more bytes than
// the reply holds; an accepted write reply one code per item; an accepted
// user-data answer has no error and no more data than the frame, and a clock
// taken from it is a date.
//
// Input: [what][item count][one length byte per item][reply bytes...]

#include <QByteArray>
#include <QVector>

#include <cstdint>

#include "FuzzRequire.h"
#include "S7ItemFrames.h"
#include "S7SystemLists.h"
#include "S7UserDataFrames.h"

namespace {

constexpr size_t MaxReply = 4096;
constexpr quint16 Reference = 0x0102;

enum What { ReadReply, WriteReply, UserData, WhatCount };

void judgeRead(const QByteArray &reply, const QVector<S7ItemFrames::Item> &items)
{
    const S7ItemFrames::Verdict verdict = S7ItemFrames::judgeReadReply(reply, Reference, items);
    require(verdict.result == JobOk || verdict.result == JobBadReply);
    if (verdict.result != JobOk) {
        require(verdict.items.isEmpty());
        return;
    }
    require(verdict.items.size() == items.size());
    int bytes = 0;
    for (int i = 0; i < items.size(); ++i) {
        const S7ItemFrames::ItemResult &r = verdict.items.at(i);
        require(r.returnCode == S7::ReturnCodeSuccess ? r.data.size() == items.at(i).length : r.data.isEmpty());
        bytes += r.data.size();
    }
    require(bytes < reply.size());
}

void judgeWrite(const QByteArray &reply, int itemCount)
{
    const S7ItemFrames::Verdict verdict = S7ItemFrames::judgeWriteReply(reply, Reference, itemCount);
    require(verdict.result == JobOk ? verdict.items.size() == itemCount : verdict.items.isEmpty());
}

void judgeUserData(const QByteArray &reply, quint8 group)
{
    const S7UserDataFrames::Answer answer = S7UserDataFrames::judgeReply(reply, Reference, group, 1);
    if (answer.result == JobOk)
        require(answer.error == 0 && answer.returnCode == S7::ReturnCodeSuccess && answer.data.size() < reply.size());
    QDateTime clock;
    if (S7SystemLists::clock(answer.data, &clock))
        require(clock.isValid() && clock.date().year() >= 1990 && clock.date().year() <= 2089);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > MaxReply)
        return 0;
    const int itemCount = data[1] % (S7::MaxItemsPerJob + 1);
    if (size < size_t(2 + itemCount))
        return 0;
    QVector<S7ItemFrames::Item> items(itemCount);
    for (int i = 0; i < itemCount; ++i)
        items[i].length = data[2 + i];
    const QByteArray reply(reinterpret_cast<const char *>(data + 2 + itemCount), int(size - 2 - itemCount));
    switch (data[0] % WhatCount) {
    case ReadReply: judgeRead(reply, items); break;
    case WriteReply: judgeWrite(reply, itemCount); break;
    default: judgeUserData(reply, itemCount % 8); break;
    }
    return 0;
}
