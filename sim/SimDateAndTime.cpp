#include "SimDateAndTime.h"

namespace {

constexpr int CenturyPivot = 90; // two-digit years from here on are 19xx

char bcd(int value)
{
    return char(((value / 10) % 10) << 4 | (value % 10));
}

// -1 when the byte is not two BCD digits.
int fromBcd(quint8 byte)
{
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

} // namespace

QByteArray SimDateAndTime::encode(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    QByteArray bytes;
    bytes.append(bcd(date.year() % 100)).append(bcd(date.month())).append(bcd(date.day()));
    bytes.append(bcd(clock.hour())).append(bcd(clock.minute())).append(bcd(clock.second()));
    bytes.append(bcd(clock.msec() / 10));
    bytes.append(char((clock.msec() % 10) << 4 | (date.dayOfWeek() % 7 + 1)));
    return bytes;
}

bool SimDateAndTime::decode(const QByteArray &bytes, QDateTime *time)
{
    if (bytes.size() != Size)
        return false;
    int digits[7];
    for (int i = 0; i < 7; ++i) {
        digits[i] = fromBcd(quint8(bytes.at(i)));
        if (digits[i] < 0)
            return false;
    }
    const int millisecondDigit = quint8(bytes.at(7)) >> 4;
    const int year = digits[0] + (digits[0] >= CenturyPivot ? 1900 : 2000);
    const QDate date(year, digits[1], digits[2]);
    const QTime clock(digits[3], digits[4], digits[5], digits[6] * 10 + millisecondDigit);
    if (!date.isValid() || !clock.isValid() || millisecondDigit > 9)
        return false;
    *time = QDateTime(date, clock);
    return true;
}
