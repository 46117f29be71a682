// Virtual memory: reserve address ranges, commit and decommit pages in them.
//
// Windows: VirtualAlloc / VirtualFree. POSIX stand-in: mmap with no access
// reserves, mprotect read-write commits, mprotect none + madvise decommits.
#pragma once

#include <cstddef>

// VirtualAlloc(pAddress, size, MEM_RESERVE, PAGE_NOACCESS). A non-null address
// asks for that exact place (rounded down to the allocation granularity as
// Windows does); the call fails rather than reserving elsewhere. Null on
// failure.
void* Plat_VirtualReserve(void* pAddress, size_t nBytes);
// VirtualAlloc(pAddress, size, MEM_COMMIT, PAGE_READWRITE) inside a reserved
// range. Committed pages read as zero the first time.
bool Plat_VirtualCommit(void* pAddress, size_t nBytes);
// VirtualFree(pAddress, size, MEM_DECOMMIT).
bool Plat_VirtualDecommit(void* pAddress, size_t nBytes);
// VirtualFree(pBase, 0, MEM_RELEASE) of a whole reservation; `nBytes` is its
// reserved size (needed by munmap).
bool Plat_VirtualRelease(void* pBase, size_t nBytes);
