#ifndef QUILLMARSH_POLLLOOP_H
#define QUILLMARSH_POLLLOOP_H

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

#include "CDriveExtension.h"
#include "CLabelVariable.h"
#include "LinkStats.h"
#include "ReadPlan.h"
#include "Reconnector.h"
#include "TagSpec.h"

class CDriveBaseClass;
class CommandLine;

// The polling that watch and panel share: every tag read once a poll, each
// tag's last good value and the cause of its latest failure kept, and a lost
// connection brought back by the reconnect policy. Where the plug-in offers
// its extension, a poll is one batch (readVariables: as few multi-item jobs
// as the granted PDU carries, in flight together up to the granted jobs);
// otherwise, or with batching off, the jobs of a ReadPlan (tags merged into
// reads of bytes, or each read alone). A merged job that fails is split into its tags' own
// reads, so each tag ends with the status its own read gives; a tag whose
// own read then fails is read alone until a read of it succeeds again. The
// host of the loop decides how to wait, what to do between reads (the panel
// runs writes there) and what to show after each poll or reconnect attempt.
// Runs on the thread that owns the driver object.
class PollLoop
{
public:
    // One tag as the loop left it.
    struct TagState
    {
        CLabelVariable lastGood;     // the latest good read
        int status = StatusNotDone;  // of the latest read
        quint64 goodReads = 0;       // counts good reads, so that new values are seen
        CDriveExtension::Why why;    // of the latest read; empty without the extension
    };

    class Host
    {
    public:
        virtual ~Host() = default;
        // Waits up to ms; false ends the loop.
        virtual bool wait(int ms) = 0;
        // Before each read; false ends the poll and the loop.
        virtual bool beforeRead() { return true; }
        // After each poll (polled) and each failed reconnect attempt (not
        // polled); false ends the loop.
        virtual bool report(const PollLoop &loop, bool polled) = 0;
    };

    struct Options
    {
        bool batch = true;   // through the extension, where the plug-in has it
        bool merge = true;
        int pduBytes = S7::MinimumPduLength;   // the PDU the PLC grants, where the extension does not tell it
    };
    // --no-batch, --no-merge and --pdu.
    static void addOptions(CommandLine *cl);
    // False after reporting a bad value.
    static bool takeOptions(const CommandLine &cl, Options *options);

    PollLoop(CDriveBaseClass *driver, const QString &endpoint, const QList<TagSpec> &tags, const Options &options);
    // Merging, at the smallest PDU.
    PollLoop(CDriveBaseClass *driver, const QString &endpoint, const QList<TagSpec> &tags);

    // Polls, then waits intervalMs, until the host ends it. Once the link is
    // lost it waits only the reconnect policy's time before each attempt.
    void run(Host &host, int intervalMs);

    // Writes count values to the tag at index, through the extension (one
    // job) where the plug-in has it; its status counts towards the link's state like
    // a read's. why (may be null) receives the cause of a failure.
    CLabelVariable write(int index, const QVariant &value, int count, CDriveExtension::Why *why = nullptr);
    // True when polls go as batches through the extension.
    bool batching() const { return batched; }

    const std::vector<TagState> &states() const { return tagStates; }
    const Reconnector &link() const { return reconnector; }
    // Polls completed, every tag read or the poll cut short by a lost link.
    quint64 polls() const { return pollCount; }
    const LinkStats &stats() const { return linkStats; }

private:
    // Reads every tag once; false when the host ended it.
    bool poll(Host &host);
    void readBatch();
    void readAlone(int index);
    // One read of bytes for the job's tags; false when the host ended it.
    bool readMerged(Host &host, const ReadPlan::Job &job);
    void store(int index, const CLabelVariable &record, const CDriveExtension::Why &why);
    // Counts one read asked of the plug-in, for bytes, that took ns.
    void count(qint64 bytes, qint64 ns);
    // The cause of the last ReadVariable or WriteVariable, where the extension tells it.
    CDriveExtension::Why jobWhy() const;

    CDriveBaseClass *driver;
    CDriveExtension *extension;   // the plug-in's, or nullptr
    bool batched;                 // polls go as batches through it
    QList<CDriveExtension::Tag> batchTags;
    QList<TagSpec> tags;
    ReadPlan plan;
    Reconnector reconnector;
    std::vector<TagState> tagStates;
    QVector<int> tagBytes;        // the data bytes of each tag's own read
    qint64 batchBytes = 0;        // and of all of them
    quint64 pollCount = 0;
    LinkStats linkStats;
    LinkStats::Poll current;      // the poll under way
    QElapsedTimer sinceStart;     // the monotonic clock of poll starts
};

#endif
