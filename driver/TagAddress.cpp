#include "TagAddress.h"

namespace {

// The forms an address text can take. The area letters are looked for
// anywhere in the text, case-insensitively, in the order I, Q, M, V_or_DB, V,
// DB; the first one found decides the form.
enum class Form { None, Letter, VorDb, Db };

// Which of the area letters a text holds, found in one pass over the list.
struct Letters
{
    bool i = false, q = false, m = false, vOrDb = false, v = false, db = false;

    explicit Letters(const QString &text)
    {
        const auto has = [&](const char *s) { return text.contains(QLatin1String(s), Qt::CaseInsensitive); };
        i = has("I");
        q = has("Q");
        m = has("M");
        vOrDb = has("V_or_DB");
        v = has("V");
        db = has("DB");
    }

    Form form() const
    {
        if (i || q || m)
            return Form::Letter;
        if (vOrDb)
            return Form::VorDb;
        if (v)
            return Form::Letter;
        return db ? Form::Db : Form::None;
    }

    int letterArea() const
    {
        if (i)
            return S7::AreaInputs;
        if (q)
            return S7::AreaOutputs;
        return m ? S7::AreaMarkers : S7::AreaDataBlocks; // V memory lives in a data block
    }
};

const int kVorDbPrefix = 7; // "V_or_DB"
const int kDbPrefix = 2;    // "DB"
const int kDbTypeLetters = 3; // DBX, DBB, DBW, DBD after the separator

// Position of the first separator that occurs, tried in the order . _ : ;
int firstSeparator(const QString &text)
{
    for (QChar sep : {QChar('.'), QChar('_'), QChar(':'), QChar(';')}) {
        const int pos = text.indexOf(sep);
        if (pos >= 0)
            return pos;
    }
    return -1;
}

int dotCount(const QString &text)
{
    return text.count(QLatin1Char('.'));
}

// A data-block text without its final ".bit": two characters, whatever they are.
QString withoutBit(QString rest)
{
    if (dotCount(rest) > 1)
        rest.chop(2);
    return rest;
}

// I, Q, M, V: the letter, the byte up to the first dot, the bit after it.
// Without a dot the whole rest is both byte and bit (M10 is byte 10, bit 10).
int letterByte(const QString &text)
{
    const QString rest = text.mid(1);
    return TagAddress::leftOrAll(rest, rest.indexOf(QLatin1Char('.'))).toInt(nullptr, 10);
}

unsigned int letterBit(const QString &text)
{
    const QString rest = text.mid(1);
    const int dot = rest.indexOf(QLatin1Char('.'));
    return (dot >= 0 ? rest.mid(dot + 1) : rest).toUInt(nullptr, 10);
}

// V_or_DB, optional block and separator, byte: the byte after the separator.
int vOrDbByte(const QString &text)
{
    const QString rest = withoutBit(text.mid(kVorDbPrefix));
    const int sep = firstSeparator(rest);
    return (sep >= 0 ? TagAddress::rightOrAll(rest, rest.size() - sep - 1) : rest).toInt(nullptr, 10);
}

unsigned int vOrDbBlock(const QString &text)
{
    const QString rest = text.mid(kVorDbPrefix);
    const int sep = firstSeparator(rest);
    return sep >= 0 ? TagAddress::leftOrAll(rest, sep).toUInt(nullptr, 10) : 1;
}

// DB, block, separator, three letters, byte.
int dbByte(const QString &text)
{
    const QString rest = withoutBit(text.mid(kDbPrefix));
    const int sep = firstSeparator(rest);
    return (sep >= 0 ? TagAddress::rightOrAll(rest, rest.size() - sep - 1 - kDbTypeLetters) : rest).toInt(nullptr, 10);
}

unsigned int dbBlock(const QString &text)
{
    const QString rest = text.mid(kDbPrefix);
    const int sep = firstSeparator(rest);
    return (sep >= 0 ? TagAddress::leftOrAll(rest, sep) : rest).toUInt(nullptr, 10);
}

// Data-block texts carry a bit as a final ".digit" behind the byte's own dot.
unsigned int dataBlockBit(const QString &text)
{
    if (dotCount(text) > 1)
        return text.mid(text.lastIndexOf(QLatin1Char('.')) + 1).toUInt(nullptr, 10);
    return 0;
}

bool dataBlockExplicitBit(const QString &text)
{
    return dotCount(text) > 1 && text.size() >= 2 && text.at(text.size() - 2) == QLatin1Char('.')
           && text.back().isDigit();
}

} // namespace

QString TagAddress::leftOrAll(const QString &text, int n)
{
    return n < 0 || n >= text.size() ? text : text.left(n);
}

QString TagAddress::rightOrAll(const QString &text, int n)
{
    return n < 0 || n >= text.size() ? text : text.right(n);
}

TagAddress TagAddress::parse(const QString &text)
{
    const Letters letters(text);
    TagAddress tag;
    switch (letters.form()) {
    case Form::None:
        // No area: the block and bit are the whole text as a number.
        tag.dbNumber = text.toUInt(nullptr, 10);
        tag.bit = tag.dbNumber;
        break;
    case Form::Letter:
        tag.area = letters.letterArea();
        tag.byteAddress = letterByte(text);
        tag.bit = letterBit(text);
        tag.explicitBit = text.contains(QLatin1Char('.'));
        // The block looks for "V_or_DB" and "DB" whatever the area letter
        // (MX5.3DB has block 5); only a data-block area puts it on the wire.
        tag.dbNumber = letters.vOrDb ? vOrDbBlock(text)
                       : letters.db  ? dbBlock(text)
                                     : text.toUInt(nullptr, 10);
        break;
    case Form::VorDb:
        tag.area = S7::AreaDataBlocks;
        tag.byteAddress = vOrDbByte(text);
        tag.dbNumber = vOrDbBlock(text);
        tag.bit = dataBlockBit(text);
        tag.explicitBit = dataBlockExplicitBit(text);
        break;
    case Form::Db:
        tag.area = S7::AreaDataBlocks;
        tag.byteAddress = dbByte(text);
        tag.dbNumber = dbBlock(text);
        tag.bit = dataBlockBit(text);
        tag.explicitBit = dataBlockExplicitBit(text);
        break;
    }
    return tag;
}

TagAddress TagAddress::Cache::parse(const QString &text)
{
    constexpr int kMaxCachedAddresses = 4096;
    constexpr int kMaxCachedLength = 64;
    const auto cached = parsed.constFind(text);
    if (cached != parsed.constEnd())
        return cached.value();
    const TagAddress tag = TagAddress::parse(text);
    if (text.size() > kMaxCachedLength)
        return tag;
    if (parsed.size() >= kMaxCachedAddresses)
        parsed.clear();
    // A deep copy: the host's text may live in memory it frees later.
    parsed.insert(QString(text.constData(), text.size()), tag);
    return tag;
}
