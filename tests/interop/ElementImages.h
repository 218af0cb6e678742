#ifndef QUILLMARSH_ELEMENTIMAGES_H
#define QUILLMARSH_ELEMENTIMAGES_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include "DataType.h"

// Tag values compared by their bit images: every element as an unsigned
// number of the element's own width holding exactly its bits. Floats compare
// bit for bit (signed zeros and NaNs included) and signed types compare
// without sign extension, so a value that is right in meaning but wrong in
// width or sign shows up.
namespace ElementImages {

// Bytes per element on the PLC; 0 for Bool and for types the driver does not serve.
int width(DataType type);

// Images of the elements of a record value, which must hold the QList of the
// type's element type; otherwise empty, with *why saying what it holds.
QList<quint64> ofValue(DataType type, const QVariant &value, QString *why);

// Images of count elements of the given width in PLC memory (big-endian).
QList<quint64> ofMemory(const QByteArray &bytes, int width, int count);

// Bits startBit..7 of every byte, least significant first, as 0 and 1.
QList<quint64> ofBits(const QByteArray &bytes, int startBit);

}

#endif
