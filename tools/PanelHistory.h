#ifndef QUILLMARSH_PANELHISTORY_H
#define QUILLMARSH_PANELHISTORY_H

#include <QDateTime>
#include <QStringList>
#include <QVector>

#include <string>

// The values of the panel's trend tags over the latest polls: a ring of at
// most capacity rows, one per poll, written out as CSV. Not thread-safe: the
// poller guards it.
class PanelHistory
{
public:
    PanelHistory(const QStringList &titles, int capacity);

    // One poll; texts has one value text per title, empty where the read failed.
    void add(quint64 poll, const QDateTime &time, const QStringList &texts);
    int size() const { return rows.size(); }
    // "poll,time,TITLE…" and one line per poll, oldest first.
    std::string csv() const;

    // A CSV field, quoted when it holds a comma, a quote or a line break.
    static QString csvField(const QString &text);

private:
    struct Row
    {
        quint64 poll = 0;
        QDateTime time;
        QStringList texts;
    };

    QStringList columnTitles;
    int capacity;
    QVector<Row> rows;
    int oldest = 0;   // index of the oldest row once the ring is full
};

#endif
