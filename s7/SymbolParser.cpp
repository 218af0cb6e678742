#include "SymbolParser.h"

#include <QRegularExpression>

namespace {
struct ParseFailure
{
    QString message;
};

// Keywords of a block header that stand alone.
const char *const kHeaderFlags[] = {"NON_RETAIN", "UNLINKED", "READ_ONLY", "KNOW_HOW_PROTECT", "CODE_VERSION1",
                                    "STANDARD", "RETAIN"};
// Keywords of a block header followed by ': value' up to the end of the line.
const char *const kHeaderFields[] = {"AUTHOR", "FAMILY", "NAME", "VERSION"};
// Block kinds a type or an instance may be named by with a number (UDT 5).
const char *const kNumberedKinds[] = {"DB", "UDT", "FB", "SFB", "FC", "SFC", "OB"};
const int kMaxDimensions = 6;

bool isNumberedKind(const QString &word)
{
    for (const char *k : kNumberedKinds) {
        if (word.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
} // namespace

SymbolParser::SymbolParser(const QString &text, const QString &file) : lexer(text), fileName(file) {}

bool SymbolParser::parse(QList<BlockDecl> *blocks, QString *error)
{
    try {
        while (peek().kind != Token::End)
            block(blocks);
        return true;
    } catch (const ParseFailure &f) {
        *error = f.message;
        return false;
    }
}

SymbolParser::Token SymbolParser::peek()
{
    while (!hasLookahead) {
        lookahead = lexer.next();
        if (lookahead.kind == Token::Error)
            fail(lookahead, lookahead.text);
        if (lookahead.kind == Token::Comment) {
            if (!commentsByLine.contains(lookahead.line))
                commentsByLine.insert(lookahead.line, lookahead.text);
            continue;
        }
        hasLookahead = true;
    }
    return lookahead;
}

SymbolParser::Token SymbolParser::take()
{
    const Token t = peek();
    hasLookahead = false;
    return t;
}

void SymbolParser::fail(const Token &at, const QString &message) const
{
    throw ParseFailure{QStringLiteral("%1: %2").arg(placeOf(at).text(), message)};
}

SourcePlace SymbolParser::placeOf(const Token &t) const
{
    SourcePlace p;
    p.file = fileName;
    p.line = t.line;
    p.column = t.column;
    return p;
}

void SymbolParser::expectPunct(const char *punct)
{
    const Token t = take();
    if (!t.is(punct))
        fail(t, QStringLiteral("expected '%1', found '%2'").arg(QLatin1String(punct), t.text));
}

void SymbolParser::expectWord(const char *word)
{
    const Token t = take();
    if (!t.isWord(word))
        fail(t, QStringLiteral("expected %1, found '%2'").arg(QLatin1String(word), t.text));
}

void SymbolParser::block(QList<BlockDecl> *blocks)
{
    const Token t = take();
    BlockDecl b;
    b.place = placeOf(t);
    if (t.isWord("TYPE")) {
        b.kind = BlockDecl::DataType;
        typeBlock(&b);
    } else if (t.isWord("DATA_BLOCK")) {
        b.kind = BlockDecl::DataBlock;
        dataBlock(&b);
    } else if (t.isWord("FUNCTION_BLOCK")) {
        b.kind = BlockDecl::FunctionBlock;
        functionBlock(&b);
    } else if (t.isWord("FUNCTION")) {
        skipBody("END_FUNCTION");
        return;
    } else if (t.isWord("ORGANIZATION_BLOCK")) {
        skipBody("END_ORGANIZATION_BLOCK");
        return;
    } else {
        fail(t, QStringLiteral("expected TYPE, DATA_BLOCK, FUNCTION_BLOCK, FUNCTION or ORGANIZATION_BLOCK, found '%1'")
                    .arg(t.text));
    }
    blocks->append(b);
}

void SymbolParser::blockName(BlockDecl *block)
{
    const Token t = take();
    if (t.kind == Token::Quoted && !t.text.isEmpty()) {
        block->name = t.text;
        return;
    }
    if (t.kind != Token::Identifier)
        fail(t, QStringLiteral("expected the block's name, found '%1'").arg(t.text));
    // DATA_BLOCK DB 5, TYPE UDT 7, FUNCTION_BLOCK FB 10, or DB5 in one word.
    static const QRegularExpression joined(QStringLiteral("^(DB|UDT|FB)(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    QString kind = t.text.toUpper(), digits;
    const QRegularExpressionMatch m = joined.match(t.text);
    if (m.hasMatch()) {
        kind = m.captured(1).toUpper();
        digits = m.captured(2);
    } else if (isNumberedKind(t.text) && peek().kind == Token::Number) {
        digits = take().text;
    }
    block->name = digits.isEmpty() ? t.text : kind + digits;
    if (kind == QLatin1String("DB") && !digits.isEmpty())
        block->number = digits.toInt();
}

void SymbolParser::header(BlockDecl *block)
{
    for (;;) {
        const Token t = peek();
        if (t.is("{")) {
            const QMap<QString, QString> attrs = attributes();
            for (auto it = attrs.begin(); it != attrs.end(); ++it) {
                if (it.key().compare(QLatin1String("S7_Optimized_Access"), Qt::CaseInsensitive) == 0)
                    block->optimized = it.value().compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
            }
            continue;
        }
        bool known = false;
        if (t.isWord("TITLE")) {
            take();
            lexer.restOfLine();
            known = true;
        }
        for (const char *f : kHeaderFields) {
            if (!known && t.isWord(f)) {
                take();
                expectPunct(":");
                lexer.restOfLine();
                known = true;
            }
        }
        for (const char *f : kHeaderFlags) {
            if (!known && t.isWord(f)) {
                take();
                known = true;
            }
        }
        if (!known)
            return;
    }
}

void SymbolParser::sectionFlags()
{
    // VAR RETAIN, VAR NON_RETAIN, VAR DB_SPECIFIC: where the values live,
    // not how they are laid out.
    while (peek().isWord("RETAIN") || peek().isWord("NON_RETAIN") || peek().isWord("DB_SPECIFIC"))
        take();
}

QMap<QString, QString> SymbolParser::attributes()
{
    QMap<QString, QString> attrs;
    expectPunct("{");
    while (!peek().is("}")) {
        const Token key = take();
        if (key.kind != Token::Identifier && key.kind != Token::Quoted)
            fail(key, QStringLiteral("expected an attribute name, found '%1'").arg(key.text));
        expectPunct(":=");
        const Token value = take();
        if (value.kind == Token::End)
            fail(value, QStringLiteral("attribute list has no closing }"));
        QString v = value.text;
        if (value.kind == Token::Text)
            v = v.mid(1, v.size() - 2);
        attrs.insert(key.text, v);
        if (peek().is(";"))
            take();
    }
    take();
    return attrs;
}

void SymbolParser::typeBlock(BlockDecl *block)
{
    blockName(block);
    if (peek().is(":"))
        take();
    header(block);
    const Token t = take();
    if (!t.isWord("STRUCT"))
        fail(t, QStringLiteral("expected STRUCT, found '%1'").arg(t.text));
    block->members = members("END_STRUCT");
    if (peek().is(";"))
        take();
    expectWord("END_TYPE");
}

void SymbolParser::dataBlock(BlockDecl *block)
{
    blockName(block);
    header(block);
    const Token t = peek();
    if (t.isWord("STRUCT")) {
        take();
        block->members = members("END_STRUCT");
        if (peek().is(";"))
            take();
    } else if (t.isWord("VAR")) {
        while (peek().isWord("VAR")) {
            take();
            sectionFlags();
            block->members += members("END_VAR");
        }
    } else if (t.kind == Token::Quoted || (t.kind == Token::Identifier && !t.isWord("BEGIN"))) {
        BlockDecl type;
        blockName(&type);
        block->instanceOf = type.name;
    }
    if (peek().isWord("BEGIN")) {
        take();
        beginSection(block);
    }
    expectWord("END_DATA_BLOCK");
}

void SymbolParser::functionBlock(BlockDecl *block)
{
    blockName(block);
    header(block);
    while (interfaceSection(block)) {
    }
    const Token t = take();
    if (t.isWord("END_FUNCTION_BLOCK"))
        return;
    if (!t.isWord("BEGIN"))
        fail(t, QStringLiteral("expected a VAR section or BEGIN, found '%1'").arg(t.text));
    skipBody("END_FUNCTION_BLOCK");
}

bool SymbolParser::interfaceSection(BlockDecl *block)
{
    const Token t = peek();
    bool kept = true;
    Section section = Section::Static;
    if (t.isWord("VAR_INPUT")) {
        section = Section::Input;
    } else if (t.isWord("VAR_OUTPUT")) {
        section = Section::Output;
    } else if (t.isWord("VAR_IN_OUT")) {
        section = Section::InOut;
    } else if (t.isWord("VAR_TEMP")) {
        kept = false;   // temporary data lives on the local stack, not in the instance
    } else if (!t.isWord("VAR") && !t.isWord("VAR_STAT")) {
        return false;
    }
    take();
    if (peek().isWord("CONSTANT")) {
        take();
        kept = false;   // constants take no room in the instance
    }
    sectionFlags();
    for (const MemberDecl &m : members("END_VAR")) {
        if (kept)
            block->interface.append({section, m});
    }
    return true;
}

void SymbolParser::beginSection(BlockDecl *block)
{
    while (!peek().isWord("END_DATA_BLOCK")) {
        QString path;
        while (!peek().is(":=")) {
            const Token t = take();
            if (t.kind == Token::End || t.is(";"))
                fail(t, QStringLiteral("expected 'member := value;' in the BEGIN section"));
            path += t.kind == Token::Quoted ? QLatin1Char('"') + t.text + QLatin1Char('"') : t.text;
        }
        take();
        block->beginValues.append({path, tokensUntilSemicolon()});
    }
}

void SymbolParser::skipBody(const char *endWord)
{
    for (;;) {
        const Token t = take();
        if (t.kind == Token::End)
            fail(t, QStringLiteral("missing %1").arg(QLatin1String(endWord)));
        if (t.isWord(endWord))
            return;
        if (t.isWord("TITLE"))   // a network title is free text
            lexer.restOfLine();
    }
}

QList<MemberDecl> SymbolParser::members(const char *endWord)
{
    QList<MemberDecl> list;
    while (!peek().isWord(endWord))
        list.append(member());
    take();
    return list;
}

MemberDecl SymbolParser::member()
{
    const Token name = take();
    if ((name.kind != Token::Identifier && name.kind != Token::Quoted) || name.text.isEmpty())
        fail(name, QStringLiteral("expected a member name, found '%1'").arg(name.text));
    MemberDecl m;
    m.name = name.text;
    m.place = placeOf(name);
    if (peek().is("{"))
        m.attributes = attributes();
    if (peek().isWord("AT"))
        fail(peek(), QStringLiteral("AT overlays are not supported"));
    expectPunct(":");
    m.type = typeOf();
    if (m.type.form == TypeDecl::Struct) {
        if (peek().is(";"))
            take();
    } else {
        if (peek().is(":=")) {
            take();
            m.initial = tokensUntilSemicolon();
        } else {
            expectPunct(";");
        }
    }
    peek();   // lexes a comment that ends the member's line
    m.comment = commentsByLine.value(name.line);
    return m;
}

TypeDecl SymbolParser::typeOf()
{
    const Token t = take();
    TypeDecl type;
    type.place = placeOf(t);
    if (t.isWord("ARRAY"))
        return arrayOf(t);
    if (t.isWord("STRUCT")) {
        type.form = TypeDecl::Struct;
        type.members = members("END_STRUCT");
        return type;
    }
    if (t.kind == Token::Quoted) {
        type.form = TypeDecl::Named;
        type.name = t.text;
        return type;
    }
    if (t.kind != Token::Identifier)
        fail(t, QStringLiteral("expected a type, found '%1'").arg(t.text));
    if (isNumberedKind(t.text) && peek().kind == Token::Number) {
        type.form = TypeDecl::Named;
        type.name = t.text.toUpper() + take().text;
        return type;
    }
    type.elementary = S7Type::fromName(t.text);
    if (!type.elementary.isValid()) {
        type.form = TypeDecl::Named;
        type.name = t.text;
        return type;
    }
    if (type.elementary.isString() && peek().is("[")) {
        take();
        const Token n = peek();
        const qint64 length = wholeNumber();
        const int most = type.elementary.kind == S7Type::String ? S7Type::kMaxStringLength : S7Type::kMaxWStringLength;
        if (length < 0 || length > most)
            fail(n, QStringLiteral("%1 length %2 is not 0 to %3").arg(t.text.toUpper()).arg(length).arg(most));
        type.elementary.length = int(length);
        expectPunct("]");
    }
    return type;
}

TypeDecl SymbolParser::arrayOf(const Token &at)
{
    TypeDecl type;
    type.form = TypeDecl::Array;
    type.place = placeOf(at);
    expectPunct("[");
    for (;;) {
        const Token first = peek();
        const qint64 low = wholeNumber();
        expectPunct("..");
        const qint64 high = wholeNumber();
        if (high < low)
            fail(first, QStringLiteral("array bounds %1..%2 run backwards").arg(low).arg(high));
        type.bounds.append({low, high});
        if (type.bounds.size() > kMaxDimensions)
            fail(first, QStringLiteral("an array has at most %1 dimensions").arg(kMaxDimensions));
        if (!peek().is(","))
            break;
        take();
    }
    expectPunct("]");
    expectWord("OF");
    type.element = std::make_shared<TypeDecl>(typeOf());
    if (type.element->form == TypeDecl::Array)
        fail(at, QStringLiteral("an array of arrays is not an S7 type; give one array several dimensions"));
    return type;
}

qint64 SymbolParser::wholeNumber()
{
    Token t = take();
    const bool negative = t.is("-");
    if (negative || t.is("+"))
        t = take();
    bool ok = false;
    const qint64 v = t.text.toLongLong(&ok);
    if (t.kind != Token::Number || !ok)
        fail(t, QStringLiteral("expected a whole number, found '%1'").arg(t.text));
    return negative ? -v : v;
}

QString SymbolParser::tokensUntilSemicolon()
{
    QString text;
    int depth = 0;
    for (;;) {
        const Token t = take();
        if (t.kind == Token::End)
            fail(t, QStringLiteral("missing ';'"));
        if (t.is(";") && depth == 0)
            return text;
        if (t.is("(") || t.is("["))
            ++depth;
        if (t.is(")") || t.is("]"))
            --depth;
        text += t.kind == Token::Quoted ? QLatin1Char('"') + t.text + QLatin1Char('"') : t.text;
        if (t.is(","))
            text += QLatin1Char(' ');
    }
}
