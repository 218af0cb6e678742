#include "TablePrinter.h"

namespace {
const int kColumnGap = 2;
}

TablePrinter::TablePrinter(const QStringList &headers) : columnHeaders(headers) {}

void TablePrinter::addRow(const QStringList &cells)
{
    rows.append(cells);
}

QStringList TablePrinter::lines() const
{
    QList<int> widths;
    for (const QString &h : columnHeaders)
        widths << h.size();
    for (const QStringList &row : rows) {
        for (int c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = qMax(widths[c], row.at(c).size());
    }
    QStringList out;
    out << line(columnHeaders, widths);
    QStringList rule;
    for (int w : widths)
        rule << QString(w, QLatin1Char('-'));
    out << line(rule, widths);
    for (const QStringList &row : rows)
        out << line(row, widths);
    return out;
}

QString TablePrinter::line(const QStringList &cells, const QList<int> &widths) const
{
    QString text;
    for (int c = 0; c < widths.size(); ++c) {
        const QString cell = c < cells.size() ? cells.at(c) : QString();
        if (c + 1 < widths.size())
            text += cell.leftJustified(widths.at(c) + kColumnGap);
        else
            text += cell;
    }
    // An empty last cell would otherwise leave the padding of the one before.
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}
