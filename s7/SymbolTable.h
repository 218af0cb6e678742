#ifndef QUILLMARSH_SYMBOLTABLE_H
#define QUILLMARSH_SYMBOLTABLE_H

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "SymbolDecl.h"
#include "SymbolLeaf.h"

// The data blocks of one or more sources, laid out, and their symbols.
// Usage: addFile() for each source, setNumber() for each --number, build(),
// then leaves() or resolve().
class SymbolTable
{
public:
    struct Block
    {
        QString name;
        int number = 0;
        int size = 0;    // bytes, even
        QList<SymbolLeaf> leaves;
    };

    // Reads and parses one source (UTF-8, or Latin-1 where it is not UTF-8).
    bool addFile(const QString &path, QString *error);
    bool addSource(const QString &text, const QString &name, QString *error);
    // NAME=N or "NAME"=N: the number of a block whose source names none
    // (or another one).
    bool setNumber(const QString &assignment, QString *error);
    // Lays out every data block. False with *error for an optimized block,
    // a block without a number, a type missing from the sources, a name or
    // number given twice.
    bool build(QString *error);

    QList<Block> blocks() const { return built; }
    // Every leaf of every block, block by block in address order.
    QList<SymbolLeaf> leaves() const;
    // The leaves a symbol stands for: a leaf itself, or every leaf of a
    // struct, array element, array or block, in address order. The block
    // and member names may be quoted or not; letter case does not matter.
    bool resolve(const QString &symbol, QList<SymbolLeaf> *leaves, QString *error) const;

    // "Motor_DB".Axis[2, 1].Speed -> motor_db.axis[2,1].speed; false with
    // *error for text that is no symbol.
    static bool canonicalKey(const QString &symbol, QString *key, QString *error);

private:
    QList<BlockDecl> decls;
    QMap<QString, int> numbers;   // by lower-case block name
    QMap<QString, QString> numberTexts;
    QList<Block> built;
};

#endif
