#include "SymbolLexer.h"

namespace {
// Punctuation of two characters first, so that := is not taken for :.
const char *const kPuncts[] = {":=", "..", "=>", "<>", "<=", ">=", ":", ";", ",", ".", "[", "]", "(", ")",
                               "{", "}", "=", "+", "-", "*", "/", "<", ">", "#"};
} // namespace

SymbolLexer::SymbolLexer(const QString &text) : source(text)
{
    if (source.startsWith(QChar(0xFEFF)))   // the byte-order mark of a UTF-8 export
        source.remove(0, 1);
}

QChar SymbolLexer::at(int offset) const
{
    const int i = pos + offset;
    return i < source.size() ? source.at(i) : QChar();
}

void SymbolLexer::advance(int n)
{
    for (int i = 0; i < n && pos < source.size(); ++i) {
        if (source.at(pos) == QLatin1Char('\n')) {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        ++pos;
    }
}

SymbolLexer::Token SymbolLexer::make(Token::Kind kind, const QString &text, int l, int c) const
{
    Token t;
    t.kind = kind;
    t.text = text;
    t.line = l;
    t.column = c;
    return t;
}

SymbolLexer::Token SymbolLexer::next()
{
    while (pos < source.size() && at().isSpace())
        advance();
    const int l = line, c = column;
    if (pos >= source.size())
        return make(Token::End, QString(), l, c);
    const QChar ch = at();
    if (ch == QLatin1Char('/') && at(1) == QLatin1Char('/'))
        return lineComment(l, c);
    if (ch == QLatin1Char('(') && at(1) == QLatin1Char('*'))
        return blockComment(l, c);
    if (ch == QLatin1Char('"'))
        return enclosed(ch, Token::Quoted, l, c);
    if (ch == QLatin1Char('\''))
        return enclosed(ch, Token::Text, l, c);
    if (ch.isLetter() || ch == QLatin1Char('_'))
        return word(l, c);
    if (ch.isDigit())
        return number(l, c);
    for (const char *p : kPuncts) {
        const QString punct = QLatin1String(p);
        if (QStringView(source).mid(pos, punct.size()) == punct) {
            advance(punct.size());
            return make(Token::Punct, punct, l, c);
        }
    }
    advance();
    return make(Token::Other, QString(ch), l, c);
}

QString SymbolLexer::restOfLine()
{
    const int end = source.indexOf(QLatin1Char('\n'), pos);
    const int stop = end < 0 ? source.size() : end;
    const QString text = source.mid(pos, stop - pos).trimmed();
    advance(stop - pos);
    return text;
}

SymbolLexer::Token SymbolLexer::lineComment(int l, int c)
{
    advance(2);
    return make(Token::Comment, restOfLine(), l, c);
}

SymbolLexer::Token SymbolLexer::blockComment(int l, int c)
{
    const int end = source.indexOf(QLatin1String("*)"), pos + 2);
    if (end < 0)
        return make(Token::Error, QStringLiteral("comment (* … has no closing *)"), l, c);
    const QString text = source.mid(pos + 2, end - pos - 2).trimmed();
    advance(end + 2 - pos);
    return make(Token::Comment, text, l, c);
}

SymbolLexer::Token SymbolLexer::enclosed(QChar mark, Token::Kind kind, int l, int c)
{
    // A 'text' keeps its quotes (it is a value); a "name" loses them. Texts
    // escape a quote as $' and names cannot hold one, so the first unescaped
    // mark on the same line closes either.
    int i = pos + 1;
    while (i < source.size() && source.at(i) != mark && source.at(i) != QLatin1Char('\n')) {
        if (kind == Token::Text && source.at(i) == QLatin1Char('$'))
            ++i;
        ++i;
    }
    if (i >= source.size() || source.at(i) != mark)
        return make(Token::Error, QStringLiteral("%1 is not closed on its line").arg(mark), l, c);
    const QString whole = source.mid(pos, i + 1 - pos);
    advance(i + 1 - pos);
    return make(kind, kind == Token::Quoted ? whole.mid(1, whole.size() - 2) : whole, l, c);
}

SymbolLexer::Token SymbolLexer::word(int l, int c)
{
    const int start = pos;
    while (at().isLetterOrNumber() || at() == QLatin1Char('_'))
        advance();
    if (at() == QLatin1Char('#')) {   // T#1S, DT#…, W#16#FF, STRING#'x'
        const QString head = source.mid(start, pos - start);
        return make(Token::Literal, head + literalTail(), l, c);
    }
    return make(Token::Identifier, source.mid(start, pos - start), l, c);
}

SymbolLexer::Token SymbolLexer::number(int l, int c)
{
    const int start = pos;
    while (at().isDigit())
        advance();
    if (at() == QLatin1Char('#')) {   // 16#FF, 2#0101
        const QString head = source.mid(start, pos - start);
        return make(Token::Literal, head + literalTail(), l, c);
    }
    if (at() == QLatin1Char('.') && at(1).isDigit()) {
        advance();
        while (at().isDigit())
            advance();
    }
    if ((at() == QLatin1Char('e') || at() == QLatin1Char('E'))
        && (at(1).isDigit() || ((at(1) == QLatin1Char('+') || at(1) == QLatin1Char('-')) && at(2).isDigit()))) {
        advance(2);
        while (at().isDigit())
            advance();
    }
    return make(Token::Number, source.mid(start, pos - start), l, c);
}

QString SymbolLexer::literalTail()
{
    // From the # up to a blank or a separator; a quoted text after the #
    // (STRING#'a b') is taken whole.
    const int start = pos;
    advance();
    if (at() == QLatin1Char('\'')) {
        const Token t = enclosed(at(), Token::Text, line, column);
        return source.mid(start, 1) + (t.kind == Token::Text ? t.text : QString());
    }
    static const QString stops = QStringLiteral(";,)]}([{");
    while (pos < source.size() && !at().isSpace() && !stops.contains(at()))
        advance();
    return source.mid(start, pos - start);
}
