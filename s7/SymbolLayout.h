#ifndef QUILLMARSH_SYMBOLLAYOUT_H
#define QUILLMARSH_SYMBOLLAYOUT_H

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "S7Memory.h"
#include "SymbolDecl.h"
#include "SymbolLeaf.h"

// Lays a data block with standard (non-optimized) access out the way the
// CPU holds it, and lists its leaves in address order. The rules and their
// sources are at the top of SymbolLayout.cpp.
class SymbolLayout
{
public:
    // types: every TYPE and FUNCTION_BLOCK of the sources, by lower-case name.
    explicit SymbolLayout(const QMap<QString, const BlockDecl *> &types);
    // False with *error ("FILE:LINE:COLUMN: …") for an optimized block, a
    // type not declared in the sources, or a block past 65536 bytes.
    bool layOut(const BlockDecl &block, int number, QList<SymbolLeaf> *leaves, int *size, QString *error);

    // The symbol text of a block or member name: quoted unless it is a plain
    // identifier (blocks named by number, DB5, stay unquoted).
    static QString displayName(const QString &name, bool isBlock);

private:
    struct Place
    {
        QString symbol;
        QString key;
        QString parent;
        QString comment;
        QString initial;
        SourcePlace source;
    };

    void members(const QList<MemberDecl> &list, const Place &at);
    void member(const MemberDecl &m, const Place &at);
    void place(const TypeDecl &type, const Place &at);
    void elementary(const S7Type &type, const Place &at);
    void array(const TypeDecl &type, const Place &at);
    void named(const TypeDecl &type, const Place &at);
    void functionBlock(const BlockDecl &fb, const Place &at);
    void applyBeginValues(const BlockDecl &block);
    void alignByte();
    void alignWord();
    [[noreturn]] void fail(const SourcePlace &where, const QString &message) const;

    QMap<QString, const BlockDecl *> types;
    QStringList typeStack;   // named types being laid out, to catch a type that holds itself
    QList<SymbolLeaf> out;
    QString blockName;
    int dbNumber = 0;
    qint64 bitPos = 0;
};

#endif
