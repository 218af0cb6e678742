#include "SimSettings.h"

#include "SimCpuProfile.h"
#include "SimPlc.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

// The low byte of a called TSAP holds rack * 32 + slot.
constexpr int MaxRack = 7;
constexpr int MaxSlot = 31;
constexpr int MaxPasswordCharacters = 8;
constexpr int FirstClockYear = 1990; // DATE_AND_TIME's two-digit years
constexpr int LastClockYear = 2089;

struct Unit
{
    const char *name;
    qint64 ms;
};
// Largest first, for offsetText.
constexpr Unit Units[] = {{"d", 86400000}, {"h", 3600000}, {"m", 60000}, {"s", 1000}, {"ms", 1}};

const SimCpuProfile &profileOf(const SimPlc *plc)
{
    return *SimCpuProfile::find(plc->cpu());
}

bool inRange(const QString &text, int max, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= 0 && *value <= max;
}

// "02.00": the TSAP's two bytes in hex.
bool parseTsap(const QString &text, quint16 *tsap)
{
    static const QRegularExpression form(QStringLiteral("^([0-9a-fA-F]{2})\\.([0-9a-fA-F]{2})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (m.hasMatch())
        *tsap = quint16(m.captured(1).toUInt(nullptr, 16) << 8 | m.captured(2).toUInt(nullptr, 16));
    return m.hasMatch();
}

bool parseOffset(const QString &text, qint64 *ms)
{
    static const QRegularExpression form(QStringLiteral("^([+-]?)(\\d{1,9})(ms|s|m|h|d)?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed().toLower());
    if (!m.hasMatch())
        return false;
    const QString unit = m.captured(3).isEmpty() ? QStringLiteral("s") : m.captured(3);
    for (const Unit &u : Units) {
        if (unit == QLatin1String(u.name))
            *ms = m.captured(2).toLongLong() * u.ms * (m.captured(1) == QLatin1String("-") ? -1 : 1);
    }
    return true;
}

} // namespace

bool SimSettings::setRackSlot(SimPlc *plc, const QString &rack, const QString &slot, QString *error)
{
    const SimCpuProfile &cpu = profileOf(plc);
    if (cpu.tsaps.calledTsap != 0) {
        *error = QStringLiteral("the %1 is reached at the TSAPs of its configured connection, not by rack and slot "
                                "(--tsap)").arg(QLatin1String(cpu.name));
        return false;
    }
    int rackNumber = cpu.tsaps.rack;
    int slotNumber = cpu.tsaps.firstSlot;
    if ((!rack.isEmpty() && !inRange(rack, MaxRack, &rackNumber))
        || (!slot.isEmpty() && !inRange(slot, MaxSlot, &slotNumber))) {
        *error = QStringLiteral("rack is 0 to %1 and slot 0 to %2").arg(MaxRack).arg(MaxSlot);
        return false;
    }
    plc->setRackSlot(rackNumber, slotNumber);
    return true;
}

bool SimSettings::setTsaps(SimPlc *plc, const QString &pair, QString *error)
{
    const SimCpuProfile &cpu = profileOf(plc);
    quint16 local = 0;
    quint16 remote = 0;
    if (cpu.tsaps.calledTsap == 0)
        *error = QStringLiteral("the %1 is reached by rack and slot (--rack, --slot); TSAPs are a LOGO!'s")
                     .arg(QLatin1String(cpu.name));
    else if (!parseTsap(pair.section(QLatin1Char(':'), 0, 0), &local)
             || !parseTsap(pair.section(QLatin1Char(':'), 1), &remote))
        *error = QStringLiteral("TSAPs are LOCAL:REMOTE, each two hex bytes with a dot (02.00:03.00), not '%1'")
                     .arg(pair);
    else
        plc->setTsaps(remote, local);
    return error->isEmpty();
}

bool SimSettings::setPutGet(SimPlc *plc, const QString &text, QString *error)
{
    const QString wanted = text.toLower();
    if (wanted != QLatin1String("on") && wanted != QLatin1String("off"))
        *error = QStringLiteral("PUT/GET access is on or off, not '%1'").arg(text);
    else if (!plc->setPutGet(wanted == QLatin1String("on")))
        *error = QStringLiteral("the %1 has no PUT/GET switch (an S7-1200 or S7-1500 has)").arg(plc->cpu());
    return error->isEmpty();
}

bool SimSettings::setProtection(SimPlc *plc, const QString &level, const QString &password, QString *error)
{
    const int highest = profileOf(plc).protectionLevels;
    int number = 0;
    if (!inRange(level, highest, &number) || number < 1)
        *error = QStringLiteral("the %1's protection levels are 1 to %2, not '%3'")
                     .arg(plc->cpu()).arg(highest).arg(level);
    else if (number == 1 && !password.isEmpty())
        *error = QStringLiteral("protection level 1 is none and takes no password");
    else if (number > 1 && (password.isEmpty() || password.size() > MaxPasswordCharacters
                            || QString::fromLatin1(password.toLatin1()) != password))
        *error = QStringLiteral("protection level %1 needs a password of 1 to %2 Latin-1 characters")
                     .arg(number).arg(MaxPasswordCharacters);
    else
        plc->setProtection(number, password);
    return error->isEmpty();
}

bool SimSettings::setClockOffset(SimPlc *plc, const QString &text, QString *error)
{
    qint64 ms = 0;
    if (!parseOffset(text, &ms)) {
        *error = QStringLiteral("a clock offset is [+|-]N with unit ms, s, m, h or d (-90m, 2d), not '%1'").arg(text);
        return false;
    }
    const int year = QDateTime::currentDateTime().addMSecs(ms).date().year();
    if (year < FirstClockYear || year > LastClockYear) {
        *error = QStringLiteral("an offset of %1 puts the CPU's clock outside the years %2 to %3 it keeps")
                     .arg(text).arg(FirstClockYear).arg(LastClockYear);
        return false;
    }
    plc->setClockOffset(ms);
    return true;
}

QString SimSettings::offsetText(qint64 ms)
{
    if (ms == 0)
        return QStringLiteral("0s");
    const Unit *unit = Units;
    while (ms % unit->ms != 0)
        ++unit; // the last, 1 ms, holds every offset whole
    return QStringLiteral("%1%2%3").arg(QLatin1Char(ms < 0 ? '-' : '+')).arg(qAbs(ms) / unit->ms)
        .arg(QLatin1String(unit->name));
}
