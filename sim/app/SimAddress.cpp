#include "SimAddress.h"

#include "SimPlc.h"

#include <QRegularExpression>

namespace {

constexpr int MaxByte = 65535;
constexpr int MaxBit = 7;
constexpr int MaxTimerCounter = 65535 / 2;
constexpr int TimerCounterBytes = 2;

int widthOf(const QString &letter)
{
    if (letter == QLatin1String("W"))
        return 2;
    if (letter == QLatin1String("D"))
        return 4;
    return 1;
}

} // namespace

bool SimAddress::parse(const QString &text, SimAddress *address, QString *error)
{
    // Captures: area or block number, width letter, byte, bit.
    static const QRegularExpression areaForm(QStringLiteral("^([IQM])([BWDX]?)(\\d{1,5})(?:\\.(\\d))?$"));
    static const QRegularExpression blockForm(QStringLiteral("^DB(\\d{1,5})\\.DB([BWDX])(\\d{1,5})(?:\\.(\\d))?$"));
    static const QRegularExpression timerForm(QStringLiteral("^([TC])(\\d{1,5})$"));
    const QString upper = text.trimmed().toUpper();
    SimAddress result;

    QRegularExpressionMatch match = timerForm.match(upper);
    if (match.hasMatch()) {
        const int number = match.captured(2).toInt();
        if (number > MaxTimerCounter) {
            *error = QStringLiteral("'%1': timers and counters go up to %2").arg(text).arg(MaxTimerCounter);
            return false;
        }
        result.area = match.captured(1) == QLatin1String("T") ? SimPlc::AreaTimers : SimPlc::AreaCounters;
        result.byte = number * TimerCounterBytes;
        result.width = TimerCounterBytes;
        result.widthGiven = true;
        *address = result;
        return true;
    }
    match = blockForm.match(upper);
    if (match.hasMatch()) {
        result.area = SimPlc::AreaDataBlocks;
        result.dbNumber = match.captured(1).toInt();
    } else if ((match = areaForm.match(upper)).hasMatch()) {
        const QString area = match.captured(1);
        result.area = area == QLatin1String("I") ? SimPlc::AreaInputs
                    : area == QLatin1String("Q") ? SimPlc::AreaOutputs : SimPlc::AreaMarkers;
    } else {
        *error = QStringLiteral("'%1' is not an address (M10, MW10, I0.3, DB1.DBW0, DB1.DBX4.1, T5, C3)").arg(text);
        return false;
    }
    const QString letter = match.captured(2);
    result.byte = match.captured(3).toInt();
    result.bit = match.captured(4).isEmpty() ? -1 : match.captured(4).toInt();
    result.width = widthOf(letter);
    result.widthGiven = !letter.isEmpty();
    if (result.byte > MaxByte || (result.area == SimPlc::AreaDataBlocks && result.dbNumber == 0)
        || result.dbNumber > MaxByte) {
        *error = QStringLiteral("'%1': blocks go from 1 to %2, bytes up to %2").arg(text).arg(MaxByte);
        return false;
    }
    const bool bitLetter = letter == QLatin1String("X");
    if (result.bit > MaxBit || (bitLetter && result.bit < 0) || (result.bit >= 0 && !bitLetter && !letter.isEmpty())) {
        *error = QStringLiteral("'%1': a bit (0 to 7) goes with X or with no width letter").arg(text);
        return false;
    }
    *address = result;
    return true;
}
