#ifndef QUILLMARSH_TAGREFUSAL_H
#define QUILLMARSH_TAGREFUSAL_H

#include "CLabelVariable.h"
#include "DataType.h"
#include "TagAddress.h"

// What a read or a write refuses before anything is sent: StatusOk, or the
// record status that says why. One rule for the single tag calls and for
// batches, so that a tag fares the same either way.
namespace TagRefusal {

int read(const TagAddress &tag, DataType type, int count);
// A Bool write to an address that names a bit writes single bits.
bool isBitWrite(const TagAddress &tag, DataType type, int count);
int write(const TagAddress &tag, DataType type, int count, const CLabelVariable &value);

} // namespace TagRefusal

#endif
