#ifndef QUILLMARSH_BENCHCASE_H
#define QUILLMARSH_BENCHCASE_H

#include <QByteArray>
#include <QList>
#include <QString>

#include "DataType.h"

// One measured operation: the tag it addresses, in the plug-in's address
// syntax and as raw data-block coordinates for the other clients, and the
// PLC byte image that a correct read returns or a write leaves behind.
class BenchCase
{
public:
    enum Kind { ReadInt32, ReadBytes, WriteInt32, ReadBatch, KindCount };

    // ReadVariable of one Int32, of a 200-byte UInt8 array, WriteVariable of
    // one Int32: the cases every client runs.
    static QList<BenchCase> all();
    // BatchTags tags of mixed types and counts over inputs, markers and two
    // data blocks, read in one readVariables batch through the plug-in's
    // extension: a case of the plug-in alone, counted, not timed.
    static BenchCase batch();
    static constexpr int BatchTags = 100;
    // The case whose key is given; false when there is none.
    static bool byKey(const QString &key, BenchCase *found);

    bool isWrite() const { return kind == WriteInt32; }

    Kind kind = ReadInt32;
    QString key;        // command-line name: read32, read200, write32, batch100
    QString title;      // table name
    QString address;    // tag address text
    DataType type = NoType;
    int count = 0;      // elements
    int dbNumber = 0;
    int byteAddress = 0;
    QByteArray image;   // big-endian bytes in the PLC
};

#endif
