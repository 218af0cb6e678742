#include "SimSignal.h"

#include "S7NumberCodec.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

constexpr qint64 MinPeriodMs = 10;
constexpr qint64 MaxPeriodMs = 24 * 3600 * 1000;
constexpr double DefaultLow = 0;
constexpr double DefaultHigh = 100;
constexpr double TwoPi = 6.283185307179586;

struct ShapeName
{
    const char *name;
    SimSignal::Shape shape;
};
constexpr ShapeName Shapes[] = {
    {"sine", SimSignal::Shape::Sine},
    {"ramp", SimSignal::Shape::Ramp},
    {"square", SimSignal::Shape::Square},
    {"random", SimSignal::Shape::Random},
};

// "10s", "500ms", "1.5m", "2h"; a bare number is seconds.
bool parsePeriod(const QString &text, qint64 *ms)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)(ms|s|m|h)?$"));
    const QRegularExpressionMatch match = form.match(text.trimmed().toLower());
    if (!match.hasMatch())
        return false;
    const QString unit = match.captured(2);
    const double scale = unit == QLatin1String("ms") ? 1 : unit == QLatin1String("m") ? 60000
                       : unit == QLatin1String("h") ? 3600000 : 1000;
    const double value = match.captured(1).toDouble() * scale;
    if (value < MinPeriodMs || value > MaxPeriodMs)
        return false;
    *ms = qint64(value);
    return true;
}

// The address must hold the type: a Bool a bit; any other type starts at a
// byte (B, or no letter) or fills the word or double word named (W, D);
// timers and counters hold 16 bits.
bool fits(const S7Address &address, const S7Type &type, QString *why)
{
    if (type.isBool()) {
        if (address.bit < 0)
            *why = QStringLiteral("%1 needs a bit address (M0.0, DB1.DBX0.0)").arg(type.name());
        return address.bit >= 0;
    }
    if (address.bit >= 0 || (address.widthGiven && address.width != 1 && address.width != type.size())) {
        *why = QStringLiteral("%1 takes %2 bytes; the address names %3")
                   .arg(type.name()).arg(type.size()).arg(address.bit >= 0 ? QStringLiteral("a bit")
                                                                           : QString::number(address.width));
        return false;
    }
    return true;
}

} // namespace

bool SimSignal::parse(const QString &text, SimSignal *signal, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    SimSignal result;
    if (parts.size() != 4 && parts.size() != 6) {
        *error = QStringLiteral("invalid --signal '%1': expected ADDRESS:TYPE:SHAPE:PERIOD[:MIN:MAX]").arg(text);
        return false;
    }
    QString why;
    result.valueType = S7Type::fromName(parts.at(1));
    if (!S7NumberCodec::handles(result.valueType))
        why = QStringLiteral("unknown type '%1' (a number or BOOL: %2)")
                  .arg(parts.at(1), S7Type::numberNames().join(QStringLiteral(", ")));
    if (!why.isEmpty() || !S7Address::parse(parts.at(0), &result.place, &why)
        || !fits(result.place, result.valueType, &why)) {
        *error = QStringLiteral("invalid --signal '%1': %2").arg(text, why);
        return false;
    }
    bool shapeKnown = false;
    for (const ShapeName &entry : Shapes) {
        if (parts.at(2).compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            result.shape = entry.shape;
            shapeKnown = true;
        }
    }
    if (!shapeKnown || !parsePeriod(parts.at(3), &result.periodMs)) {
        *error = QStringLiteral("invalid --signal '%1': shape sine, ramp, square or random, "
                                "period 10ms to 24h (e.g. 500ms, 10s, 2m)").arg(text);
        return false;
    }
    const bool isBool = result.valueType.isBool();
    result.low = isBool ? 0 : DefaultLow;
    result.high = isBool ? 1 : DefaultHigh;
    if (parts.size() == 6) {
        bool lowOk = false;
        bool highOk = false;
        result.low = parts.at(4).toDouble(&lowOk);
        result.high = parts.at(5).toDouble(&highOk);
        if (isBool || !lowOk || !highOk || !(result.low < result.high)
            || result.low < S7NumberCodec::lowest(result.valueType)
            || result.high > S7NumberCodec::highest(result.valueType)) {
            *error = QStringLiteral("invalid --signal '%1': MIN below MAX, both within %2 (bool takes none)")
                         .arg(text, result.valueType.name());
            return false;
        }
    }
    *signal = result;
    return true;
}

double SimSignal::valueAt(qint64 elapsedMs, double random) const
{
    const double phase = double(elapsedMs % periodMs) / double(periodMs);
    double fraction = 0;
    switch (shape) {
    case Shape::Sine: fraction = 0.5 + 0.5 * std::sin(TwoPi * phase); break;
    case Shape::Ramp: fraction = phase; break;
    case Shape::Square: fraction = phase < 0.5 ? 0 : 1; break;
    case Shape::Random: fraction = random; break;
    }
    // A Bool is on in the upper half of its range.
    if (valueType.isBool())
        return fraction >= 0.5 ? 1 : 0;
    return low + (high - low) * fraction;
}

QByteArray SimSignal::bytesAt(qint64 elapsedMs, double random) const
{
    return S7NumberCodec::fromNumber(valueType, valueAt(elapsedMs, random));
}
