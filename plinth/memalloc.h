// The one allocation entry point of the support libraries. Containers, owned
// strings, buffers, key-values nodes and block pools allocate only through
// these functions; `file` names the calling source (e.g. "..\trestle\utlmemory")
// for allocation tracking. They forward to the process allocator
// (MemAlloc_Process(), plinth/memalloc_iface.h).
#pragma once

#include <cstddef>

void* MemAlloc_AllocTagged(size_t size, const char* file, int line);
// Like MemAlloc_AllocTagged, but a failure returns null instead of reporting
// out of memory.
void* MemAlloc_AllocQuietTagged(size_t size, const char* file, int line);
// A size of 0 releases the block and returns null; a null block allocates.
void* MemAlloc_ReallocTagged(void* block, size_t size, const char* file, int line);
void MemAlloc_FreeTagged(void* block, const char* file, int line);
size_t MemAlloc_BlockSize(void* block);
