#ifndef QUILLMARSH_PANELHISTORY_H
#define QUILLMARSH_PANELHISTORY_H

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <string>

#include "DataType.h"

// The values of the panel's trend tags over the latest polls: a ring of at
// most capacity rows, one per poll, written out as CSV. Rows keep the
// values as read; their texts are made only when the CSV is asked for. Not
// thread-safe: the poller guards it.
class PanelHistory
{
public:
    PanelHistory(const QStringList &titles, const QVector<DataType> &types, int capacity);

    // One poll; values has one value per title, an invalid one where the read failed.
    void add(quint64 poll, const QDateTime &time, const QVector<QVariant> &values);
    // "poll,time,TITLE…" and one line per poll, oldest first.
    std::string csv() const;

    // A CSV field, quoted when it holds a comma, a quote or a line break.
    static QString csvField(const QString &text);

private:
    struct Row
    {
        quint64 poll = 0;
        QDateTime time;
        QVector<QVariant> values;
    };

    QStringList columnTitles;
    QVector<DataType> columnTypes;
    int capacity;
    QVector<Row> rows;
    int oldest = 0;   // index of the oldest row once the ring is full
};

#endif
