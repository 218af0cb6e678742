#ifndef QUILLMARSH_ALLOCATIONCOUNTER_H
#define QUILLMARSH_ALLOCATIONCOUNTER_H

#include <QtGlobal>

// Heap allocations made by the calling thread: its calls to malloc, calloc
// and realloc from any library of this process (Qt's containers, the
// plug-in, operator new, glibc itself). This program defines those three
// functions, counts each call and hands it on to glibc's allocator, so the
// count costs one increment per call and changes nothing else.
class AllocationCounter
{
public:
    static quint64 count();
};

#endif
