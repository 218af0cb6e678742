#ifndef QUILLMARSH_TAGADDRESS_H
#define QUILLMARSH_TAGADDRESS_H

#include <QHash>
#include <QString>

#include "S7Memory.h"

// A tag address text (M10.3, DB1.DBW20, V_or_DB5.100.3, V100) taken apart
// into the numbers a read or write job needs. The parse does no validation:
// pieces that are not numbers read as 0, and a text without any area letter
// has byte address -1; the read and write paths judge the numbers.
class TagAddress
{
public:
    int area = S7::AreaNone; // an S7 area code; V memory is data-block memory
    int byteAddress = -1;
    unsigned int dbNumber = 0;
    unsigned int bit = 0;
    bool explicitBit = false; // the text names one bit: M0.1, DB1.DBX10.3

    static TagAddress parse(const QString &text);
    // QString::left/right as address and connection texts are cut: a length
    // outside 0..size takes the whole text.
    static QString leftOrAll(const QString &text, int n);
    static QString rightOrAll(const QString &text, int n);

    // The parses of recently used texts: hosts read the same tags over and
    // over, and a parse is a pure function of the text.
    class Cache
    {
    public:
        TagAddress parse(const QString &text);

    private:
        QHash<QString, TagAddress> parsed;
    };
};

#endif
