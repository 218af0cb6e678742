#include "S7Type.h"

#include <QRegularExpression>

namespace {

constexpr bool inKindOrder()
{
    int i = 0;
    for (const S7Type::Info &t : S7Type::kTypes) {
        if (t.kind != S7Type::Kind(++i))
            return false;
    }
    return i == S7Type::Any;
}
static_assert(inKindOrder(), "the table lists every kind once, in the order of Kind");

// Other spellings the sources use for the same types.
const struct { const char *alias; S7Type::Kind kind; } kAliases[] = {
    {"TOD", S7Type::TimeOfDay}, {"LTOD", S7Type::LTimeOfDay}, {"DT", S7Type::DateAndTime},
    {"DATE_AND_LTIME", S7Type::LDateAndTime},
};

bool same(const QString &name, const char *known)
{
    return name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
}

// The numbers and bit strings, which the command line takes by S7 name.
bool isPlainNumber(S7Type::Kind kind)
{
    return kind >= S7Type::Bool && kind <= S7Type::LReal;
}

} // namespace

S7Type S7Type::fromName(const QString &name)
{
    static const QRegularExpression sized(QStringLiteral("^(W?STRING)\\[(\\d{1,5})\\]$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = sized.match(name.trimmed());
    if (m.hasMatch()) {
        S7Type type = fromName(m.captured(1));
        type.length = m.captured(2).toInt();
        const int most = type.kind == String ? kMaxStringLength : kMaxWStringLength;
        return type.length <= most ? type : S7Type();
    }
    for (const Info &t : kTypes) {
        if (same(name, t.name))
            return S7Type(t.kind);
    }
    for (const auto &a : kAliases) {
        if (same(name, a.alias))
            return S7Type(a.kind);
    }
    for (const Info &t : kTypes) {
        if (t.servedName && same(name, t.servedName))
            return ofServed(t.served);
    }
    return S7Type();
}

S7Type S7Type::ofServed(DataType type)
{
    for (const Info &t : kTypes) {
        if (t.servedName && t.served == type) {
            S7Type served(t.kind);
            served.namedAsServed = true;
            return served;
        }
    }
    return S7Type();
}

DataType S7Type::servedTypeOf(const QString &name)
{
    const S7Type type = fromName(name);
    return isPlainNumber(type.kind) ? type.servedType() : NoType;
}

QString S7Type::servedName(DataType type)
{
    const S7Type served = ofServed(type);
    return served.isValid() ? served.name() : QString();
}

QStringList S7Type::servedNames()
{
    QStringList names;
    for (int type = ::Bool; type <= Double; ++type)
        names << servedName(DataType(type));
    return names;
}

QStringList S7Type::numberNames()
{
    QStringList names;
    for (const Info &t : kTypes) {
        if (isPlainNumber(t.kind))
            names << QLatin1String(t.name);
    }
    return names;
}

QString S7Type::name() const
{
    const Info &t = info();
    if (namedAsServed && t.servedName)
        return QLatin1String(t.servedName);
    const QString base = QLatin1String(t.name);
    return isString() ? QStringLiteral("%1[%2]").arg(base).arg(length) : base;
}

int S7Type::size() const
{
    // STRING: maximum and current length, one byte each, then the
    // characters; WSTRING: the same as words.
    if (kind == String)
        return 2 + length;
    if (kind == WString)
        return 4 + 2 * length;
    return info().size;
}
