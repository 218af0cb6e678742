#ifndef QUILLMARSH_TABLEPRINTER_H
#define QUILLMARSH_TABLEPRINTER_H

#include <QList>
#include <QStringList>

// A plain-text table: a header line, a rule, and one line per row, with
// every column as wide as its widest cell.
class TablePrinter
{
public:
    explicit TablePrinter(const QStringList &headers);
    void addRow(const QStringList &cells);
    QStringList lines() const;

private:
    QString line(const QStringList &cells, const QList<int> &widths) const;

    QStringList columnHeaders;
    QList<QStringList> rows;
};

#endif
