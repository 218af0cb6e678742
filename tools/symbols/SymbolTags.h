#ifndef QUILLMARSH_SYMBOLTAGS_H
#define QUILLMARSH_SYMBOLTAGS_H

#include <QList>
#include <QString>
#include <QStringList>

#include "CLabelVariable.h"
#include "RecordOutput.h"
#include "TagList.h"

class CommandLine;
class SymbolLeaf;
class SymbolTable;

// The tags of the polling commands (watch, panel) when they may be named by
// symbol: the tag list collected with the data-block sources of --symbols,
// each symbol turned into the leaves it stands for, and every tag's value
// shown and written as its type: a leaf as its S7 type, decoded from the
// bytes read and encoded for a write; a tag by address as the plug-in's.
class SymbolTags
{
public:
    // TAG arguments and --tags FILE, with the sources of --symbols and
    // --number when given. False with *error set.
    static bool collect(const CommandLine &cl, const QStringList &texts, QList<TagList::Entry> *entries,
                        QString *error);
    // Replaces every symbol entry by one entry per leaf it stands for, in
    // address order. A label given for several leaves is followed by the
    // part of each leaf's symbol that tells them apart.
    static bool expand(const SymbolTable &table, QList<TagList::Entry> *entries, QString *error);
    static TagList::Entry entryOf(const SymbolLeaf &leaf, const QString &label = QString());

    // The S7 type of a leaf, else the plug-in's type.
    static QString typeName(const TagList::Entry &entry);
    // The value of a record as read prints it; empty when the record holds
    // none yet, "! REASON" when the bytes hold no value of the leaf's type.
    static QString text(const TagList::Entry &entry, const CLabelVariable &record);
    // The same as JSON values: the plug-in's elements, or a leaf of S7's own
    // types as one text; empty when there is none.
    static RecordOutput::Json values(const TagList::Entry &entry, const CLabelVariable &record);
    // Values a write takes: the tag's count, or one for a leaf.
    static int writeCount(const TagList::Entry &entry);
    // The record that writes the value texts; false with *error set when
    // they do not fit the type (a STRING longer than declared included).
    static bool writeRecord(const TagList::Entry &entry, const QStringList &texts, CLabelVariable *record,
                            QString *error);
};

#endif
