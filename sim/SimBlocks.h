#ifndef QUILLMARSH_SIMBLOCKS_H
#define QUILLMARSH_SIMBLOCKS_H

#include <QByteArray>

class SimCpuProfile;
class SimMemory;

// The block functions of user data (group 3) as a CPU answers them about
// its blocks, which here are its data blocks only: how many blocks of each
// type, the numbers of one type, and one block's header. Pure functions
// from the memory to the payload of the answer.
class SimBlocks
{
public:
    // Every block type with its count, in the order CPUs list them.
    static QByteArray listAll(const SimMemory &memory);
    // Number, flags and language of each block of the type ('8' OB, 'A'
    // DB, ...); empty when there is none.
    static QByteArray listOfType(char type, const SimMemory &memory);
    // The header of block number of the type; empty when there is none.
    static QByteArray info(char type, int number, const SimMemory &memory, const SimCpuProfile &cpu);
    // A block as the requests name it: '0', the type, five digits, 'A'.
    static bool parseName(const QByteArray &name, char *type, int *number);
};

#endif
