#ifndef QUILLMARSH_S7CODEC_H
#define QUILLMARSH_S7CODEC_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "S7Type.h"

// Every S7 type between its bytes in a block and its value, by the codec
// of its kind: numbers and bits (S7NumberCodec, which decodes the plug-in's
// types as the plug-in does, into the one-element list a record carries),
// times and dates (S7TimeCodec), characters and strings (S7TextCodec); the
// last two give their text as the value. Pure functions.
class S7Codec
{
public:
    struct Value
    {
        QVariant value;   // QList<T> of the served type, or a QString
        QString text;     // as read prints it
        QString error;    // set when the bytes hold no value of the type
        bool ok() const { return error.isEmpty(); }
    };

    // The value in the first type.size() bytes (a BOOL: bit 0 of the first
    // byte). Too few bytes give an error, never a read past them.
    static Value decode(const S7Type &type, const QByteArray &bytes);
    // The bytes a value literal stands for (a BOOL: one byte, 01 or 00):
    // 5, 0x1F, 16#1F, W#16#1F, INT#5, 1.5, true, T#1S, D#2026-12-06, 'text';
    // false with *error set when the text is malformed or out of the type's
    // range.
    static bool encode(const S7Type &type, const QString &text, QByteArray *out, QString *error);
    // VALUE[,VALUE…] split at commas outside single-quoted texts.
    static QStringList splitValues(const QString &text);
};

#endif
