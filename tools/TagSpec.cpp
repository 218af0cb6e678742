#include "TagSpec.h"

#include <QStringList>

#include "TypeNames.h"

namespace {
// The largest element count a tag can have: byte address plus count may not
// pass the end of the 16-bit byte address range.
const int kMaxCount = 65535;
const QChar kTagSeparator = QLatin1Char(':');
} // namespace

bool TagSpec::parse(const QString &text, TagSpec *tag, QString *error)
{
    QStringList parts = text.split(kTagSeparator);
    if (parts.size() < 2) {
        *error = QStringLiteral("tag '%1' is not ADDRESS:TYPE[:COUNT]").arg(text);
        return false;
    }
    QString countText;
    // With three or more parts the last one is a count when the one before it
    // names a type; otherwise the last one is the type.
    if (parts.size() >= 3 && TypeNames::fromName(parts.at(parts.size() - 2)) != NoType)
        countText = parts.takeLast();
    const QString typeName = parts.takeLast();
    const QString address = parts.join(kTagSeparator);
    if (address.isEmpty() || typeName.isEmpty()) {
        *error = QStringLiteral("tag '%1' is not ADDRESS:TYPE[:COUNT]").arg(text);
        return false;
    }
    return make(address, typeName, countText, tag, error);
}

bool TagSpec::make(const QString &address, const QString &typeName, const QString &countText,
                   TagSpec *tag, QString *error)
{
    const DataType type = TypeNames::fromName(typeName);
    if (type == NoType) {
        *error = QStringLiteral("unknown type '%1' (one of %2)")
                     .arg(typeName, TypeNames::all().join(QStringLiteral(", ")));
        return false;
    }
    if (!namesArea(address)) {
        *error = QStringLiteral("address '%1' names no memory area").arg(address);
        return false;
    }
    int count = 1;
    if (!countText.isEmpty() && !parseCount(countText, &count, error))
        return false;
    tag->address = address;
    tag->type = type;
    tag->count = count;
    return true;
}

bool TagSpec::namesArea(const QString &address)
{
    for (const char *letters : {"I", "Q", "M", "V", "DB"}) {
        if (address.contains(QLatin1String(letters), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool TagSpec::parseCount(const QString &text, int *count, QString *error)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1 || n > kMaxCount) {
        *error = QStringLiteral("count '%1' is not a whole number from 1 to %2")
                     .arg(text, QString::number(kMaxCount));
        return false;
    }
    *count = n;
    return true;
}
