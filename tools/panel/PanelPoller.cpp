#include "PanelPoller.h"

#include <algorithm>

#include <chrono>
#include <optional>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "ClockOffset.h"
#include "DriverSession.h"
#include "StatusText.h"

namespace {
// Loading the plug-in and the first connect: the connect waits at most a
// few seconds for TCP and as long again for the handshake.
const int kStartWaitMs = 30000;

QStringList trendTitles(const QList<TagList::Entry> &entries)
{
    QStringList titles;
    for (const TagList::Entry &e : entries) {
        if (e.hasTrend())
            titles << e.title();
    }
    return titles;
}

QVector<DataType> trendTypes(const QList<TagList::Entry> &entries)
{
    QVector<DataType> types;
    for (const TagList::Entry &e : entries) {
        if (e.hasTrend())
            types << e.tag.type;
    }
    return types;
}
} // namespace

PanelPoller::PanelPoller(const QList<TagList::Entry> &tagEntries, const Options &pollerOptions)
    : entries(tagEntries),
      options(pollerOptions),
      document(tagEntries, pollerOptions.endpoint, pollerOptions.writable, pollerOptions.intervalMs,
               pollerOptions.historyLength),
      history(trendTitles(tagEntries), trendTypes(tagEntries), pollerOptions.historyLength)
{
}

PanelPoller::~PanelPoller()
{
    stop();
}

bool PanelPoller::start(QString *error)
{
    std::promise<QString> started;
    std::future<QString> result = started.get_future();
    renderer = std::thread(&PanelPoller::render, this);
    poller = std::thread(&PanelPoller::run, this, std::move(started));
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

void PanelPoller::runInBackground()
{
    // On Linux the nice value belongs to the thread named by its id.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), kBackgroundNice);
}

void PanelPoller::beginStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    toRender.notify_all();
    published.notify_all();
}

void PanelPoller::stop()
{
    beginStop();
    if (poller.joinable())
        poller.join();
    if (renderer.joinable())
        renderer.join();
}

void PanelPoller::run(std::promise<QString> started)
{
    pthread_setname_np(pthread_self(), "panel-poller");
    // The session, and with it the driver object, lives and dies on this thread.
    DriverSession session(options.debug);
    QString error;
    if (!session.load(options.pluginPath, &error) || !session.connectTo(options.endpoint, &error)) {
        started.set_value(error);
        return;
    }
    started.set_value(QString());
    if (CDriveExtension *extension = driveExtension(session.driver())) {
        CDriveExtension::Why why;
        clockStatus = ClockOffset::measure(extension, &clockOffsetMs, &why);
        clockWhy = why.text.isEmpty() ? StatusText::meaning(clockStatus) : why.text;
    }
    PollLoop pollLoop(session.driver(), options.endpoint, TagList::specs(entries), options.poll);
    loop = &pollLoop;
    report(pollLoop, false);
    runWrites();
    pollLoop.run(*this, options.intervalMs);
    loop = nullptr;
    // Writes still queued are answered rather than left to time out.
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::shared_ptr<WriteJob> &job : writes) {
        CLabelVariable refused;
        refused.status = StatusNotConnected;
        job->done.set_value({refused, CDriveExtension::Why()});
    }
    writes.clear();
}

bool PanelPoller::beforeRead()
{
    bool writesWaiting = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return false;
        writesWaiting = !writes.empty();
    }
    if (writesWaiting)
        runWrites();
    return true;
}

void PanelPoller::runWrites()
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
        CDriveExtension::Why why;
        const CLabelVariable result = loop->write(job->index, job->value, job->count, &why);
        job->done.set_value({result, why});
    }
}

bool PanelPoller::wait(int ms)
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
        runWrites();
    }
}

bool PanelPoller::write(int index, const QVariant &value, int count, CLabelVariable *result,
                        int timeoutMs, CDriveExtension::Why *why)
{
    auto job = std::make_shared<WriteJob>();
    job->index = index;
    job->value = value;
    job->count = count;
    std::future<std::pair<CLabelVariable, CDriveExtension::Why>> done = job->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return false;
        writes.push_back(job);
    }
    wake.notify_all();
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        // A write still waiting its turn is taken back, so that "not carried
        // out" holds; one the poller has begun ends within the driver's own
        // waits and is waited for.
        std::lock_guard<std::mutex> lock(mutex);
        const auto queued = std::find(writes.begin(), writes.end(), job);
        if (queued != writes.end()) {
            writes.erase(queued);
            return false;
        }
    }
    const auto written = done.get();
    *result = written.first;
    if (why)
        *why = written.second;
    return true;
}

bool PanelPoller::report(const PollLoop &pollLoop, bool polled)
{
    auto state = std::make_shared<PanelJson::PollState>();
    state->poll = pollLoop.polls();
    state->time = QDateTime::currentDateTime();
    state->connected = pollLoop.link().connected();
    state->attempts = pollLoop.link().attempts();
    state->connectionText = pollLoop.link().stateText();
    state->downSince = pollLoop.link().downSince();
    state->stats = pollLoop.stats();
    state->clockKnown = clockStatus == StatusOk;
    state->clockOffsetMs = clockOffsetMs;
    state->clockWhy = clockWhy;
    // A copy of its own for the renderer: the loop goes on changing its states.
    state->tags = pollLoop.states();
    QVector<QVariant> trend;
    if (polled) {
        for (int i = 0; i < entries.size(); ++i) {
            const PollLoop::TagState &tag = state->tags[size_t(i)];
            if (entries.at(i).hasTrend())
                trend << (tag.status == StatusOk ? tag.lastGood.value : QVariant());
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Only polls make history rows; the first snapshot and reconnect
        // attempts only update the banner.
        if (polled)
            history.add(state->poll, state->time, trend);
        pending = std::move(state);
    }
    toRender.notify_one();
    return true;
}

void PanelPoller::render()
{
    pthread_setname_np(pthread_self(), "panel-render");
    runInBackground();
    quint64 sequence = 0;
    for (;;) {
        std::shared_ptr<const PanelJson::PollState> state;
        {
            std::unique_lock<std::mutex> lock(mutex);
            toRender.wait(lock, [this] { return stopping || pending; });
            if (stopping)
                return;
            state = std::move(pending);
            pending.reset();
        }
        auto snap = std::make_shared<PanelSnapshot>();
        snap->sequence = ++sequence;
        snap->json = document.render(*state, snap->sequence);
        snap->event = "data: " + snap->json + "\n\n";   // made once for every stream client
        {
            std::lock_guard<std::mutex> lock(mutex);
            latest = std::move(snap);
        }
        published.notify_all();
    }
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

std::string PanelPoller::historyCsv() const
{
    // A copy shares the rows, so the poller waits for no CSV being written.
    // The copy is let go under the lock too: once it is gone the poller adds
    // its next row in place, and Qt's check for sharing orders nothing, so
    // the lock is what puts this CSV's reads before that write.
    std::optional<PanelHistory> rows;
    {
        std::lock_guard<std::mutex> lock(mutex);
        rows.emplace(history);
    }
    const std::string csv = rows->csv();
    std::lock_guard<std::mutex> lock(mutex);
    rows.reset();
    return csv;
}
