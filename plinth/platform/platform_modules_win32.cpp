// Modules over kernel32.
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/win32_support.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

PlatModule Plat_LoadLibraryW(const char* pszPath)
{
    WideText path(pszPath);
    if (!path.Get()) return nullptr;
    return (PlatModule)LoadLibraryW(path.Get());
}

PlatModule Plat_LoadLibraryA(const char* pszPath)
{
    if (!pszPath) return nullptr;
    return (PlatModule)LoadLibraryA(pszPath);
}

PlatModule Plat_LoadLibraryExW(const char* pszPath, bool bAlteredSearchPath)
{
    WideText path(pszPath);
    if (!path.Get()) return nullptr;
    return (PlatModule)LoadLibraryExW(path.Get(), nullptr,
                                      bAlteredSearchPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
}

PlatModule Plat_LoadLibraryExA(const char* pszPath, bool bAlteredSearchPath)
{
    if (!pszPath) return nullptr;
    return (PlatModule)LoadLibraryExA(pszPath, nullptr,
                                      bAlteredSearchPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
}

PlatModule Plat_GetModuleHandleW(const char* pszName)
{
    if (!pszName) return (PlatModule)GetModuleHandleW(nullptr);
    WideText name(pszName);
    if (!name.Get()) return nullptr;
    return (PlatModule)GetModuleHandleW(name.Get());
}

PlatModule Plat_GetModuleHandleA(const char* pszName)
{
    return (PlatModule)GetModuleHandleA(pszName);
}

uint32_t Plat_GetModuleFileNameW(PlatModule hModule, char16_t* pBuffer, uint32_t cchBuffer)
{
    if (!pBuffer || cchBuffer == 0) return 0;
    DWORD cch =
        GetModuleFileNameW((HMODULE)hModule, reinterpret_cast<wchar_t*>(pBuffer), cchBuffer);
    // Older systems leave a cut name unterminated.
    if (cch >= cchBuffer) pBuffer[cchBuffer - 1] = 0;
    return cch;
}

uint32_t Plat_GetModuleFileNameUtf8(PlatModule hModule, char* pszOut, uint32_t nOutSize)
{
    if (!pszOut || nOutSize == 0) return 0;
    pszOut[0] = 0;
    const DWORD cchMax = 32768;
    char16_t* pWide = (char16_t*)malloc(sizeof(char16_t) * cchMax);
    if (!pWide) return 0;
    DWORD cch = GetModuleFileNameW((HMODULE)hModule, reinterpret_cast<wchar_t*>(pWide), cchMax);
    uint32_t result = 0;
    if (cch > 0 && cch < cchMax)
    {
        int cb = Plat_Utf16ToUtf8(pWide, pszOut, (int)nOutSize);
        if (cb > 0)
            result = (uint32_t)cb - 1;
        else
            pszOut[0] = 0;
    }
    free(pWide);
    return result;
}

void* Plat_GetProcAddress(PlatModule hModule, const char* pszName)
{
    if (!hModule || !pszName) return nullptr;
    return (void*)GetProcAddress((HMODULE)hModule, pszName);
}

bool Plat_FreeLibrary(PlatModule hModule)
{
    if (!hModule) return false;
    return FreeLibrary((HMODULE)hModule) != FALSE;
}
