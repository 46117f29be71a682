// The support libraries' allocation entry point: everything goes to the
// process allocator.
#include "plinth/memalloc.h"

#include "plinth/memalloc_iface.h"

void* MemAlloc_AllocTagged(size_t size, const char* file, int line)
{
    return MemAlloc_Process()->AllocateTagged(size, file, line);
}

void* MemAlloc_AllocQuietTagged(size_t size, const char* file, int line)
{
    return MemAlloc_Process()->AllocateQuietTagged(size, file, line);
}

void* MemAlloc_ReallocTagged(void* block, size_t size, const char* file, int line)
{
    return MemAlloc_Process()->ReallocateTagged(block, size, file, line);
}

void MemAlloc_FreeTagged(void* block, const char* file, int line)
{
    MemAlloc_Process()->ReleaseTagged(block, file, line);
}

size_t MemAlloc_BlockSize(void* block)
{
    if (!block) return 0;
    return MemAlloc_Process()->BlockSize(block);
}
