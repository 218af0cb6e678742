#ifndef QUILLMARSH_GOALTABLE_H
#define QUILLMARSH_GOALTABLE_H

#include <QRegularExpression>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class Measurements;

// One goal: a figure that a regression would move, and the bound it must
// keep. measure() gives the figure, or nothing when it cannot be measured.
struct Goal
{
    enum Bound { AtMost, AtLeast };

    QString name;
    QString unit;
    Bound bound;
    double limit;
    std::function<std::optional<double>()> measure;

    bool keptBy(double figure) const { return bound == AtMost ? figure <= limit : figure >= limit; }
};

// The benchmark's goals: every row is measured, printed against its bound
// with PASS or MISS, and judged.
class GoalTable
{
public:
    explicit GoalTable(Measurements &measurements);

    // The goals whose names match selection, one line each: 0 when all are
    // kept, 1 when one is missed, 2 when one could not be measured.
    int run(const QRegularExpression &selection) const;
    // The goals and their bounds, measuring nothing.
    void list() const;

private:
    Measurements &measurements;
    std::vector<Goal> goals;
};

#endif
