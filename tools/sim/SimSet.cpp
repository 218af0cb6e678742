#include "SimSet.h"

#include <QStringList>

#include "S7Address.h"
#include "S7Codec.h"
#include "S7NumberCodec.h"
#include "S7Type.h"
#include "SimPlc.h"

namespace {

S7Type typeFor(const S7Address &address, const QString &value)
{
    const int hash = value.indexOf(QLatin1Char('#'));
    const S7Type named = hash > 0 ? S7Type::fromName(value.left(hash).trimmed()) : S7Type();
    if (named.isValid())
        return named;
    bool negative = false;
    const bool whole = S7NumberCodec::isWhole(value, &negative);
    if (address.bit >= 0)
        return S7Type(S7Type::Bool);
    switch (address.width) {
    case 2: return S7Type(negative ? S7Type::Int : S7Type::UInt);
    case 4: return S7Type(!whole ? S7Type::Real : negative ? S7Type::DInt : S7Type::UDInt);
    default: return S7Type(negative ? S7Type::SInt : S7Type::USInt);
    }
}

} // namespace

bool SimSet::apply(SimPlc *plc, const QString &target, const QString &value, QByteArray *written, QString *error)
{
    const int colon = target.indexOf(QLatin1Char(':'));
    const QString place = colon < 0 ? target : target.left(colon);
    S7Address address;
    if (!S7Address::parse(place, &address, error))
        return false;
    const S7Type type = colon < 0 ? typeFor(address, value) : S7Type::fromName(target.mid(colon + 1));
    if (!type.isValid()) {
        *error = QStringLiteral("unknown type '%1' (an S7 type such as INT, REAL, TIME or STRING[10], or one of %2)")
                     .arg(target.mid(colon + 1), S7Type::servedNames().join(QStringLiteral(", ")));
        return false;
    }
    if (type.isBool() != (address.bit >= 0)) {
        *error = QStringLiteral("a bool goes to a bit address and a bit address takes a bool");
        return false;
    }
    QByteArray bytes;
    if (!S7Codec::encode(type, value, &bytes, error))
        return false;
    if (!write(plc, address, bytes)) {
        *error = QStringLiteral("%1 is outside the memory served").arg(place);
        return false;
    }
    *written = bytes;
    return true;
}

bool SimSet::write(SimPlc *plc, const S7Address &address, const QByteArray &bytes)
{
    const auto area = SimPlc::Area(address.area);
    if (address.bit >= 0)
        return plc->setBit(area, address.dbNumber, address.byte, address.bit, bytes.at(0) != 0);
    return plc->setMemory(area, address.dbNumber, address.byte, bytes);
}
