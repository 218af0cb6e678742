#ifndef QUILLMARSH_TAGSPEC_H
#define QUILLMARSH_TAGSPEC_H

#include <QString>

#include "DataType.h"

// One tag as the user names it: address text, data type and element count.
// Only what can be judged without the PLC is checked here; the plug-in's
// status codes report everything else about an address.
class TagSpec
{
public:
    QString address;
    DataType type = NoType;
    int count = 1;
    // Numeric scalars get a trend (watch, panel).
    bool hasTrend() const { return count == 1 && type != Bool; }
    // A warning for the user about how the plug-in will read the address;
    // empty when there is nothing to say.
    QString note;

    // "ADDRESS:TYPE[:COUNT]". The type and count are taken from the end, so
    // an address may itself hold colons (V_or_DB5:100:Int16).
    static bool parse(const QString &text, TagSpec *tag, QString *error);
    // Checks an address, a type name and a count text given separately.
    static bool make(const QString &address, const QString &typeName, const QString &countText,
                     TagSpec *tag, QString *error);

    // True when the address holds a memory area's letters (I, Q, M, V or DB,
    // any case). Without one the plug-in could only refuse it.
    static bool namesArea(const QString &address);
    // The warning for a letter-form address with a width letter (MW10, QB4,
    // VW100), which the plug-in reads as byte 0; empty for any other address.
    static QString widthLetterNote(const QString &address);
    static bool parseCount(const QString &text, int *count, QString *error);
};

#endif
