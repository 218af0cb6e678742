#ifndef QUILLMARSH_S7ADDRESS_H
#define QUILLMARSH_S7ADDRESS_H

#include <QString>

#include "S7Memory.h"

// A place in an S7 CPU's memory in the forms engineering tools write, any
// letter case: I, Q, M or V with an optional width letter (B, W, D, or X
// with a bit), a byte and an optional bit (M10, MW10, I0.3, QB4, V100);
// DBn.DBB, .DBW, .DBD or .DBX with a byte and for X a bit (DB1.DBW0,
// DB1.DBX4.1); Tn or Cn, a timer or counter. V memory is data block 1.
// The plug-in reads the letter forms without a width letter and the block
// forms the same way; text() writes a place so.
class S7Address
{
public:
    // False with *error set when text is none of those forms, or its block,
    // byte or bit is out of range.
    static bool parse(const QString &text, S7Address *address, QString *error);

    int area = S7::AreaNone;
    int dbNumber = 0;   // data blocks only
    int byte = 0;       // timers and counters take two bytes each: T5 is byte 10
    int bit = -1;       // -1: the address names bytes
    int width = 1;      // bytes the width letter names (2 for timers and counters)
    bool widthGiven = false;

    // The place as the plug-in reads it: M10, M10.3, DB1.DBX0.3, or
    // DB1.DBB4, DB1.DBW4, DB1.DBD4 by width; empty for timers and counters.
    QString text() const;
};

#endif
