#ifndef QUILLMARSH_FUZZREQUIRE_H
#define QUILLMARSH_FUZZREQUIRE_H

#include <cstdlib>

// A property that does not hold stops the fuzzer, which keeps the input.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}

#endif
