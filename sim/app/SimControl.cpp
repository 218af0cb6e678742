#include "SimControl.h"

#include "SimAddress.h"
#include "SimFaultName.h"
#include "SimPlc.h"
#include "SimValueType.h"

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

// The type a width letter implies when none is named: bytes and words as
// they are written (signed or not), double words as integers or, when the
// value is not an integer (1.5, 1e3, inf), as REAL.
SimValueType typeForWidth(const SimAddress &address, const QString &value)
{
    static const QRegularExpression integer(QStringLiteral("^(-?\\d+|0[xX][0-9a-fA-F]+)$"));
    SimValueType type;
    const bool negative = value.trimmed().startsWith(QLatin1Char('-'));
    QString name = negative ? QStringLiteral("int8") : QStringLiteral("uint8");
    if (address.bit >= 0)
        name = QStringLiteral("bool");
    else if (address.width == 2)
        name = negative ? QStringLiteral("int16") : QStringLiteral("uint16");
    else if (address.width == 4 && !integer.match(value.trimmed()).hasMatch())
        name = QStringLiteral("float");
    else if (address.width == 4)
        name = negative ? QStringLiteral("int32") : QStringLiteral("uint32");
    SimValueType::parse(name, &type);
    return type;
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
        return set(words);
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

QString SimControl::set(const QStringList &words) const
{
    if (words.size() != 3)
        return error(QStringLiteral("set ADDRESS[:TYPE] VALUE"));
    const QStringList target = words.at(1).split(QLatin1Char(':'));
    SimAddress address;
    QString why;
    if (target.size() > 2 || !SimAddress::parse(target.at(0), &address, &why))
        return error(why.isEmpty() ? QStringLiteral("set ADDRESS[:TYPE] VALUE") : why);
    SimValueType type = typeForWidth(address, words.at(2));
    if (target.size() == 2 && !SimValueType::parse(target.at(1), &type))
        return error(QStringLiteral("unknown type '%1' (%2)").arg(target.at(1), SimValueType::names()));
    if ((type.kind() == SimValueType::Bool) != (address.bit >= 0))
        return error(QStringLiteral("a bool goes to a bit address and a bit address takes a bool"));
    QByteArray bytes;
    if (!type.encodeText(words.at(2), &bytes))
        return error(QStringLiteral("'%1' is not a %2 value").arg(words.at(2), type.name()));
    const SimPlc::Area area = SimPlc::Area(address.area);
    const bool written = address.bit >= 0 ? plc->setBit(area, address.dbNumber, address.byte, address.bit, bytes.at(0))
                                          : plc->setMemory(area, address.dbNumber, address.byte, bytes);
    if (!written)
        return error(QStringLiteral("%1 is outside the memory served").arg(target.at(0)));
    return QStringLiteral("ok %1").arg(QString::fromLatin1(bytes.toHex(' ')));
}

QString SimControl::get(const QStringList &words) const
{
    SimAddress address;
    QString why;
    if (words.size() < 2 || words.size() > 3 || !SimAddress::parse(words.at(1), &address, &why))
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
