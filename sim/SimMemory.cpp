#include "SimMemory.h"

#include <QtGlobal>

#include <algorithm>
#include <iterator>

quint32 SimMemory::key(int area, int dbNumber)
{
    // Only data blocks are numbered; the other areas ignore the number.
    const quint32 number = area == AreaDataBlocks ? quint32(dbNumber) & 0xFFFFu : 0u;
    return (quint32(area & 0xFF) << AreaShift) | number;
}

void SimMemory::resize(int area, int dbNumber, int bytes)
{
    const int newSize = qMax(0, bytes);
    if (windows.contains(area)) {
        windows[area].size = newSize;
        return;
    }
    QByteArray &block = blocks[key(area, dbNumber)];
    const int oldSize = block.size();
    block.resize(newSize);
    if (newSize > oldSize)
        block.replace(oldSize, newSize - oldSize, QByteArray(newSize - oldSize, '\0'));
}

void SimMemory::createBlock(int dbNumber, int bytes, BlockAccess access)
{
    blocks.insert(key(AreaDataBlocks, dbNumber), QByteArray(qMax(0, bytes), '\0'));
    blockAccesses.insert(dbNumber, access);
}

void SimMemory::removeBlock(int dbNumber)
{
    blocks.remove(key(AreaDataBlocks, dbNumber));
    blockAccesses.remove(dbNumber);
}

void SimMemory::removeBlocks()
{
    for (auto it = blocks.begin(); it != blocks.end();)
        it = it.key() >> AreaShift == AreaDataBlocks ? blocks.erase(it) : std::next(it);
    blockAccesses.clear();
}

void SimMemory::mapArea(int area, int dbNumber, int offset)
{
    Window window;
    window.dbNumber = dbNumber;
    window.offset = offset;
    window.size = qMax(0, size(area, 0));
    blocks.remove(key(area, 0));
    windows.insert(area, window);
}

void SimMemory::unmapAreas()
{
    for (auto it = windows.cbegin(); it != windows.cend(); ++it)
        blocks.insert(key(it.key(), 0), QByteArray(it.value().size, '\0'));
    windows.clear();
}

int SimMemory::size(int area, int dbNumber) const
{
    const auto window = windows.constFind(area);
    if (window != windows.constEnd())
        return window->size;
    const auto it = blocks.constFind(key(area, dbNumber));
    return it == blocks.constEnd() ? -1 : it.value().size();
}

SimMemory::BlockAccess SimMemory::blockAccess(int dbNumber) const
{
    return blockAccesses.value(dbNumber, BlockAccess::ReadWrite);
}

QList<int> SimMemory::blockNumbers() const
{
    QList<int> numbers;
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it) {
        if (it.key() >> AreaShift == AreaDataBlocks)
            numbers.append(int(it.key() & 0xFFFFu));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

SimMemory::Access SimMemory::locate(int *area, int *dbNumber, int *start, int count) const
{
    int limit = -1; // the window's size, -1 for an area or block of its own
    const auto window = windows.constFind(*area);
    if (window != windows.constEnd()) {
        limit = window->size;
        *area = AreaDataBlocks;
        *dbNumber = window->dbNumber;
    }
    const auto it = blocks.constFind(key(*area, *dbNumber));
    if (it == blocks.constEnd())
        return Access::NoObject;
    // 64-bit sum: start and count come from the wire and may be large.
    const qint64 end = qint64(*start) + count;
    if (*start < 0 || count < 0 || end > it.value().size() || (limit >= 0 && end > limit))
        return Access::OutOfRange;
    if (limit >= 0)
        *start += window->offset;
    return Access::Ok;
}

SimMemory::Access SimMemory::read(int area, int dbNumber, int start, int count, QByteArray *out) const
{
    const Access access = locate(&area, &dbNumber, &start, count);
    if (access == Access::Ok)
        *out = blocks.value(key(area, dbNumber)).mid(start, count);
    return access;
}

SimMemory::Access SimMemory::write(int area, int dbNumber, int start, const QByteArray &bytes)
{
    const Access access = locate(&area, &dbNumber, &start, bytes.size());
    if (access == Access::Ok)
        blocks[key(area, dbNumber)].replace(start, bytes.size(), bytes);
    return access;
}

SimMemory::Access SimMemory::readBit(int area, int dbNumber, int byteAddress, int bit, bool *value) const
{
    QByteArray byte;
    const Access access = read(area, dbNumber, byteAddress, 1, &byte);
    if (access == Access::Ok)
        *value = (quint8(byte.at(0)) >> (bit & 7)) & 1;
    return access;
}

SimMemory::Access SimMemory::writeBit(int area, int dbNumber, int byteAddress, int bit, bool value)
{
    QByteArray byte;
    const Access access = read(area, dbNumber, byteAddress, 1, &byte);
    if (access != Access::Ok)
        return access;
    const quint8 mask = quint8(1u << (bit & 7));
    const quint8 old = quint8(byte.at(0));
    return write(area, dbNumber, byteAddress, QByteArray(1, char(value ? old | mask : old & ~mask)));
}
