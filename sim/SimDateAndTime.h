#ifndef QUILLMARSH_SIMDATEANDTIME_H
#define QUILLMARSH_SIMDATEANDTIME_H

#include <QByteArray>
#include <QDateTime>

// S7 DATE_AND_TIME, the simulator's one codec for it: BCD year (two digits,
// 90 to 99 meaning 1990 to 1999, 00 to 89 meaning 2000 to 2089), month, day,
// hour, minute, second, the first two digits of the milliseconds, then the
// last digit and the weekday (1 = Sunday).
class SimDateAndTime
{
public:
    static constexpr int Size = 8;

    static QByteArray encode(const QDateTime &time);
    // False when bytes is not a valid date and time; the weekday is not checked.
    static bool decode(const QByteArray &bytes, QDateTime *time);
};

#endif
