#ifndef QUILLMARSH_TAGLIST_H
#define QUILLMARSH_TAGLIST_H

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

#include "TagSpec.h"

class SymbolLeaf;

// The tags a polling command works on: ADDRESS:TYPE[:COUNT] texts from the
// command line followed by the lines of a tag-list file. A file line is
//   address,type[,count[,label]]
// with blanks around fields ignored; the label is the rest of the line, so it
// may hold commas. Blank lines and lines starting with # are skipped.
// With data-block sources given, a symbol stands where the address is and
// the type and count are left empty, as the source gives them:
//   symbol[,,,label]
// and a command-line tag without a colon is a symbol. Symbols are collected
// as written; SymbolTags turns each into the leaves it stands for.
// A line starting with -- holds connection options as on the command line
//   --cpu s7-300
// (a line no older file holds, as it was never a tag); the command line's
// own options override them.
class TagList
{
public:
    struct Entry
    {
        TagSpec tag;
        QString name;    // as on the command line, ADDRESS:TYPE[:COUNT] from a file line, or the leaf's symbol
        QString label;   // empty when none was given
        QString symbol;  // a symbol as written, until it is resolved
        QString origin;  // "FILE:LINE" of a file line, for errors
        // The leaf of a data block this tag reads; null for a tag by address.
        std::shared_ptr<const SymbolLeaf> leaf;
        // Read as the bytes of one of S7's own types and shown decoded.
        bool s7Decoded = false;
        // The label when there is one, else the name.
        QString title() const { return label.isEmpty() ? name : label; }
        // Numeric scalars of the plug-in's types get a trend (watch, panel).
        bool hasTrend() const { return !s7Decoded && tag.hasTrend(); }
    };

    // False with *error set ("FILE:LINE: …" for a bad file line) on the first
    // tag that is not acceptable, or when no tag is given at all. symbols
    // says whether data-block sources were given.
    static bool collect(const QStringList &texts, const QString &filePath, bool symbols, QList<Entry> *entries,
                        QString *error);
    // The lines of a tag-list file's text; source names it in errors.
    static bool parseFile(const QString &text, const QString &source, bool symbols, QList<Entry> *entries,
                          QString *error);

    static QList<TagSpec> specs(const QList<Entry> &entries);
    // The whole text of a tag-list file, or false with *error set.
    static bool readFile(const QString &filePath, QString *text, QString *error);
    // The connection options of a tag-list file's text, as arguments.
    static QStringList connectionArguments(const QString &text);
};

#endif
