#include "SymbolTags.h"

#include <memory>

#include "CommandLine.h"
#include "S7Type.h"
#include "SymbolLeaf.h"
#include "SymbolOptions.h"
#include "SymbolTable.h"
#include "ValueFormatter.h"
#include "ValueParser.h"

namespace {
const char kBadValue[] = "! ";

// The symbols' common beginning, cut back to where a member or an index starts.
int commonStem(const QList<SymbolLeaf> &leaves)
{
    QString stem = leaves.first().symbol;
    for (const SymbolLeaf &leaf : leaves) {
        int n = 0;
        while (n < stem.size() && n < leaf.symbol.size() && stem.at(n) == leaf.symbol.at(n))
            ++n;
        stem.truncate(n);
    }
    const int cut = qMax(stem.lastIndexOf(QLatin1Char('.')), stem.lastIndexOf(QLatin1Char('[')));
    return qMax(cut, 0);
}

S7Codec::Value decoded(const TagList::Entry &entry, const CLabelVariable &record)
{
    return entry.leaf->decodeRecord(record);
}
} // namespace

bool SymbolTags::collect(const CommandLine &cl, const QStringList &texts, QList<TagList::Entry> *entries,
                         QString *error)
{
    const bool symbols = SymbolOptions::given(cl);
    SymbolTable table;
    if (symbols && !SymbolOptions::load(cl, &table, error))
        return false;
    return TagList::collect(texts, cl.value(QStringLiteral("tags")), symbols, entries, error)
           && (!symbols || expand(table, entries, error));
}

bool SymbolTags::expand(const SymbolTable &table, QList<TagList::Entry> *entries, QString *error)
{
    QList<TagList::Entry> out;
    for (const TagList::Entry &e : *entries) {
        if (e.symbol.isEmpty()) {
            out << e;
            continue;
        }
        QList<SymbolLeaf> leaves;
        if (!table.resolve(e.symbol, &leaves, error)) {
            if (!e.origin.isEmpty())
                *error = e.origin + QStringLiteral(": ") + *error;
            return false;
        }
        const int stem = commonStem(leaves);
        for (const SymbolLeaf &leaf : leaves) {
            QString label = e.label;
            if (!label.isEmpty() && leaves.size() > 1) {
                const QString rest = leaf.symbol.mid(stem);
                label += rest.startsWith(QLatin1Char('[')) || rest.startsWith(QLatin1Char('.')) ? rest
                                                                                               : QLatin1Char('.') + rest;
            }
            out << entryOf(leaf, label);
        }
    }
    *entries = out;
    return true;
}

TagList::Entry SymbolTags::entryOf(const SymbolLeaf &leaf, const QString &label)
{
    TagList::Entry e;
    const SymbolLeaf::ReadRequest request = leaf.readRequest();
    e.tag.address = request.address;
    e.tag.type = request.type;
    e.tag.count = request.count;
    e.name = leaf.symbol;
    e.label = label;
    e.leaf = std::make_shared<const SymbolLeaf>(leaf);
    e.s7Decoded = leaf.servedType() == NoType;
    return e;
}

QString SymbolTags::typeName(const TagList::Entry &entry)
{
    return entry.leaf ? entry.leaf->type.name() : S7Type::servedName(entry.tag.type);
}

QString SymbolTags::text(const TagList::Entry &entry, const CLabelVariable &record)
{
    // A leaf of the plug-in's types reads as itself (a BOOL as the first bit
    // of its Bool read), so it shows as a tag by address does.
    if (!entry.s7Decoded || !record.value.isValid())
        return ValueFormatter::joined(record.value, entry.tag.type, entry.tag.count);
    const S7Codec::Value v = decoded(entry, record);
    return v.ok() ? v.text : QLatin1String(kBadValue) + v.error;
}

RecordOutput::Json SymbolTags::values(const TagList::Entry &entry, const CLabelVariable &record)
{
    if (!entry.leaf || entry.leaf->servedType() != NoType)
        return RecordOutput::values(record.value, entry.tag.type, entry.tag.count);
    RecordOutput::Json out = RecordOutput::Json::array();
    if (record.value.isValid()) {
        const S7Codec::Value v = decoded(entry, record);
        if (v.ok())
            out.push_back(RecordOutput::utf8(v.text));
    }
    return out;
}

int SymbolTags::writeCount(const TagList::Entry &entry)
{
    return entry.leaf ? 1 : entry.tag.count;
}

bool SymbolTags::writeRecord(const TagList::Entry &entry, const QStringList &texts, CLabelVariable *record,
                             QString *error)
{
    if (texts.size() != writeCount(entry)) {
        *error = QStringLiteral("%1 takes %2 value(s), got %3").arg(entry.title()).arg(writeCount(entry)).arg(texts.size());
        return false;
    }
    if (entry.leaf)
        return entry.leaf->writeRecord(texts.first(), record, error);
    record->value = ValueParser::parse(entry.tag.type, texts, error);
    record->address = entry.tag.address;
    record->dataType = entry.tag.type;
    record->count = entry.tag.count;
    return record->value.isValid();
}
