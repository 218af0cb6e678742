#include "SymbolLayout.h"

#include <climits>
#include <QHash>
#include <QRegularExpression>

#include "S7Codec.h"
#include "SymbolTable.h"

// Layout of a block with standard access (S7-300/400, and S7-1200/1500
// blocks without "optimized block access"), as the CPU holds it:
//
// - BOOL takes one bit. Consecutive BOOLs fill a byte from bit 0 to bit 7,
//   then the next byte, which may be odd; an array of BOOL packs its bits
//   the same way.
// - BYTE, CHAR, SINT and USINT start at the next whole byte, odd or even.
// - Every other elementary type starts at the next even byte: WORD, INT,
//   UINT, WCHAR, DATE, S5TIME (2 bytes); DWORD, DINT, UDINT, REAL, TIME,
//   TIME_OF_DAY (4, at an even, not a multiple-of-4, byte); LWORD, LINT,
//   ULINT, LREAL, LTIME, LTIME_OF_DAY, LDT, DATE_AND_TIME (8); DTL (12).
// - STRING[n] is 2 + n bytes (maximum and current length, then the
//   characters), n = 254 when none is given; WSTRING[n] 4 + 2n. Both start
//   at an even byte and, like STRUCT and ARRAY, end at one.
// - STRUCT, UDT and ARRAY start at an even byte and take an even number of
//   bytes, so that whatever follows them (a BOOL too) starts at an even byte.
//   Array elements follow each other with no gap beyond their own rules; in
//   a multi-dimensional array the last index changes fastest.
// - The instance data of a FUNCTION_BLOCK holds VAR_INPUT, VAR_OUTPUT,
//   VAR_IN_OUT and VAR in this order, each section starting at an even byte;
//   VAR_TEMP and VAR CONSTANT take no room. An IN_OUT of an elementary type
//   holds its value, of STRING, ARRAY, STRUCT, UDT, DATE_AND_TIME or DTL a
//   6-byte POINTER.
//
// Sources:
// - S7-1200 Programmable controller System Manual, "Data types" (sizes of
//   TIME, DATE, TIME_OF_DAY, DTL and its elements, STRING as n + 2 bytes,
//   n up to 254), https://www.easymanua.ls/siemens/simatic-s7-1200/manual/233601?p=128
//   and ?p=129, and https://www.manualslib.com/manual/1453610/Siemens-S7-1200.html?page=113
// - Siemens Data Block Memory Alignment: Bool to Int Gap Fix (16- and 32-bit
//   types at even bytes, the gap after a byte of BOOLs),
//   https://industrialmonitordirect.com/blogs/knowledgebase/siemens-data-block-memory-alignment-bool-to-int-gap-fix
// - TIA Portal Data Block Word Alignment (BYTE at any byte, WORD/DWORD/REAL
//   at even bytes in standard blocks),
//   https://industrialmonitordirect.com/blogs/knowledgebase/tia-portal-data-block-word-alignment-avoiding-memory-gaps
// - Configuring BOOL byte alignment in TIA Portal data blocks (consecutive
//   BOOLs share a byte, DBX4.0, DBX4.1, …),
//   https://industrialmonitordirect.com/blogs/knowledgebase/configuring-bool-byte-alignment-in-siemens-tia-portal-data-blocks
// - H. Berger, Automating with STEP 7 (STRUCT variables occupy memory up
//   to the next word boundary; BOOL components start at the least
//   significant bit, BYTE and CHAR at the next byte, all others at a word
//   boundary), https://files.library.nung.edu.ua/chytalnya/4356/files/basic-html/page147.html
// - Multi-dimensional arrays are stored with the last index changing fastest
//   ([1,1], [1,2], [1,3], [2,1]), https://www.13l.net/544787855.html
// - DATE_AND_TIME as 8 BCD bytes (year 1990-2089, the last nibble the
//   weekday), SIMATIC PCS 7 Advanced Process Functions manual, "Data formats",
//   http://www.manualslib.com/manual/1659668/Siemens-Simatic-Pcs-7.html?page=52;
//   DTL's 12 bytes, https://docs.aveva.com/bundle/sp-cdp-drivers/page/198307.html
// - S5TIME's time base in bits 12 and 13 (10 ms, 100 ms, 1 s, 10 s) and its
//   largest value 2H_46M_30S, https://simenteknindo.com/news/step-7-elementary-data-types/

namespace {
struct LayoutFailure
{
    QString message;
};

const int kBitsPerWord = 16;
// The largest block the plug-in can address: all of a data block's byte addresses.
const qint64 kMaxBits = qint64(S7::MaxAreaBytes) * CHAR_BIT;

// "[1, 2, 3(0)]" or "1, 2, 3" -> the values in order, repeats expanded.
QStringList initialItems(const QString &text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        t = t.mid(1, t.size() - 2);
    static const QRegularExpression repeat(QStringLiteral("^(\\d+)\\((.*)\\)$"));
    QStringList items;
    for (const QString &part : S7Codec::splitValues(t)) {
        const QRegularExpressionMatch m = repeat.match(part.trimmed());
        const int times = m.hasMatch() ? qMin(m.captured(1).toInt(), int(kMaxBits)) : 1;
        for (int i = 0; i < times; ++i)
            items << (m.hasMatch() ? m.captured(2).trimmed() : part.trimmed());
    }
    return items;
}

bool isComplexInOut(const TypeDecl &type)
{
    if (type.form != TypeDecl::Elementary)
        return true;
    const S7Type::Kind k = type.elementary.kind;
    return type.elementary.isString() || k == S7Type::DateAndTime || k == S7Type::Dtl;
}
} // namespace

SymbolLayout::SymbolLayout(const QMap<QString, const BlockDecl *> &types) : types(types) {}

QString SymbolLayout::displayName(const QString &name, bool isBlock)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    static const QRegularExpression numbered(QStringLiteral("^DB\\d+$"));
    if (isBlock)
        return numbered.match(name).hasMatch() ? name : QLatin1Char('"') + name + QLatin1Char('"');
    return plain.match(name).hasMatch() ? name : QLatin1Char('"') + name + QLatin1Char('"');
}

bool SymbolLayout::layOut(const BlockDecl &block, int number, QList<SymbolLeaf> *leaves, int *size, QString *error)
{
    out.clear();
    typeStack.clear();
    bitPos = 0;
    blockName = block.name;
    dbNumber = number;
    try {
        if (block.optimized)
            fail(block.place, QStringLiteral("\"%1\" has optimized access, so its members have no absolute addresses: "
                                             "clear \"Optimized block access\" in its properties (the source then says "
                                             "{ S7_Optimized_Access := 'FALSE' }), compile it and export the source again")
                                  .arg(block.name));
        Place at;
        at.symbol = displayName(block.name, true);
        at.key = block.name.toLower();
        at.source = block.place;
        if (!block.instanceOf.isEmpty()) {
            TypeDecl type;
            type.form = TypeDecl::Named;
            type.name = block.instanceOf;
            type.place = block.place;
            named(type, at);
        } else {
            members(block.members, at);
        }
        alignWord();
        applyBeginValues(block);
    } catch (const LayoutFailure &f) {
        *error = f.message;
        return false;
    }
    *leaves = out;
    *size = int(bitPos / CHAR_BIT);
    return true;
}

void SymbolLayout::fail(const SourcePlace &where, const QString &message) const
{
    throw LayoutFailure{QStringLiteral("%1: %2").arg(where.text(), message)};
}

void SymbolLayout::alignByte()
{
    bitPos = (bitPos + CHAR_BIT - 1) / CHAR_BIT * CHAR_BIT;
}

void SymbolLayout::alignWord()
{
    bitPos = (bitPos + kBitsPerWord - 1) / kBitsPerWord * kBitsPerWord;
}

void SymbolLayout::members(const QList<MemberDecl> &list, const Place &at)
{
    for (const MemberDecl &m : list)
        member(m, at);
}

void SymbolLayout::member(const MemberDecl &m, const Place &at)
{
    Place p;
    p.symbol = at.symbol + QLatin1Char('.') + displayName(m.name, false);
    p.key = at.key + QLatin1Char('.') + m.name.toLower();
    p.parent = at.symbol;
    p.comment = m.comment;
    p.initial = m.initial;
    p.source = m.place;
    place(m.type, p);
}

void SymbolLayout::place(const TypeDecl &type, const Place &at)
{
    switch (type.form) {
    case TypeDecl::Elementary:
        elementary(type.elementary, at);
        break;
    case TypeDecl::Struct:
        alignWord();
        members(type.members, at);
        alignWord();
        break;
    case TypeDecl::Array:
        array(type, at);
        break;
    case TypeDecl::Named:
        named(type, at);
        break;
    }
}

void SymbolLayout::elementary(const S7Type &type, const Place &at)
{
    if (!type.isBool()) {
        if (type.startsAtByte())
            alignByte();
        else
            alignWord();
    }
    SymbolLeaf leaf;
    leaf.symbol = at.symbol;
    leaf.key = at.key;
    leaf.parent = at.parent;
    leaf.block = blockName;
    leaf.dbNumber = dbNumber;
    leaf.byte = int(bitPos / CHAR_BIT);
    leaf.bit = type.isBool() ? int(bitPos % CHAR_BIT) : -1;
    leaf.type = type;
    leaf.comment = at.comment;
    leaf.initial = at.initial;
    bitPos += type.isBool() ? 1 : qint64(type.size()) * CHAR_BIT;
    if (type.isString())
        alignWord();
    if (bitPos > kMaxBits)
        fail(at.source, QStringLiteral("%1 ends past byte %2, the last a block can have").arg(at.symbol).arg(kMaxBits / 8 - 1));
    out.append(leaf);
}

void SymbolLayout::array(const TypeDecl &type, const Place &at)
{
    qint64 count = 1;
    for (const auto &b : type.bounds) {
        count *= b.second - b.first + 1;
        if (count > kMaxBits)
            fail(type.place, QStringLiteral("%1 has more elements than a block can hold").arg(at.symbol));
    }
    const QStringList initials = type.element->form == TypeDecl::Elementary ? initialItems(at.initial) : QStringList();
    alignWord();
    QList<qint64> index;
    for (const auto &b : type.bounds)
        index << b.first;
    for (qint64 n = 0; n < count; ++n) {
        QStringList parts;
        for (qint64 i : index)
            parts << QString::number(i);
        const QString suffix = QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
        Place element = at;
        element.symbol = at.symbol + suffix;
        element.key = at.key + suffix;
        element.parent = at.symbol;
        element.initial = initials.value(int(n));
        place(*type.element, element);
        // The last index changes fastest.
        for (int d = index.size() - 1; d >= 0; --d) {
            if (++index[d] <= type.bounds.at(d).second)
                break;
            index[d] = type.bounds.at(d).first;
        }
    }
    alignWord();
}

void SymbolLayout::named(const TypeDecl &type, const Place &at)
{
    const QString name = type.name.toLower();
    const BlockDecl *decl = types.value(name);
    if (!decl)
        fail(type.place, QStringLiteral("type \"%1\" is not declared in the sources given; add the source of its "
                                        "TYPE or FUNCTION_BLOCK").arg(type.name));
    if (typeStack.contains(name))
        fail(type.place, QStringLiteral("type \"%1\" holds itself").arg(type.name));
    typeStack << name;
    alignWord();
    if (decl->kind == BlockDecl::FunctionBlock)
        functionBlock(*decl, at);
    else
        members(decl->members, at);
    alignWord();
    typeStack.removeLast();
}

void SymbolLayout::functionBlock(const BlockDecl &fb, const Place &at)
{
    if (fb.optimized)
        fail(fb.place, QStringLiteral("function block \"%1\" has optimized access, so its instance data has no absolute "
                                      "addresses: clear \"Optimized block access\" in its properties and export it again")
                           .arg(fb.name));
    for (Section section : {Section::Input, Section::Output, Section::InOut, Section::Static}) {
        alignWord();
        for (const auto &entry : fb.interface) {
            if (entry.first != section)
                continue;
            if (section == Section::InOut && isComplexInOut(entry.second.type)) {
                MemberDecl pointer = entry.second;
                pointer.type = TypeDecl();
                pointer.type.elementary = S7Type(S7Type::Pointer);
                member(pointer, at);
            } else {
                member(entry.second, at);
            }
        }
    }
}

void SymbolLayout::applyBeginValues(const BlockDecl &block)
{
    // The BEGIN section's values stand before the declared ones. A path that
    // names no leaf (a whole array, a member the source misspells) is left out.
    QHash<QString, int> byKey;
    for (int i = 0; i < out.size(); ++i)
        byKey.insert(out.at(i).key, i);
    for (const auto &v : block.beginValues) {
        QString key, error;
        if (!SymbolTable::canonicalKey(v.first, &key, &error))
            continue;
        const int i = byKey.value(block.name.toLower() + QLatin1Char('.') + key, -1);
        if (i >= 0)
            out[i].initial = v.second;
    }
}
