#ifndef QUILLMARSH_SIMSYMBOLS_H
#define QUILLMARSH_SIMSYMBOLS_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "SymbolTable.h"

class SimPlc;

// The simulated PLC's data blocks from S7 sources (--symbols FILE, with
// --number NAME=N): each block served at its laid-out size, holding the
// values its source declares and sets in BEGIN, and for every other leaf
// the value a CPU starts it with.
class SimSymbols
{
public:
    // Loads the sources and adds their blocks to plc, replacing blocks of
    // the same numbers; false with *error set, and plc left as it was.
    static bool serve(SimPlc *plc, const QStringList &files, const QStringList &numbers, QString *error);
    // The bytes of a block as its start values make them.
    static bool image(const SymbolTable::Block &block, QByteArray *bytes, QString *error);
};

#endif
