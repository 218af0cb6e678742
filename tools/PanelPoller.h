#ifndef QUILLMARSH_PANELPOLLER_H
#define QUILLMARSH_PANELPOLLER_H

#include <QDateTime>
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
#include "PanelSnapshot.h"
#include "RecordOutput.h"
#include "TagList.h"

class DriverSession;
class Reconnector;

// The panel's one thread that talks to the PLC. It owns the driver object
// (makes, connects, reads, writes and releases it), polls every tag, and
// publishes each poll as an immutable snapshot plus a history row. Other
// threads only read snapshots and hand in writes, which the poller carries
// out between polls.
class PanelPoller
{
public:
    struct Options
    {
        QString endpoint;
        QString pluginPath;
        bool debug = false;
        int intervalMs = 1000;
        int historyLength = 600;
        bool writable = false;   // told to the page, which then offers writes
    };

    PanelPoller(const QList<TagList::Entry> &entries, const Options &options);
    ~PanelPoller();
    PanelPoller(const PanelPoller &) = delete;
    PanelPoller &operator=(const PanelPoller &) = delete;

    // Starts the thread and waits (bounded) until it has loaded the plug-in
    // and connected; false with *error set when either failed.
    bool start(QString *error);
    // Ends polling and joins the thread, which releases the driver object.
    void stop();

    std::shared_ptr<const PanelSnapshot> snapshot() const;
    // The latest snapshot once it is newer than sequence, or after timeoutMs
    // (then possibly the same one); nullptr when stopping.
    std::shared_ptr<const PanelSnapshot> waitNewer(quint64 sequence, int timeoutMs) const;
    // Ends polling after the current poll and wakes every waitNewer() at
    // once, so that stream clients can be closed before stop() joins.
    void beginStop();
    std::string historyCsv() const;

    // Writes value (count elements) to the tag at index on the poller's
    // thread; false when no record came back within timeoutMs.
    bool write(int index, const QVariant &value, int count, CLabelVariable *result, int timeoutMs);

    bool hasTrend(int index) const;

private:
    struct TagState
    {
        CLabelVariable lastGood;
        int status = StatusNotDone;
        bool fresh = false;   // lastGood not yet in the document
        qint64 stampMs = 0;   // lastGood's time stamp
    };
    struct WriteJob
    {
        int index = 0;
        QVariant value;
        int count = 1;
        std::promise<CLabelVariable> done;
    };

    void run(std::promise<QString> started);
    void poll(DriverSession &session, Reconnector &link);
    void runWrites(DriverSession &session, Reconnector &link);
    // Waits up to ms, carrying out writes that come in meanwhile; false when stopping.
    bool pause(int ms, DriverSession &session, Reconnector &link);
    void publish(const Reconnector &link, bool polled);
    // A tag's entry in the document: what never changes, the rest null.
    RecordOutput::Json tagJson(int index) const;
    // Brings a tag's entry up to date with its state.
    void updateTagJson(RecordOutput::Json &entry, int index, qint64 nowMs);

    const QList<TagList::Entry> entries;
    const Options options;
    // Poller thread only: the tags' states and the /api/tags document they
    // are kept in, changed in place from poll to poll.
    QList<TagState> states;
    quint64 pollCount = 0;
    RecordOutput::Json document;
    qint64 stampCacheMs = -1;
    RecordOutput::Json stampCacheText;
    std::thread thread;

    mutable std::mutex mutex;   // guards everything below
    mutable std::condition_variable published;
    std::condition_variable wake;
    bool stopping = false;
    std::shared_ptr<const PanelSnapshot> latest;
    PanelHistory history;
    std::deque<std::shared_ptr<WriteJob>> writes;
};

#endif
