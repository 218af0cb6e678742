#include "PanelPoller.h"

#include <chrono>

#include "DriverSession.h"
#include "Reconnector.h"
#include "StatusText.h"
#include "TypeNames.h"
#include "ValueFormatter.h"

namespace {
// Loading the plug-in and the first connect: the connect waits at most a
// few seconds for TCP and as long again for the handshake.
const int kStartWaitMs = 30000;
const double kMsPerSecond = 1000.0;

QStringList trendTitles(const QList<TagList::Entry> &entries)
{
    QStringList titles;
    for (const TagList::Entry &e : entries) {
        if (e.tag.count == 1 && e.tag.type != Bool)
            titles << e.title();
    }
    return titles;
}
} // namespace

PanelPoller::PanelPoller(const QList<TagList::Entry> &tagEntries, const Options &pollerOptions)
    : entries(tagEntries),
      options(pollerOptions),
      history(trendTitles(tagEntries), pollerOptions.historyLength)
{
    document = RecordOutput::Json::object();
    document["poll"] = 0;
    document["time"] = nullptr;
    document["plc"] = RecordOutput::utf8(options.endpoint);
    document["connection"] = nullptr;
    document["writable"] = options.writable;
    document["interval"] = options.intervalMs;
    document["history"] = options.historyLength;
    document["tags"] = RecordOutput::Json::array();
    for (int i = 0; i < entries.size(); ++i) {
        states.append(TagState());
        document["tags"].push_back(tagJson(i));
    }
    document["sequence"] = 0;
}

PanelPoller::~PanelPoller()
{
    stop();
}

bool PanelPoller::hasTrend(int index) const
{
    const TagSpec &tag = entries.at(index).tag;
    return tag.count == 1 && tag.type != Bool;
}

bool PanelPoller::start(QString *error)
{
    std::promise<QString> started;
    std::future<QString> result = started.get_future();
    thread = std::thread(&PanelPoller::run, this, std::move(started));
    if (result.wait_for(std::chrono::milliseconds(kStartWaitMs)) != std::future_status::ready) {
        *error = QStringLiteral("the PLC connection was not made within %1 ms").arg(kStartWaitMs);
        stop();
        return false;
    }
    *error = result.get();
    if (!error->isEmpty()) {
        stop();
        return false;
    }
    return true;
}

void PanelPoller::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    published.notify_all();
    if (thread.joinable())
        thread.join();
}

void PanelPoller::run(std::promise<QString> started)
{
    // The session, and with it the driver object, lives and dies on this thread.
    DriverSession session(options.debug);
    QString error;
    if (!session.load(options.pluginPath, &error) || !session.connectTo(options.endpoint, &error)) {
        started.set_value(error);
        return;
    }
    started.set_value(QString());
    Reconnector link(session.driver(), options.endpoint);
    publish(link, false);
    for (;;) {
        runWrites(session, link);
        if (!link.connected()) {
            if (!pause(link.waitMs(), session, link))
                break;
            link.reconnect();
            if (!link.connected()) {
                publish(link, false);
                continue;
            }
        }
        poll(session, link);
        publish(link, true);
        if (!pause(options.intervalMs, session, link))
            break;
    }
    // Writes still queued are answered rather than left to time out.
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::shared_ptr<WriteJob> &job : writes) {
        CLabelVariable refused;
        refused.status = StatusNotConnected;
        job->done.set_value(refused);
    }
    writes.clear();
}

void PanelPoller::poll(DriverSession &session, Reconnector &link)
{
    for (int i = 0; i < entries.size() && link.connected(); ++i) {
        const TagSpec &tag = entries.at(i).tag;
        const CLabelVariable record = session.driver()->ReadVariable(tag.address, tag.type, tag.count);
        states[i].status = record.status;
        if (record.status == StatusOk) {
            states[i].lastGood = record;
            states[i].fresh = true;
        }
        link.note(record.status);
    }
    ++pollCount;
}

void PanelPoller::runWrites(DriverSession &session, Reconnector &link)
{
    for (;;) {
        std::shared_ptr<WriteJob> job;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (writes.empty())
                return;
            job = writes.front();
            writes.pop_front();
        }
        const TagSpec &tag = entries.at(job->index).tag;
        CLabelVariable record;
        record.address = tag.address;
        record.dataType = tag.type;
        record.count = job->count;
        record.value = job->value;
        const CLabelVariable result =
            session.driver()->WriteVariable(tag.address, tag.type, record, job->count);
        link.note(result.status);
        job->done.set_value(result);
    }
}

bool PanelPoller::pause(int ms, DriverSession &session, Reconnector &link)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait_until(lock, until, [this] { return stopping || !writes.empty(); });
            if (stopping)
                return false;
            if (writes.empty())
                return true;   // the time is up
        }
        runWrites(session, link);
    }
}

bool PanelPoller::write(int index, const QVariant &value, int count, CLabelVariable *result,
                        int timeoutMs)
{
    auto job = std::make_shared<WriteJob>();
    job->index = index;
    job->value = value;
    job->count = count;
    std::future<CLabelVariable> done = job->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return false;
        writes.push_back(job);
    }
    wake.notify_all();
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return false;
    *result = done.get();
    return true;
}

RecordOutput::Json PanelPoller::tagJson(int index) const
{
    const TagList::Entry &e = entries.at(index);
    RecordOutput::Json o = RecordOutput::Json::object();
    o["name"] = RecordOutput::utf8(e.name);
    o["label"] = RecordOutput::utf8(e.label);
    o["address"] = RecordOutput::utf8(e.tag.address);
    o["type"] = RecordOutput::utf8(TypeNames::name(e.tag.type));
    o["count"] = e.tag.count;
    o["trend"] = hasTrend(index);
    for (const char *key : {"value", "values", "number", "status", "statusText", "timestamp", "age"})
        o[key] = nullptr;
    return o;
}

void PanelPoller::updateTagJson(RecordOutput::Json &o, int index, qint64 nowMs)
{
    const TagSpec &tag = entries.at(index).tag;
    TagState &s = states[index];
    if (s.fresh) {
        // A new good value: its texts are made once, not on every publication.
        s.fresh = false;
        o["value"] = RecordOutput::utf8(ValueFormatter::joined(s.lastGood.value, tag.type, tag.count));
        o["values"] = RecordOutput::values(s.lastGood.value, tag.type, tag.count);
        double number = 0;
        if (hasTrend(index) && ValueFormatter::firstAsNumber(s.lastGood.value, tag.type, &number))
            o["number"] = number;
        s.stampMs = s.lastGood.timestamp.toMSecsSinceEpoch();
        // Tags read within the same millisecond share one time stamp text.
        if (s.stampMs != stampCacheMs) {
            stampCacheMs = s.stampMs;
            stampCacheText = RecordOutput::jsonTime(s.lastGood.timestamp);
        }
        o["timestamp"] = stampCacheText;
    }
    if (o["status"] != s.status) {
        o["status"] = s.status;
        o["statusText"] = RecordOutput::utf8(StatusText::meaning(s.status));
    }
    if (s.lastGood.timestamp.isValid())
        o["age"] = double(nowMs - s.stampMs) / kMsPerSecond;
}

void PanelPoller::publish(const Reconnector &link, bool polled)
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 nowMs = now.toMSecsSinceEpoch();
    document["poll"] = pollCount;
    document["time"] = RecordOutput::jsonTime(now);
    document["connection"] = {{"connected", link.connected()},
                              {"attempts", link.attempts()},
                              {"text", RecordOutput::utf8(link.stateText())}};
    RecordOutput::Json &tags = document["tags"];
    QStringList trendTexts;
    for (int i = 0; i < entries.size(); ++i) {
        updateTagJson(tags[i], i, nowMs);
        if (polled && hasTrend(i)) {
            const TagState &s = states.at(i);
            trendTexts << (s.status == StatusOk ? QString::fromStdString(tags[i]["value"].get<std::string>())
                                                : QString());
        }
    }

    auto snap = std::make_shared<PanelSnapshot>();
    {
        std::lock_guard<std::mutex> lock(mutex);
        snap->sequence = latest ? latest->sequence + 1 : 1;
    }
    document["sequence"] = snap->sequence;
    snap->json = document.dump(-1, ' ', false, RecordOutput::Json::error_handler_t::replace);
    {
        std::lock_guard<std::mutex> lock(mutex);
        latest = std::move(snap);
        // Only polls make history rows; the first snapshot and reconnect
        // attempts only update the banner.
        if (polled)
            history.add(pollCount, now, trendTexts);
    }
    published.notify_all();
}

std::shared_ptr<const PanelSnapshot> PanelPoller::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return latest;
}

std::shared_ptr<const PanelSnapshot> PanelPoller::waitNewer(quint64 sequence, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    published.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return stopping || (latest && latest->sequence > sequence);
    });
    if (stopping)
        return nullptr;
    return latest;
}

void PanelPoller::beginStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    published.notify_all();
    wake.notify_all();
}

std::string PanelPoller::historyCsv() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return history.csv();
}
