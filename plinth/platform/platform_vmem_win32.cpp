// Virtual memory over VirtualAlloc / VirtualFree.
#include "plinth/platform/platform_vmem.h"

#include <windows.h>

void* Plat_VirtualReserve(void* pAddress, size_t nBytes)
{
    return VirtualAlloc(pAddress, nBytes, MEM_RESERVE, PAGE_NOACCESS);
}

bool Plat_VirtualCommit(void* pAddress, size_t nBytes)
{
    return VirtualAlloc(pAddress, nBytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

bool Plat_VirtualDecommit(void* pAddress, size_t nBytes)
{
    return VirtualFree(pAddress, nBytes, MEM_DECOMMIT) != FALSE;
}

bool Plat_VirtualRelease(void* pBase, size_t)
{
    return VirtualFree(pBase, 0, MEM_RELEASE) != FALSE;
}
