#include "PanelHistory.h"

#include "RecordOutput.h"
#include "ValueFormatter.h"

PanelHistory::PanelHistory(const QStringList &titles, const QVector<DataType> &types, int rowCapacity)
    : columnTitles(titles), columnTypes(types), capacity(rowCapacity)
{
    rows.reserve(capacity);
}

void PanelHistory::add(quint64 poll, const QDateTime &time, const QVector<QVariant> &values)
{
    Row row{poll, time, values};
    if (rows.size() < capacity) {
        rows.append(row);
        return;
    }
    rows[oldest] = row;
    oldest = (oldest + 1) % capacity;
}

std::string PanelHistory::csv() const
{
    QStringList header{QStringLiteral("poll"), QStringLiteral("time")};
    for (const QString &t : columnTitles)
        header << csvField(t);
    QString out = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (int i = 0; i < rows.size(); ++i) {
        const Row &row = rows.at((oldest + i) % rows.size());
        QStringList fields{QString::number(row.poll), RecordOutput::timeText(row.time)};
        for (int c = 0; c < row.values.size() && c < columnTypes.size(); ++c)
            fields << csvField(ValueFormatter::joined(row.values.at(c), columnTypes.at(c), 1));
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return RecordOutput::utf8(out);
}

QString PanelHistory::csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
