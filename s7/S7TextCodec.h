#ifndef QUILLMARSH_S7TEXTCODEC_H
#define QUILLMARSH_S7TEXTCODEC_H

#include <QByteArray>
#include <QString>

#include "S7Type.h"

// STRING, WSTRING, CHAR and WCHAR between their bytes in a block and text.
// STRING[n] is its maximum length n and current length, one byte each, and
// n characters (Latin-1); WSTRING[n] the same in words (UTF-16). A value may
// be given plain or as an S7 literal in single quotes with $ escapes
// ('It$'s', '$0A'). Pure functions.
class S7TextCodec
{
public:
    static bool handles(S7Type::Kind kind);
    // bytes holds at least type.size() bytes. False with *error set when the
    // current length passes the maximum.
    static bool decode(const S7Type &type, const QByteArray &bytes, QString *text, QString *error);
    // The whole field, padded with zeros; false with *error set when the text
    // is longer than declared or holds a character the type cannot.
    static bool encode(const S7Type &type, const QString &text, QByteArray *out, QString *error);
    // 'a$'b' -> a'b; text without quotes stays as it is. False when malformed.
    static bool unquote(const QString &text, QString *plain);
};

#endif
