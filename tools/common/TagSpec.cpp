#include "TagSpec.h"

#include <QRegularExpression>
#include <QStringList>

#include "S7Memory.h"
#include "S7Type.h"

namespace {
// The largest element count a tag can have: byte address plus count may not
// pass the highest byte address.
const int kMaxCount = S7::MaxByteAddress;
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
    if (parts.size() >= 3 && S7Type::servedTypeOf(parts.at(parts.size() - 2)) != NoType)
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
    const DataType type = S7Type::servedTypeOf(typeName);
    if (type == NoType) {
        *error = QStringLiteral("unknown type '%1' (one of %2, or an S7 name: %3)")
                     .arg(typeName, S7Type::servedNames().join(QStringLiteral(", ")),
                          S7Type::numberNames().join(QStringLiteral(", ")));
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
    tag->note = widthLetterNote(address);
    return true;
}

QString TagSpec::widthLetterNote(const QString &address)
{
    // I, Q, M and V take the byte right after the letter; a width letter in
    // between (MW10) makes the byte text "W10", which reads as 0.
    static const QRegularExpression widthForm(QStringLiteral("^([IQMV])[BWDX](\\d+(?:\\.\\d+)?)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = widthForm.match(address);
    if (!m.hasMatch())
        return QString();
    const QString form = m.captured(1) + m.captured(2);
    return QStringLiteral("warning: %1 reads byte 0 (the plug-in takes no width letter after the area "
                          "letter); write %2 for byte %3")
        .arg(address, form, m.captured(2).section(QLatin1Char('.'), 0, 0));
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
