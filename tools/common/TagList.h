#ifndef QUILLMARSH_TAGLIST_H
#define QUILLMARSH_TAGLIST_H

#include <QList>
#include <QString>
#include <QStringList>

#include "TagSpec.h"

// The tags a polling command works on: ADDRESS:TYPE[:COUNT] texts from the
// command line followed by the lines of a tag-list file. A file line is
//   address,type[,count[,label]]
// with blanks around fields ignored; the label is the rest of the line, so it
// may hold commas. Blank lines and lines starting with # are skipped.
class TagList
{
public:
    struct Entry
    {
        TagSpec tag;
        QString name;    // as on the command line, or ADDRESS:TYPE[:COUNT] from a file line
        QString label;   // empty when none was given
        // The label when there is one, else the name.
        QString title() const { return label.isEmpty() ? name : label; }
    };

    // False with *error set ("FILE:LINE: …" for a bad file line) on the first
    // tag that is not acceptable, or when no tag is given at all.
    static bool collect(const QStringList &texts, const QString &filePath, QList<Entry> *entries,
                        QString *error);
    // The lines of a tag-list file's text; source names it in errors.
    static bool parseFile(const QString &text, const QString &source, QList<Entry> *entries,
                          QString *error);

    static QList<TagSpec> specs(const QList<Entry> &entries);
};

#endif
