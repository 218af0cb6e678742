#include "TagList.h"

#include <QFile>

namespace {
// A tag-list file is a hand-written list, never anything near this size.
const qint64 kMaxFileBytes = 4 * 1024 * 1024;
enum Field { FieldAddress, FieldType, FieldCountText, FieldLabel, FieldCount };
const QLatin1String kOptionMark("--");
} // namespace

bool TagList::collect(const QStringList &texts, const QString &filePath, bool symbols, QList<Entry> *entries,
                      QString *error)
{
    for (const QString &text : texts) {
        Entry e;
        e.name = text;
        if (symbols && !text.contains(QLatin1Char(':'))) {
            e.symbol = text;
        } else if (!TagSpec::parse(text, &e.tag, error)) {
            if (!text.contains(QLatin1Char(':')))
                *error += QStringLiteral(" (a symbol needs --symbols FILE)");
            return false;
        }
        entries->append(e);
    }
    QString text;
    if (!filePath.isEmpty() && (!readFile(filePath, &text, error) || !parseFile(text, filePath, symbols, entries, error)))
        return false;
    if (entries->isEmpty()) {
        *error = QStringLiteral("no tag given (TAG arguments or --tags FILE)");
        return false;
    }
    return true;
}

bool TagList::parseFile(const QString &text, const QString &source, bool symbols, QList<Entry> *entries,
                        QString *error)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines.at(n).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(kOptionMark))
            continue;
        QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() > FieldCount)
            fields = fields.mid(0, FieldLabel) << QStringList(fields.mid(FieldLabel)).join(QLatin1Char(','));
        for (QString &f : fields)
            f = f.trimmed();
        Entry e;
        e.origin = QStringLiteral("%1:%2").arg(source).arg(n + 1);
        QString reason;
        if (fields.value(FieldType).isEmpty()) {
            // A symbol: its type and count come from its source.
            if (!symbols)
                reason = QStringLiteral("'%1' has no type: address,type[,count[,label]], or a symbol with --symbols FILE")
                             .arg(fields.at(FieldAddress));
            else if (!fields.value(FieldCountText).isEmpty())
                reason = QStringLiteral("symbol '%1' takes no count; its source gives it").arg(fields.at(FieldAddress));
            else if (fields.at(FieldAddress).isEmpty())
                reason = QStringLiteral("'%1' names no tag").arg(line);
            if (reason.isEmpty()) {
                e.symbol = e.name = fields.at(FieldAddress);
                e.label = fields.value(FieldLabel);
                entries->append(e);
                continue;
            }
        } else if (fields.size() < FieldCountText) {
            reason = QStringLiteral("'%1' is not address,type[,count[,label]]").arg(line);
        } else if (TagSpec::make(fields.at(FieldAddress), fields.at(FieldType), fields.value(FieldCountText), &e.tag,
                                 &reason)) {
            e.name = fields.at(FieldAddress) + QLatin1Char(':') + fields.at(FieldType);
            if (!fields.value(FieldCountText).isEmpty())
                e.name += QLatin1Char(':') + fields.at(FieldCountText);
            e.label = fields.value(FieldLabel);
            entries->append(e);
            continue;
        }
        *error = QStringLiteral("%1:%2: %3").arg(source).arg(n + 1).arg(reason);
        return false;
    }
    return true;
}

QList<TagSpec> TagList::specs(const QList<Entry> &entries)
{
    QList<TagSpec> out;
    for (const Entry &e : entries)
        out << e.tag;
    return out;
}

bool TagList::readFile(const QString &filePath, QString *text, QString *error)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read tag list %1: %2").arg(filePath, file.errorString());
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        *error = QStringLiteral("tag list %1 is larger than %2 bytes").arg(filePath).arg(kMaxFileBytes);
        return false;
    }
    *text = QString::fromUtf8(file.readAll());
    return true;
}

QStringList TagList::connectionArguments(const QString &text)
{
    QStringList arguments;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString words = line.simplified();
        if (words.startsWith(kOptionMark))
            arguments << words.split(QLatin1Char(' '));
    }
    return arguments;
}
