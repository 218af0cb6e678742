#ifndef QUILLMARSH_PANELPOLLER_H
#define QUILLMARSH_PANELPOLLER_H

#include <QList>
#include <QString>
#include <QVariant>

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "CLabelVariable.h"
#include "PanelHistory.h"
#include "PanelJson.h"
#include "PanelSnapshot.h"
#include "PollLoop.h"
#include "TagList.h"

// The panel's one thread that talks to the PLC. It owns the driver object
// (makes, connects, reads, writes and releases it), polls every tag, keeps
// a history row per poll, and hands the state after each poll to a second
// thread that renders it into the immutable snapshot the HTTP side reads.
// So the polling never waits for JSON; when polls come faster than they can
// be rendered, the renderer takes the latest one. Other threads only read
// snapshots and hand in writes, which the poller carries out between polls.
class PanelPoller : private PollLoop::Host
{
public:
    // The renderer and the HTTP threads run this much nicer than the poller:
    // on a busy machine polling goes first, and pages see a poll a little later.
    static constexpr int kBackgroundNice = 10;
    // Makes the calling thread, and only it, nicer by kBackgroundNice.
    static void runInBackground();

    struct Options
    {
        QString endpoint;
        QString pluginPath;
        bool debug = false;
        int intervalMs = 1000;
        int historyLength = 600;
        bool writable = false;   // told to the page, which then offers writes
        PollLoop::Options poll;  // merging and the PDU
    };

    PanelPoller(const QList<TagList::Entry> &entries, const Options &options);
    ~PanelPoller();
    PanelPoller(const PanelPoller &) = delete;
    PanelPoller &operator=(const PanelPoller &) = delete;

    // Starts the threads and waits (bounded) until the poller has loaded the
    // plug-in and connected; false with *error set when either failed.
    bool start(QString *error);
    // Ends polling after the current poll and wakes every waitNewer() at
    // once, so that stream clients can be closed before stop() joins.
    void beginStop();
    // Ends polling and joins the threads; the poller releases the driver object.
    void stop();

    std::shared_ptr<const PanelSnapshot> snapshot() const;
    // The latest snapshot once it is newer than sequence, or after timeoutMs
    // (then possibly the same one); nullptr when stopping.
    std::shared_ptr<const PanelSnapshot> waitNewer(quint64 sequence, int timeoutMs) const;
    std::string historyCsv() const;

    // Writes value (count elements) to the tag at index on the poller's
    // thread; false when it was not begun within timeoutMs (and never will be).
    // why (may be null) receives the cause of a failed write.
    bool write(int index, const QVariant &value, int count, CLabelVariable *result, int timeoutMs,
               CDriveExtension::Why *why = nullptr);

private:
    struct WriteJob
    {
        int index = 0;
        QVariant value;
        int count = 1;
        std::promise<std::pair<CLabelVariable, CDriveExtension::Why>> done;
    };

    void run(std::promise<QString> started);
    void render();
    void runWrites();
    // Waits up to ms, carrying out writes that come in meanwhile; false when stopping.
    bool wait(int ms) override;
    // Writes and a stop do not wait for the whole poll.
    bool beforeRead() override;
    // Hands a copy of the loop's state to the renderer; a poll also makes a
    // history row.
    bool report(const PollLoop &loop, bool polled) override;

    const QList<TagList::Entry> entries;
    const Options options;
    PollLoop *loop = nullptr;   // poller thread only, while it runs
    // The PLC's clock against this machine's, read once after connecting
    // (poller thread only).
    int clockStatus = StatusNotDone;
    qint64 clockOffsetMs = 0;
    QString clockWhy;
    PanelJson document;         // renderer thread only
    std::thread poller;
    std::thread renderer;

    mutable std::mutex mutex;   // guards everything below
    mutable std::condition_variable published;
    std::condition_variable wake;        // the poller's: writes or stop
    std::condition_variable toRender;    // the renderer's: a state or stop
    bool stopping = false;
    std::shared_ptr<const PanelJson::PollState> pending;
    std::shared_ptr<const PanelSnapshot> latest;
    PanelHistory history;
    std::deque<std::shared_ptr<WriteJob>> writes;
};

#endif
