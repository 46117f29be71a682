// Environment, command line and current directory over kernel32/shell32.
#include "plinth/platform/platform_env.h"
#include "plinth/platform/win32_support.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>

uint32_t Plat_GetEnvironmentVariable(const char* pszName, char* pszBuffer, uint32_t nSize)
{
    if (!pszName) return 0;
    return GetEnvironmentVariableA(pszName, pszBuffer, nSize);
}

bool Plat_SetEnvironmentVariable(const char* pszName, const char* pszValue)
{
    if (!pszName || !*pszName) return false;
    return SetEnvironmentVariableA(pszName, pszValue) != FALSE;
}

const char* Plat_GetCommandLine()
{
    return GetCommandLineA();
}

PlatCommandLineArgs* Plat_ParseCommandLineArgs()
{
    int nArgs = 0;
    LPWSTR* ppWide = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (!ppWide) return nullptr;
    size_t cbText = 0;
    for (int i = 0; i < nArgs; ++i)
    {
        int cb = WideCharToMultiByte(CP_UTF8, 0, ppWide[i], -1, nullptr, 0, nullptr, nullptr);
        cbText += cb > 0 ? (size_t)cb : 1;
    }
    size_t cbPointers = sizeof(char*) * (size_t)(nArgs + 1);
    char* pBlock = (char*)calloc(1, sizeof(PlatCommandLineArgs) + cbPointers + cbText);
    if (!pBlock)
    {
        LocalFree(ppWide);
        return nullptr;
    }
    PlatCommandLineArgs* pArgs = reinterpret_cast<PlatCommandLineArgs*>(pBlock);
    pArgs->m_nArgs = nArgs;
    pArgs->m_ppArgs = reinterpret_cast<char**>(pBlock + sizeof(PlatCommandLineArgs));
    char* pText = pBlock + sizeof(PlatCommandLineArgs) + cbPointers;
    char* pEnd = pText + cbText;
    for (int i = 0; i < nArgs; ++i)
    {
        pArgs->m_ppArgs[i] = pText;
        int cb = WideCharToMultiByte(CP_UTF8, 0, ppWide[i], -1, pText, (int)(pEnd - pText), nullptr,
                                     nullptr);
        // An argument that cannot be converted stays empty (the block is zeroed).
        pText += cb > 0 ? cb : 1;
    }
    LocalFree(ppWide);
    return pArgs;
}

void Plat_FreeCommandLineArgs(PlatCommandLineArgs* pArgs)
{
    free(pArgs);
}

uint32_t Plat_GetCurrentDirectory(char* pszBuffer, uint32_t nSize)
{
    const DWORD cchMax = 32767;
    wchar_t* pWide = (wchar_t*)malloc((cchMax + 1) * sizeof(wchar_t));
    if (!pWide) return 0;
    DWORD cch = GetCurrentDirectoryW(cchMax + 1, pWide);
    uint32_t result = 0;
    if (cch > 0 && cch <= cchMax)
    {
        int cb = WideCharToMultiByte(CP_UTF8, 0, pWide, -1, nullptr, 0, nullptr, nullptr);
        if (cb > 0)
        {
            if (!pszBuffer || (uint32_t)cb > nSize)
                result = (uint32_t)cb;
            else if (WideCharToMultiByte(CP_UTF8, 0, pWide, -1, pszBuffer, cb, nullptr, nullptr))
                result = (uint32_t)cb - 1;
        }
    }
    free(pWide);
    return result;
}

bool Plat_SetCurrentDirectory(const char* pszPath)
{
    WideText path(pszPath);
    return path.Get() && SetCurrentDirectoryW(path.Get()) != FALSE;
}
