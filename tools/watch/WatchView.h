#ifndef QUILLMARSH_WATCHVIEW_H
#define QUILLMARSH_WATCHVIEW_H

#include <QDateTime>
#include <QList>
#include <QStringList>

#include "CLabelVariable.h"
#include "PollLoop.h"
#include "Sparkline.h"
#include "TagSpec.h"

// What `watch` shows: per tag the last good value, the status of the latest
// read, the age of the value and, for numeric scalars, a trend. Rendered as a
// table for a terminal or as one line per poll for a pipe.
class WatchView
{
public:
    explicit WatchView(const QList<TagSpec> &tags);
    // Takes the loop's state after a poll; a new good value extends the trend.
    void update(const std::vector<PollLoop::TagState> &states);
    QStringList table(int poll, const QDateTime &now) const;
    QString line(int poll, const QDateTime &now) const;
    // Shown after the poll number; empty while the PLC is connected.
    void setConnection(const QString &state) { connectionState = state; }
    // True when the latest read of every tag succeeded.
    bool allOk() const;

private:
    static const int kTrendLength = 20;
    struct Entry
    {
        TagSpec tag;
        PollLoop::TagState state;
        Sparkline trend{kTrendLength};
    };

    static QString age(const Entry &entry, const QDateTime &now);
    QString value(const Entry &entry) const;

    QString pollText(int poll, const QDateTime &now) const;

    QList<Entry> entries;
    QString connectionState;
};

#endif
