#include "SymbolTable.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>

#include "S7Memory.h"
#include "SymbolLayout.h"
#include "SymbolParser.h"

namespace {
QString fromUtf16(const QByteArray &bytes, bool bigEndian)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (int i = 0; i + 1 < bytes.size(); i += 2) {
        const auto *unit = reinterpret_cast<const uchar *>(bytes.constData() + i);
        text.append(QChar(bigEndian ? qFromBigEndian<quint16>(unit) : qFromLittleEndian<quint16>(unit)));
    }
    return text;
}

// Exports of the engineering tools are UTF-8; older ones are Windows-1252,
// whose letters Latin-1 reads the same. Windows tools often put a byte-order
// mark in front, of UTF-8 or of UTF-16; the text starts after it.
QString decodeSource(const QByteArray &bytes)
{
    static const QByteArray utf8Mark("\xEF\xBB\xBF"), littleEndianMark("\xFF\xFE"), bigEndianMark("\xFE\xFF");
    if (bytes.startsWith(utf8Mark))
        return QString::fromUtf8(bytes.mid(utf8Mark.size()));
    if (bytes.startsWith(littleEndianMark) || bytes.startsWith(bigEndianMark))
        return fromUtf16(bytes.mid(2), bytes.startsWith(bigEndianMark));
    const QString text = QString::fromUtf8(bytes);
    return text.toUtf8() == bytes ? text : QString::fromLatin1(bytes);
}

// One component of a symbol: a name, quoted or not, and its indices.
bool component(const QString &text, int *pos, QString *out, QString *error)
{
    static const QRegularExpression part(
        QStringLiteral("\\G\\s*(?:\"([^\"]+)\"|([A-Za-z_\\x{80}-\\x{FFFF}][A-Za-z0-9_\\x{80}-\\x{FFFF}]*))\\s*"));
    static const QRegularExpression indices(QStringLiteral("\\G\\[\\s*(-?\\d+(?:\\s*,\\s*-?\\d+)*)\\s*\\]\\s*"));
    const QRegularExpressionMatch m = part.match(text, *pos);
    if (!m.hasMatch()) {
        *error = QStringLiteral("'%1' is not a symbol (a name expected at character %2)").arg(text).arg(*pos + 1);
        return false;
    }
    *out = (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).toLower();
    *pos = m.capturedEnd();
    const QRegularExpressionMatch i = indices.match(text, *pos);
    if (i.hasMatch()) {
        QStringList numbers;
        for (const QString &n : i.captured(1).split(QLatin1Char(',')))
            numbers << QString::number(n.trimmed().toLongLong());
        *out += QLatin1Char('[') + numbers.join(QLatin1Char(',')) + QLatin1Char(']');
        *pos = i.capturedEnd();
    }
    return true;
}

bool covers(const QString &key, const QString &leafKey)
{
    return leafKey == key
        || (leafKey.startsWith(key) && (leafKey.at(key.size()) == QLatin1Char('.') || leafKey.at(key.size()) == QLatin1Char('[')));
}
} // namespace

bool SymbolTable::addFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return addSource(decodeSource(file.readAll()), path, error);
}

bool SymbolTable::addSource(const QString &text, const QString &name, QString *error)
{
    SymbolParser parser(text, name);
    QList<BlockDecl> blocks;
    if (!parser.parse(&blocks, error))
        return false;
    decls += blocks;
    return true;
}

bool SymbolTable::setNumber(const QString &assignment, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(?:\"([^\"]+)\"|([^=\"]+?))\\s*=\\s*(\\d+)\\s*$"));
    const QRegularExpressionMatch m = form.match(assignment);
    const int number = m.captured(3).toInt();
    if (!m.hasMatch() || number < 1 || number > S7::MaxDataBlock) {
        *error = QStringLiteral("--number '%1' is not NAME=N with N from 1 to %2").arg(assignment).arg(S7::MaxDataBlock);
        return false;
    }
    const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    numbers.insert(name.toLower(), number);
    numberTexts.insert(name.toLower(), name);
    return true;
}

bool SymbolTable::build(QString *error)
{
    QMap<QString, const BlockDecl *> types;
    QMap<QString, const BlockDecl *> names;
    for (const BlockDecl &b : decls) {
        const QString key = b.name.toLower();
        if (names.contains(key)) {
            *error = QStringLiteral("%1: block \"%2\" is declared twice (first at %3)")
                         .arg(b.place.text(), b.name, names.value(key)->place.text());
            return false;
        }
        names.insert(key, &b);
        if (b.kind != BlockDecl::DataBlock)
            types.insert(key, &b);
    }
    for (auto it = numberTexts.begin(); it != numberTexts.end(); ++it) {
        const BlockDecl *b = names.value(it.key());
        if (!b || b->kind != BlockDecl::DataBlock) {
            *error = QStringLiteral("--number names \"%1\", which no source declares as a DATA_BLOCK").arg(it.value());
            return false;
        }
    }
    SymbolLayout layout(types);
    QMap<int, QString> byNumber;
    built.clear();
    for (const BlockDecl &b : decls) {
        if (b.kind != BlockDecl::DataBlock)
            continue;
        Block block;
        block.name = b.name;
        block.number = numbers.value(b.name.toLower(), b.number);
        if (block.number == 0 && !b.optimized) {   // an optimized block is refused for that first
            *error = QStringLiteral("%1: data block \"%2\" has no number in its source: give it with --number \"%2\"=N")
                         .arg(b.place.text(), b.name);
            return false;
        }
        if (byNumber.contains(block.number)) {
            *error = QStringLiteral("%1: \"%2\" and \"%3\" are both DB%4").arg(b.place.text(), byNumber.value(block.number), b.name)
                         .arg(block.number);
            return false;
        }
        byNumber.insert(block.number, b.name);
        if (!layout.layOut(b, block.number, &block.leaves, &block.size, error))
            return false;
        built.append(block);
    }
    return true;
}

QList<SymbolLeaf> SymbolTable::leaves() const
{
    QList<SymbolLeaf> all;
    for (const Block &b : built)
        all += b.leaves;
    return all;
}

bool SymbolTable::resolve(const QString &symbol, QList<SymbolLeaf> *leaves, QString *error) const
{
    QString key;
    if (!canonicalKey(symbol, &key, error))
        return false;
    const QString blockKey = key.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('['), 0, 0);
    // A block is named by its name, or as DBn by its number.
    static const QRegularExpression numbered(QStringLiteral("^db(\\d+)$"));
    const QRegularExpressionMatch byNumber = numbered.match(blockKey);
    for (const Block &b : built) {
        const bool isThis = b.name.toLower() == blockKey
                            || (byNumber.hasMatch() && byNumber.captured(1).toInt() == b.number);
        if (!isThis)
            continue;
        key = b.name.toLower() + key.mid(blockKey.size());
        leaves->clear();
        for (const SymbolLeaf &leaf : b.leaves) {
            if (covers(key, leaf.key))
                leaves->append(leaf);
        }
        if (leaves->isEmpty())
            *error = QStringLiteral("data block \"%1\" has no member %2").arg(b.name, symbol.mid(symbol.indexOf(QLatin1Char('.')) + 1));
        return !leaves->isEmpty();
    }
    QStringList known;
    for (const Block &b : built)
        known << SymbolLayout::displayName(b.name, true);
    *error = QStringLiteral("no data block named in '%1' among the sources given (%2)")
                 .arg(symbol, known.isEmpty() ? QStringLiteral("none") : known.join(QStringLiteral(", ")));
    return false;
}

bool SymbolTable::canonicalKey(const QString &symbol, QString *key, QString *error)
{
    QStringList parts;
    int pos = 0;
    for (;;) {
        QString part;
        if (!component(symbol, &pos, &part, error))
            return false;
        parts << part;
        if (pos >= symbol.size())
            break;
        if (symbol.at(pos) != QLatin1Char('.')) {
            *error = QStringLiteral("'%1' is not a symbol ('.' or '[' expected at character %2)").arg(symbol).arg(pos + 1);
            return false;
        }
        ++pos;
    }
    *key = parts.join(QLatin1Char('.'));
    return true;
}
