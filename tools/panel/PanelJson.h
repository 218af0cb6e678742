#ifndef QUILLMARSH_PANELJSON_H
#define QUILLMARSH_PANELJSON_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVector>

#include <string>
#include <vector>

#include "CLabelVariable.h"
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
        std::vector<PollLoop::TagState> tags;
    };

    PanelJson(const QList<TagList::Entry> &entries, const QString &endpoint, bool writable,
                  int intervalMs, int historyLength);

    // The document for state as one line of JSON; sequence numbers it.
    std::string render(const PollState &state, quint64 sequence);

    // Numeric scalar tags get a trend and a history column.

private:
    void update(RecordOutput::Json &entry, int index, const PollLoop::TagState &state, qint64 nowMs);

    const QList<TagList::Entry> entries;
    RecordOutput::Json document;
    QVector<quint64> renderedReads;   // goodReads of each tag as last rendered
    QVector<qint64> stampMs;          // time stamp of each tag's rendered value
    qint64 stampCacheMs = -1;         // tags read in the same millisecond share
    RecordOutput::Json stampCacheText;  // one time stamp text
};

#endif
