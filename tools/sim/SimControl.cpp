#include "SimControl.h"

#include "S7Address.h"
#include "SimFaultName.h"
#include "SimPlc.h"
#include "SimSet.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr int MaxGetBytes = 1024;
const char Help[] = "ok commands: fault MODE [ARG] | fault off | state [run|stop] | set ADDRESS[:TYPE] VALUE"
                    " | get ADDRESS [COUNT] | clients | help";

QString error(const QString &text)
{
    return QStringLiteral("error: ") + text;
}

} // namespace

SimControl::SimControl(SimPlc *target)
    : plc(target)
{
}

QString SimControl::execute(const QString &line) const
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString command = words.value(0).toLower();
    if (command == QLatin1String("fault"))
        return fault(words);
    if (command == QLatin1String("state"))
        return state(words);
    if (command == QLatin1String("set"))
        return set(line);
    if (command == QLatin1String("get"))
        return get(words);
    if (command == QLatin1String("clients") && words.size() == 1)
        return clients();
    if (command == QLatin1String("help") && words.size() == 1)
        return QLatin1String(Help);
    return error(QStringLiteral("unknown command '%1' (fault, state, set, get, clients, help)").arg(line.left(40)));
}

QString SimControl::fault(const QStringList &words) const
{
    if (words.size() < 2 || words.size() > 3)
        return error(QStringLiteral("fault MODE [ARG]"));
    SimPlc::Fault fault = SimPlc::Fault::None;
    int param = 0;
    QString why;
    if (!SimFaultName::parse(words.at(1), words.value(2), &fault, &param, &why))
        return error(why);
    plc->setFault(fault, param);
    return QStringLiteral("ok fault %1").arg(words.mid(1).join(QLatin1Char(' ')).toLower());
}

QString SimControl::state(const QStringList &words) const
{
    const QString wanted = words.value(1).toLower();
    if (words.size() > 2 || (words.size() == 2 && wanted != QLatin1String("run") && wanted != QLatin1String("stop")))
        return error(QStringLiteral("state [run|stop]"));
    if (words.size() == 2)
        plc->setCpuRunning(wanted == QLatin1String("run"));
    return QStringLiteral("ok state %1").arg(plc->cpuRunning() ? QStringLiteral("run") : QStringLiteral("stop"));
}

QString SimControl::set(const QString &line) const
{
    // The value is the rest of the line, so that a quoted text may hold blanks.
    static const QRegularExpression form(QStringLiteral("^\\s*\\S+\\s+(\\S+)\\s+(\\S.*?)\\s*$"));
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch())
        return error(QStringLiteral("set ADDRESS[:TYPE] VALUE"));
    QByteArray bytes;
    QString why;
    if (!SimSet::apply(plc, m.captured(1), m.captured(2), &bytes, &why))
        return error(why);
    return QStringLiteral("ok %1").arg(QString::fromLatin1(bytes.toHex(' ')));
}

QString SimControl::get(const QStringList &words) const
{
    S7Address address;
    QString why;
    if (words.size() < 2 || words.size() > 3 || !S7Address::parse(words.at(1), &address, &why))
        return error(why.isEmpty() ? QStringLiteral("get ADDRESS [COUNT]") : why);
    bool ok = true;
    const int count = words.size() == 3 ? words.at(2).toInt(&ok) : address.width;
    if (!ok || count < 1 || count > MaxGetBytes || (address.bit >= 0 && words.size() == 3))
        return error(QStringLiteral("COUNT is 1 to %1 bytes, and a bit takes none").arg(MaxGetBytes));
    const QByteArray bytes = plc->memory(SimPlc::Area(address.area), address.dbNumber, address.byte,
                                         address.bit >= 0 ? 1 : count);
    if (bytes.isEmpty())
        return error(QStringLiteral("%1 is outside the memory served").arg(words.at(1)));
    if (address.bit >= 0)
        return QStringLiteral("ok %1").arg((quint8(bytes.at(0)) >> address.bit) & 1);
    return QStringLiteral("ok %1").arg(QString::fromLatin1(bytes.toHex(' ')));
}

QString SimControl::clients() const
{
    const QStringList open = plc->clients();
    return QStringLiteral("ok %1%2").arg(open.size()).arg(open.isEmpty() ? QString()
                                                          : QLatin1Char(' ') + open.join(QLatin1Char(' ')));
}
