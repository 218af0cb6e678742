#include "PanelJson.h"

#include "Remedy.h"
#include "S7Type.h"
#include "StatusText.h"
#include "SymbolLeaf.h"
#include "SymbolTags.h"

namespace {
const double kMsPerSecond = 1000.0;
const double kUsPerMs = 1000.0;
}

PanelJson::PanelJson(const QList<TagList::Entry> &tagEntries, const QString &endpoint,
                             bool writable, int intervalMs, int historyLength)
    : entries(tagEntries), renderedReads(tagEntries.size(), 0), stampMs(tagEntries.size(), 0)
{
    // Every key is set here, in the order the document shows them.
    document = RecordOutput::Json::object();
    document["poll"] = 0;
    document["time"] = nullptr;
    document["plc"] = RecordOutput::utf8(endpoint);
    document["connection"] = nullptr;
    document["writable"] = writable;
    document["interval"] = intervalMs;
    document["history"] = historyLength;
    document["stats"] = nullptr;
    document["clock"] = nullptr;
    RecordOutput::Json tags = RecordOutput::Json::array();
    for (const TagList::Entry &e : entries) {
        RecordOutput::Json o = RecordOutput::Json::object();
        o["name"] = RecordOutput::utf8(e.name);
        o["label"] = RecordOutput::utf8(e.label);
        o["address"] = RecordOutput::utf8(e.tag.address);
        o["type"] = RecordOutput::utf8(S7Type::servedName(e.tag.type));
        o["count"] = e.tag.count;
        // A leaf of a data block: its symbol, S7 type, the struct or block
        // it belongs to (the page groups by it) and its comment.
        o["symbol"] = e.leaf ? RecordOutput::Json(RecordOutput::utf8(e.leaf->symbol)) : RecordOutput::Json(nullptr);
        o["s7type"] = RecordOutput::utf8(SymbolTags::typeName(e));
        o["parent"] = RecordOutput::utf8(e.leaf ? e.leaf->parent : QString());
        o["comment"] = RecordOutput::utf8(e.leaf ? e.leaf->comment : QString());
        o["trend"] = e.hasTrend();
        o["value"] = "";
        o["values"] = RecordOutput::Json::array();
        o["status"] = nullptr;
        o["statusText"] = nullptr;
        o["timestamp"] = nullptr;
        o["age"] = nullptr;
        o["why"] = nullptr;
        o["remedy"] = nullptr;
        tags.push_back(std::move(o));
    }
    document["tags"] = std::move(tags);
    document["sequence"] = 0;
}

std::string PanelJson::render(const PollState &state, quint64 sequence)
{
    const qint64 nowMs = state.time.toMSecsSinceEpoch();
    document["poll"] = state.poll;
    document["time"] = RecordOutput::jsonTime(state.time);
    document["connection"] = {{"connected", state.connected},
                              {"attempts", state.attempts},
                              {"text", RecordOutput::utf8(state.connectionText)},
                              {"downSince", state.downSince.isValid() ? RecordOutput::jsonTime(state.downSince)
                                                                      : RecordOutput::Json(nullptr)}};
    document["stats"] = stats(state);
    if (state.clockKnown)
        document["clock"] = {{"offsetMs", state.clockOffsetMs}};
    else if (!state.clockWhy.isEmpty())
        document["clock"] = {{"error", RecordOutput::utf8(state.clockWhy)}};
    RecordOutput::Json &tags = document["tags"];
    for (int i = 0; i < entries.size() && size_t(i) < state.tags.size(); ++i)
        update(tags[i], i, state.tags[size_t(i)], nowMs);
    document["sequence"] = sequence;
    return document.dump(-1, ' ', false, RecordOutput::Json::error_handler_t::replace);
}

void PanelJson::update(RecordOutput::Json &o, int index, const PollLoop::TagState &s, qint64 nowMs)
{
    const TagList::Entry &entry = entries.at(index);
    if (s.goodReads != renderedReads.at(index)) {
        renderedReads[index] = s.goodReads;
        o["value"] = RecordOutput::utf8(SymbolTags::text(entry, s.lastGood));
        o["values"] = SymbolTags::values(entry, s.lastGood);
        stampMs[index] = s.lastGood.timestamp.toMSecsSinceEpoch();
        if (stampMs.at(index) != stampCacheMs) {
            stampCacheMs = stampMs.at(index);
            stampCacheText = RecordOutput::jsonTime(s.lastGood.timestamp);
        }
        o["timestamp"] = stampCacheText;
    }
    if (o["status"] != s.status) {
        o["status"] = s.status;
        o["statusText"] = RecordOutput::utf8(StatusText::meaning(s.status));
    }
    // A failure's cause can change while its status stays.
    if (s.status != StatusOk || !o["why"].is_null() || !o["remedy"].is_null())
        setCause(o, s.why, s.status);
    if (s.goodReads > 0)
        o["age"] = double(nowMs - stampMs.at(index)) / kMsPerSecond;
}

void PanelJson::setCause(RecordOutput::Json &o, const CDriveExtension::Why &why, int status)
{
    const bool failed = status != StatusOk;
    const QString remedy = failed ? Remedy::of(why, status) : QString();
    o["why"] = failed && !why.text.isEmpty() ? RecordOutput::Json(RecordOutput::utf8(why.text)) : RecordOutput::Json(nullptr);
    o["remedy"] = remedy.isEmpty() ? RecordOutput::Json(nullptr) : RecordOutput::Json(RecordOutput::utf8(remedy));
}

RecordOutput::Json PanelJson::stats(const PollState &state)
{
    const LinkStats &link = state.stats;
    const LinkStats::Poll &last = link.last();
    return {{"polls", link.polls()},
            {"pollMs", double(last.tookUs) / kUsPerMs},
            {"medianMs", double(link.percentileUs(50)) / kUsPerMs},
            {"p99Ms", double(link.percentileUs(99)) / kUsPerMs},
            {"late", link.late()},
            {"missed", link.missed()},
            {"good", last.good},
            {"bad", last.bad},
            {"calls", last.calls},
            {"bytes", last.bytes},
            {"reconnects", link.reconnects()}};
}
