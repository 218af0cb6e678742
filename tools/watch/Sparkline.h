#ifndef QUILLMARSH_SPARKLINE_H
#define QUILLMARSH_SPARKLINE_H

#include <QList>
#include <QString>

// A small trend of the last values of a numeric tag, one block character per
// value, scaled between the smallest and largest value shown.
class Sparkline
{
public:
    explicit Sparkline(int capacity);
    void add(double value);
    QString text() const;

private:
    int maxValues;
    QList<double> values;
};

#endif
