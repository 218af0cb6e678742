#ifndef QUILLMARSH_SYMBOLPARSER_H
#define QUILLMARSH_SYMBOLPARSER_H

#include <QList>
#include <QMap>
#include <QString>

#include "SymbolDecl.h"
#include "SymbolLexer.h"

// Reads the declarations of a source that an S7 engineering tool exported:
// TYPE (UDT), DATA_BLOCK and FUNCTION_BLOCK with their attributes, STRUCT,
// VAR sections, ARRAYs, initial values and the BEGIN section, in TIA
// Portal's SCL form and in STEP 7's AWL form. The code of FUNCTION_BLOCK,
// FUNCTION and ORGANIZATION_BLOCK bodies is skipped.
class SymbolParser
{
public:
    SymbolParser(const QString &text, const QString &file);
    // False with *error as "FILE:LINE:COLUMN: what is wrong".
    bool parse(QList<BlockDecl> *blocks, QString *error);

private:
    using Token = SymbolLexer::Token;

    Token peek();
    Token take();
    [[noreturn]] void fail(const Token &at, const QString &message) const;
    void expectPunct(const char *punct);
    void expectWord(const char *word);
    SourcePlace placeOf(const Token &t) const;

    void block(QList<BlockDecl> *blocks);
    void blockName(BlockDecl *block);
    void header(BlockDecl *block);
    QMap<QString, QString> attributes();
    void sectionFlags();
    void typeBlock(BlockDecl *block);
    void dataBlock(BlockDecl *block);
    void functionBlock(BlockDecl *block);
    bool interfaceSection(BlockDecl *block);
    void beginSection(BlockDecl *block);
    void skipBody(const char *endWord);
    QList<MemberDecl> members(const char *endWord);
    MemberDecl member();
    TypeDecl typeOf();
    TypeDecl arrayOf(const Token &at);
    qint64 wholeNumber();
    QString tokensUntilSemicolon();

    SymbolLexer lexer;
    QString fileName;
    Token lookahead;
    bool hasLookahead = false;
    QMap<int, QString> commentsByLine;   // the first comment on each line
};

#endif
