#include "SimMemory.h"

#include <QtGlobal>

#include <iterator>

quint32 SimMemory::key(int area, int dbNumber)
{
    // Only data blocks are numbered; the other areas ignore the number.
    const quint32 number = area == AreaDataBlocks ? quint32(dbNumber) & 0xFFFFu : 0u;
    return (quint32(area & 0xFF) << AreaShift) | number;
}

const QByteArray *SimMemory::find(int area, int dbNumber) const
{
    const auto it = blocks.constFind(key(area, dbNumber));
    return it == blocks.constEnd() ? nullptr : &it.value();
}

QByteArray *SimMemory::find(int area, int dbNumber)
{
    const auto it = blocks.find(key(area, dbNumber));
    return it == blocks.end() ? nullptr : &it.value();
}

void SimMemory::resize(int area, int dbNumber, int bytes)
{
    QByteArray &block = blocks[key(area, dbNumber)];
    const int oldSize = block.size();
    const int newSize = qMax(0, bytes);
    block.resize(newSize);
    if (newSize > oldSize)
        block.replace(oldSize, newSize - oldSize, QByteArray(newSize - oldSize, '\0'));
}

void SimMemory::createBlock(int dbNumber, int bytes)
{
    blocks.insert(key(AreaDataBlocks, dbNumber), QByteArray(qMax(0, bytes), '\0'));
}

void SimMemory::removeBlock(int dbNumber)
{
    blocks.remove(key(AreaDataBlocks, dbNumber));
}

void SimMemory::removeBlocks()
{
    for (auto it = blocks.begin(); it != blocks.end();)
        it = it.key() >> AreaShift == AreaDataBlocks ? blocks.erase(it) : std::next(it);
}

int SimMemory::size(int area, int dbNumber) const
{
    const QByteArray *block = find(area, dbNumber);
    return block ? block->size() : -1;
}

SimMemory::Access SimMemory::check(const QByteArray *block, int start, int count)
{
    if (!block)
        return Access::NoObject;
    // 64-bit sum: start and count come from the wire and may be large.
    if (start < 0 || count < 0 || qint64(start) + count > block->size())
        return Access::OutOfRange;
    return Access::Ok;
}

SimMemory::Access SimMemory::read(int area, int dbNumber, int start, int count, QByteArray *out) const
{
    const QByteArray *block = find(area, dbNumber);
    const Access access = check(block, start, count);
    if (access == Access::Ok)
        *out = block->mid(start, count);
    return access;
}

SimMemory::Access SimMemory::write(int area, int dbNumber, int start, const QByteArray &bytes)
{
    QByteArray *block = find(area, dbNumber);
    const Access access = check(block, start, bytes.size());
    if (access == Access::Ok)
        block->replace(start, bytes.size(), bytes);
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
    QByteArray *block = find(area, dbNumber);
    const Access access = check(block, byteAddress, 1);
    if (access != Access::Ok)
        return access;
    const quint8 mask = quint8(1u << (bit & 7));
    quint8 byte = quint8(block->at(byteAddress));
    byte = value ? quint8(byte | mask) : quint8(byte & ~mask);
    (*block)[byteAddress] = char(byte);
    return access;
}
