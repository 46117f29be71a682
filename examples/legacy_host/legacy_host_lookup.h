// Run-time look-up of the library's exports, typed from quern.h itself so
// that a call's type cannot drift from its declaration.
#pragma once

#include "plinth/platform/platform_modules.h"

#include <cstdio>

// The export `pszName` of `hQuern` as a `Fn`; null (and bAll cleared, with a
// line saying so) when the library does not export it.
template <class Fn> Fn LookupExport(PlatModule hQuern, const char* pszName, bool& bAll)
{
    Fn pfn = reinterpret_cast<Fn>(Plat_GetProcAddress(hQuern, pszName));
    if (!pfn)
    {
        printf("  (the library does not export %s)\n", pszName);
        bAll = false;
    }
    return pfn;
}

// LOOKUP_EXPORT(hQuern, QuernStartup, bAll): the declaration in quern.h gives
// both the type and the name looked up.
#define LOOKUP_EXPORT(hQuern, name, bAll) LookupExport<decltype(&name)>(hQuern, #name, bAll)
