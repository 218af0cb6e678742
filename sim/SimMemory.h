#ifndef QUILLMARSH_SIMMEMORY_H
#define QUILLMARSH_SIMMEMORY_H

#include <QByteArray>
#include <QHash>
#include <QList>

// The CPU's memory: registered areas (inputs, outputs, markers) and data
// blocks, each a zero-initialised byte array. An area may instead be a
// window into a data block (a CPU that mirrors its inputs into V memory).
// Not thread-safe; the owner locks.
class SimMemory
{
public:
    enum class Access { Ok, NoObject, OutOfRange };
    // How a data block may be reached by absolute addresses: read and
    // written, only read, or not at all (an optimized block has no offsets).
    enum class BlockAccess { ReadWrite, ReadOnly, Optimized };

    // S7 area codes as they appear in a variable address.
    static constexpr int AreaInputs = 0x81;
    static constexpr int AreaOutputs = 0x82;
    static constexpr int AreaMarkers = 0x83;
    static constexpr int AreaDataBlocks = 0x84;
    static constexpr int AreaCounters = 0x1C; // two bytes per counter
    static constexpr int AreaTimers = 0x1D;   // two bytes per timer
    static constexpr int TimerCounterBytes = 2;

    // Resizes an area (or data block when area is AreaDataBlocks), keeping the
    // bytes that still fit and zero-filling the rest. Negative sizes count as 0.
    // An area mapped into a block only changes its window's size.
    void resize(int area, int dbNumber, int bytes);
    void createBlock(int dbNumber, int bytes, BlockAccess access = BlockAccess::ReadWrite);
    void removeBlock(int dbNumber);
    void removeBlocks();
    // From now on the area is the window of its current size at offset of
    // data block dbNumber.
    void mapArea(int area, int dbNumber, int offset);
    void unmapAreas();

    Access read(int area, int dbNumber, int start, int count, QByteArray *out) const;
    Access write(int area, int dbNumber, int start, const QByteArray &bytes);
    Access readBit(int area, int dbNumber, int byteAddress, int bit, bool *value) const;
    Access writeBit(int area, int dbNumber, int byteAddress, int bit, bool value);

    // Size of an area or block, -1 when it does not exist.
    int size(int area, int dbNumber) const;
    BlockAccess blockAccess(int dbNumber) const;
    // The numbers of the data blocks, ascending.
    QList<int> blockNumbers() const;

private:
    struct Window
    {
        int dbNumber = 0;
        int offset = 0;
        int size = 0;
    };
    // Key of an area or block: the area code above a 16-bit block number.
    static constexpr int AreaShift = 16;
    static quint32 key(int area, int dbNumber);
    // Whether count bytes from *start of area and dbNumber exist; when they
    // lie in a window, moves all three to the block it maps.
    Access locate(int *area, int *dbNumber, int *start, int count) const;

    QHash<quint32, QByteArray> blocks;
    QHash<int, BlockAccess> blockAccesses; // by block number; absent: read and written
    QHash<int, Window> windows;            // by area
};

#endif
