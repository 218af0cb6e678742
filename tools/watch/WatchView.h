#ifndef QUILLMARSH_WATCHVIEW_H
#define QUILLMARSH_WATCHVIEW_H

#include <QDateTime>
#include <QList>
#include <QStringList>

#include "CLabelVariable.h"
#include "PollLoop.h"
#include "Sparkline.h"
#include "TagList.h"

// What `watch` shows: per tag the last good value (a leaf of a data block
// decoded as its S7 type), the status of the latest read, the age of the
// value, for numeric scalars a trend, and for a failed read its cause and
// what to change; and the link's figures. Rendered as a table for a
// terminal or as one line per poll for a pipe.
class WatchView
{
public:
    explicit WatchView(const QList<TagList::Entry> &tags);
    // Takes the loop's state after a poll; a new good value extends the trend.
    void update(const std::vector<PollLoop::TagState> &states);
    QStringList table(int poll, const QDateTime &now) const;
    QString line(int poll, const QDateTime &now) const;
    // Shown after the poll number; empty while the PLC is connected.
    void setConnection(const QString &state) { connectionState = state; }
    // The link's figures, a line of their own.
    void setStats(const QString &text) { statsText = text; }
    QString stats() const { return QStringLiteral("link ") + statsText; }
    // True when the latest read of every tag succeeded.
    bool allOk() const;

private:
    static const int kTrendLength = 20;
    struct Entry
    {
        TagList::Entry tag;
        PollLoop::TagState state;
        Sparkline trend{kTrendLength};
        qint64 stampMs = 0;   // of the last good value
    };

    static QString age(const Entry &entry, qint64 nowMs);
    // "cause; what to change" of a failed read, or empty.
    static QString cause(const Entry &entry);
    static QString value(const Entry &entry);
    // The address, or for a leaf its symbol (or label).
    static QString name(const Entry &entry);

    QString pollText(int poll, const QDateTime &now) const;

    QList<Entry> entries;
    QString connectionState;
    QString statsText;
    // The tags of one merged job share their time stamp, whose conversion
    // to ms (through the local time zone) is the dear part of an age.
    QDateTime lastStamp;
    qint64 lastStampMs = 0;
};

#endif
