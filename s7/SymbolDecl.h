#ifndef QUILLMARSH_SYMBOLDECL_H
#define QUILLMARSH_SYMBOLDECL_H

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <memory>

#include "S7Type.h"

// The declarations of a data-block source as the parser reads them: plain
// data, laid out by SymbolLayout.

// Where a declaration stands in its source, for error messages.
struct SourcePlace
{
    QString file;
    int line = 0;
    int column = 0;
    QString text() const { return QStringLiteral("%1:%2:%3").arg(file).arg(line).arg(column); }
};

struct MemberDecl;

// A member's type: elementary, a STRUCT of its own, an ARRAY of another type,
// or a reference by name to a TYPE (UDT) or FUNCTION_BLOCK.
struct TypeDecl
{
    enum Form { Elementary, Struct, Array, Named };
    Form form = Elementary;
    S7Type elementary;
    QList<MemberDecl> members;               // Struct
    QList<QPair<qint64, qint64>> bounds;     // Array: lower and upper bound per dimension
    std::shared_ptr<TypeDecl> element;       // Array
    QString name;                            // Named: as written, without quotes
    SourcePlace place;
};

struct MemberDecl
{
    QString name;
    TypeDecl type;
    QString initial;    // the text after :=, or empty
    QString comment;
    QMap<QString, QString> attributes;   // {ExternalAccessible := 'False'} and the like
    SourcePlace place;
};

// The interface sections of a FUNCTION_BLOCK that its instance data holds.
enum class Section { Input, Output, InOut, Static };

struct BlockDecl
{
    enum Kind { DataType, DataBlock, FunctionBlock };
    Kind kind = DataBlock;
    QString name;       // "Motor_DB", or "DB5" for DATA_BLOCK DB 5
    int number = 0;     // 0 when the source names no number
    bool optimized = false;
    QList<MemberDecl> members;   // TYPE and DATA_BLOCK with STRUCT/VAR
    QList<QPair<Section, MemberDecl>> interface;   // FUNCTION_BLOCK
    QString instanceOf;          // DATA_BLOCK of a UDT or FB type: its name
    QList<QPair<QString, QString>> beginValues;    // BEGIN section: path and value texts
    SourcePlace place;
};

#endif
