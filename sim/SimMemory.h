#ifndef QUILLMARSH_SIMMEMORY_H
#define QUILLMARSH_SIMMEMORY_H

#include <QByteArray>
#include <QHash>

// The CPU's memory: registered areas (inputs, outputs, markers) and data
// blocks, each a zero-initialised byte array. Not thread-safe; the owner locks.
class SimMemory
{
public:
    enum class Access { Ok, NoObject, OutOfRange };

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
    void resize(int area, int dbNumber, int bytes);
    void createBlock(int dbNumber, int bytes);
    void removeBlock(int dbNumber);
    void removeBlocks();

    Access read(int area, int dbNumber, int start, int count, QByteArray *out) const;
    Access write(int area, int dbNumber, int start, const QByteArray &bytes);
    Access readBit(int area, int dbNumber, int byteAddress, int bit, bool *value) const;
    Access writeBit(int area, int dbNumber, int byteAddress, int bit, bool value);

    // Size of an area or block, -1 when it does not exist.
    int size(int area, int dbNumber) const;

private:
    // Key of an area or block: the area code above a 16-bit block number.
    static constexpr int AreaShift = 16;
    static quint32 key(int area, int dbNumber);
    const QByteArray *find(int area, int dbNumber) const;
    QByteArray *find(int area, int dbNumber);
    static Access check(const QByteArray *block, int start, int count);

    QHash<quint32, QByteArray> blocks;
};

#endif
