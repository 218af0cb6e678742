#include "S7Address.h"

#include <QRegularExpression>

namespace {

constexpr int MaxBit = 7;
constexpr int TimerCounterBytes = 2;
constexpr int MaxTimerCounter = S7::MaxByteAddress / TimerCounterBytes;

int widthOf(const QString &letter)
{
    if (letter == QLatin1String("W"))
        return 2;
    if (letter == QLatin1String("D"))
        return 4;
    return 1;
}

QChar widthLetter(int width)
{
    switch (width) {
    case 2: return QLatin1Char('W');
    case 4: return QLatin1Char('D');
    default: return QLatin1Char('B');
    }
}

int areaOf(const QString &letter)
{
    if (letter == QLatin1String("I"))
        return S7::AreaInputs;
    if (letter == QLatin1String("Q"))
        return S7::AreaOutputs;
    return letter == QLatin1String("M") ? S7::AreaMarkers : S7::AreaDataBlocks;
}

bool parseTimerCounter(const QRegularExpressionMatch &match, const QString &text, S7Address *address,
                       QString *error)
{
    const int number = match.captured(2).toInt();
    if (number > MaxTimerCounter) {
        *error = QStringLiteral("'%1': timers and counters go up to %2").arg(text).arg(MaxTimerCounter);
        return false;
    }
    S7Address result;
    result.area = match.captured(1) == QLatin1String("T") ? S7::AreaTimers : S7::AreaCounters;
    result.byte = number * TimerCounterBytes;
    result.width = TimerCounterBytes;
    result.widthGiven = true;
    *address = result;
    return true;
}

} // namespace

bool S7Address::parse(const QString &text, S7Address *address, QString *error)
{
    // Captures: area or block number, width letter, byte, bit.
    static const QRegularExpression areaForm(QStringLiteral("^([IQMV])([BWDX]?)(\\d{1,5})(?:\\.(\\d))?$"));
    static const QRegularExpression blockForm(QStringLiteral("^DB(\\d{1,5})\\.DB([BWDX])(\\d{1,5})(?:\\.(\\d))?$"));
    static const QRegularExpression timerForm(QStringLiteral("^([TC])(\\d{1,5})$"));
    const QString upper = text.toUpper();
    QRegularExpressionMatch match = timerForm.match(upper);
    if (match.hasMatch())
        return parseTimerCounter(match, text, address, error);
    S7Address result;
    if ((match = blockForm.match(upper)).hasMatch()) {
        result.area = S7::AreaDataBlocks;
        result.dbNumber = match.captured(1).toInt();
    } else if ((match = areaForm.match(upper)).hasMatch()) {
        result.area = areaOf(match.captured(1));
        result.dbNumber = result.area == S7::AreaDataBlocks ? S7::DefaultDataBlock : 0;
    } else {
        *error = QStringLiteral("'%1' is not an address (M10, MW10, I0.3, DB1.DBW0, DB1.DBX4.1, T5, C3)").arg(text);
        return false;
    }
    const QString letter = match.captured(2);
    result.byte = match.captured(3).toInt();
    result.bit = match.captured(4).isEmpty() ? -1 : match.captured(4).toInt();
    result.width = widthOf(letter);
    result.widthGiven = !letter.isEmpty();
    if (result.byte > S7::MaxByteAddress || (result.area == S7::AreaDataBlocks && result.dbNumber == 0)
        || result.dbNumber > S7::MaxDataBlock) {
        *error = QStringLiteral("'%1': blocks go from 1 to %2, bytes up to %3")
                     .arg(text).arg(S7::MaxDataBlock).arg(S7::MaxByteAddress);
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

QString S7Address::text() const
{
    const QString bitText = bit >= 0 ? QStringLiteral(".%1").arg(bit) : QString();
    switch (area) {
    case S7::AreaInputs: return QStringLiteral("I%1").arg(byte) + bitText;
    case S7::AreaOutputs: return QStringLiteral("Q%1").arg(byte) + bitText;
    case S7::AreaMarkers: return QStringLiteral("M%1").arg(byte) + bitText;
    case S7::AreaDataBlocks:
        return bit >= 0 ? QStringLiteral("DB%1.DBX%2").arg(dbNumber).arg(byte) + bitText
                        : QStringLiteral("DB%1.DB%2%3").arg(dbNumber).arg(widthLetter(width)).arg(byte);
    default: return QString();
    }
}
