// Virtual memory over mmap/mprotect: reserving maps the range with no access,
// committing opens pages read-write, decommitting closes and discards them.
#include "plinth/platform/platform_vmem.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace
{
// Windows places reservations on 64 KB boundaries.
const uintptr_t kGranularity = 0x10000;
} // namespace

void* Plat_VirtualReserve(void* pAddress, size_t nBytes)
{
    if (nBytes == 0) return nullptr;
    void* pWanted = nullptr;
    if (pAddress)
    {
        uintptr_t base = (uintptr_t)pAddress & ~(kGranularity - 1);
        nBytes += (uintptr_t)pAddress - base;
        pWanted = (void*)base;
    }
    int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
#ifdef MAP_FIXED_NOREPLACE
    if (pWanted) flags |= MAP_FIXED_NOREPLACE;
#endif
    void* p = mmap(pWanted, nBytes, PROT_NONE, flags, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    if (pWanted && p != pWanted)
    {
        // Somewhere else is no use to a caller that named the place.
        munmap(p, nBytes);
        return nullptr;
    }
    return p;
}

bool Plat_VirtualCommit(void* pAddress, size_t nBytes)
{
    if (!pAddress || nBytes == 0) return false;
    return mprotect(pAddress, nBytes, PROT_READ | PROT_WRITE) == 0;
}

bool Plat_VirtualDecommit(void* pAddress, size_t nBytes)
{
    if (!pAddress || nBytes == 0) return false;
    if (mprotect(pAddress, nBytes, PROT_NONE) != 0) return false;
    madvise(pAddress, nBytes, MADV_DONTNEED);
    return true;
}

bool Plat_VirtualRelease(void* pBase, size_t nBytes)
{
    if (!pBase || nBytes == 0) return false;
    return munmap(pBase, nBytes) == 0;
}
