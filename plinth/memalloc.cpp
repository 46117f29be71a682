// Allocation entry point backed by the C runtime heap.
#include "plinth/memalloc.h"

#include "plinth/dbg.h"

#include <cstdlib>
#include <malloc.h>

void* MemAlloc_AllocTagged(size_t size, const char* file, int line)
{
    void* block = MemAlloc_AllocQuietTagged(size, file, line);
    if (!block)
        AssertMsgFailed(true, file, line, "Fatal Assertion Failed: out of memory allocating %u bytes",
                        (unsigned)size);
    return block;
}

void* MemAlloc_AllocQuietTagged(size_t size, const char*, int)
{
    return std::malloc(size ? size : 1);
}

void* MemAlloc_ReallocTagged(void* block, size_t size, const char* file, int line)
{
    void* grown = std::realloc(block, size ? size : 1);
    if (!grown)
        AssertMsgFailed(true, file, line, "Fatal Assertion Failed: out of memory allocating %u bytes",
                        (unsigned)size);
    return grown;
}

void MemAlloc_FreeTagged(void* block, const char*, int)
{
    std::free(block);
}

size_t MemAlloc_BlockSize(void* block)
{
    if (!block)
        return 0;
#ifdef _WIN32
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}
