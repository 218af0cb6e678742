#ifndef QUILLMARSH_S7MEMORY_H
#define QUILLMARSH_S7MEMORY_H

// The memory of an S7 CPU as a variable job addresses it: the area codes,
// the range of byte addresses and block numbers, and the PDU sizes that
// bound one job. The simulator's core keeps its own copy of these on purpose,
// so that a mistake cannot hide by being shared by both ends of a test.

#include <QtGlobal>

namespace S7 {

// Area codes of a variable item (S7ANY addressing)
constexpr quint8 AreaNone = 0x00; // an address text without an area letter
constexpr quint8 AreaCounters = 0x1C;
constexpr quint8 AreaTimers = 0x1D;
constexpr quint8 AreaInputs = 0x81;
constexpr quint8 AreaOutputs = 0x82;
constexpr quint8 AreaMarkers = 0x83;
constexpr quint8 AreaDataBlocks = 0x84;

// V memory has no block number of its own: it is data block 1, on the wire
// and wherever tags of one block are merged into one read.
constexpr quint16 DefaultDataBlock = 1;

// A byte address and a block number are 16 bits wide in an address text.
constexpr int MaxByteAddress = 65535;
constexpr int MaxDataBlock = 65535;
constexpr int MaxAreaBytes = MaxByteAddress + 1;

// The smallest PDU an S7 CPU grants, and the largest the plug-in asks for.
constexpr int MinimumPduLength = 240;
constexpr quint16 RequestedPduLength = 960;
// What a read reply carries besides its data: the S7 ack header with its
// error code (12 bytes), function and item count (2) and the item's own
// header (4); 222 data bytes fit a PDU of 240.
constexpr int ReadReplyOverhead = 12 + 2 + 4;

} // namespace S7

#endif
