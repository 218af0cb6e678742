#include "AllocationCounter.h"

#include <cstddef>

// glibc's allocator under its own names; a program that defines malloc
// takes every library's calls to it (glibc is made to allow that).
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
}

namespace {
// Per thread, so that a server thread in the same process counts apart.
thread_local quint64 calls = 0;
} // namespace

extern "C" void *malloc(size_t size) noexcept
{
    ++calls;
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size) noexcept
{
    ++calls;
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *block, size_t size) noexcept
{
    ++calls;
    return __libc_realloc(block, size);
}

quint64 AllocationCounter::count()
{
    return calls;
}
