#ifndef QUILLMARSH_SYMBOLLEXER_H
#define QUILLMARSH_SYMBOLLEXER_H

#include <QString>

// Cuts the text of a data-block source into tokens: identifiers (keywords
// included), "quoted names", 'texts', numbers, typed literals (T#1S,
// 16#FF, DT#2026-12-06-10:00:00), comments (// to the end of the line and
// (* … *)), and punctuation. Each token knows its line and column (from 1).
// Characters it has no use for become Other tokens, so that the code of a
// block's body can be skipped; only an unterminated text, name or comment is
// an error.
class SymbolLexer
{
public:
    struct Token
    {
        enum Kind { End, Identifier, Quoted, Text, Number, Literal, Comment, Punct, Other, Error };
        Kind kind = End;
        QString text;   // the token as written; a Quoted or Comment without its marks
        int line = 0;
        int column = 0;
        bool is(const char *punct) const { return kind == Punct && text == QLatin1String(punct); }
        // An identifier equal to word, any letter case.
        bool isWord(const char *word) const
        {
            return kind == Identifier && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
        }
    };

    explicit SymbolLexer(const QString &text);
    Token next();
    // The raw text from here to the end of the line (TITLE = …).
    QString restOfLine();

private:
    QChar at(int offset = 0) const;
    void advance(int n = 1);
    Token make(Token::Kind kind, const QString &text, int line, int column) const;
    Token lineComment(int line, int column);
    Token blockComment(int line, int column);
    Token enclosed(QChar mark, Token::Kind kind, int line, int column);
    Token word(int line, int column);
    Token number(int line, int column);
    QString literalTail();

    QString source;
    int pos = 0;
    int line = 1;
    int column = 1;
};

#endif
