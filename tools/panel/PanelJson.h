#ifndef QUILLMARSH_PANELJSON_H
#define QUILLMARSH_PANELJSON_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVector>

#include <string>
#include <vector>

#include "CLabelVariable.h"
#include "LinkStats.h"
#include "PollLoop.h"
#include "RecordOutput.h"
#include "TagList.h"

// The panel's /api/tags document, rendered from the state after each poll.
// It is kept between renderings and changed in place, so a tag's texts are
// made only when the tag got a new value, not for every poll of an
// unchanged one. Used by one thread at a time.
class PanelJson
{
public:
    // Everything a rendering needs: the connection and every tag.
    struct PollState
    {
        quint64 poll = 0;
        QDateTime time;
        bool connected = true;
        int attempts = 0;
        QString connectionText;
        QDateTime downSince;     // invalid while connected
        std::vector<PollLoop::TagState> tags;
        LinkStats stats;
        // The PLC's clock against this machine's, read once after connecting.
        bool clockKnown = false;
        qint64 clockOffsetMs = 0;
        QString clockWhy;        // why it is not known
    };

    PanelJson(const QList<TagList::Entry> &entries, const QString &endpoint, bool writable,
                  int intervalMs, int historyLength);

    // The document for state as one line of JSON; sequence numbers it.
    std::string render(const PollState &state, quint64 sequence);

    // Numeric scalar tags get a trend and a history column.

    // Sets "why" and "remedy" of a record's object: the cause of its failure
    // and what to change, each null when there is none.
    static void setCause(RecordOutput::Json &o, const CDriveExtension::Why &why, int status);

private:
    void update(RecordOutput::Json &entry, int index, const PollLoop::TagState &state, qint64 nowMs);
    static RecordOutput::Json stats(const PollState &state);

    const QList<TagList::Entry> entries;
    RecordOutput::Json document;
    QVector<quint64> renderedReads;   // goodReads of each tag as last rendered
    QVector<qint64> stampMs;          // time stamp of each tag's rendered value
    qint64 stampCacheMs = -1;         // tags read in the same millisecond share
    RecordOutput::Json stampCacheText;  // one time stamp text
};

#endif
