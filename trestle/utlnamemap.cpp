// Name copies and the stock name orders of CUtlNameMap.
#include "trestle/utlnamemap.h"

#include "plinth/asciicase.h"
#include "plinth/memalloc.h"

#include <cstring>

// The allocation tag of the map's name copies: the name allocation reports
// have always shown for them, kept so that reports compare across versions.
#define UTLNAMEMAP_ALLOC_TAG "..\\trestle\\utldict"

bool UtlNameLess(const char* pchLeft, const char* pchRight)
{
    if (!pchLeft || !pchRight) return !pchLeft && pchRight;
    return strcmp(pchLeft, pchRight) < 0;
}

bool UtlNameLessNoCase(const char* pchLeft, const char* pchRight)
{
    if (!pchLeft || !pchRight) return !pchLeft && pchRight;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(pchLeft);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(pchRight);
    for (;; ++a, ++b)
    {
        unsigned char ca = static_cast<unsigned char>(LowerAscii(static_cast<char>(*a)));
        unsigned char cb = static_cast<unsigned char>(LowerAscii(static_cast<char>(*b)));
        if (ca != cb) return ca < cb;
        if (!ca) return false;
    }
}

char* UtlNameMap_CopyName(const char* pchName)
{
    if (!pchName) return nullptr;
    size_t cb = strlen(pchName) + 1;
    char* pchCopy = static_cast<char*>(MemAlloc_AllocTagged(cb, UTLNAMEMAP_ALLOC_TAG, __LINE__));
    if (pchCopy) memcpy(pchCopy, pchName, cb);
    return pchCopy;
}

void UtlNameMap_FreeName(char* pchName)
{
    if (pchName) MemAlloc_FreeTagged(pchName, UTLNAMEMAP_ALLOC_TAG, __LINE__);
}
