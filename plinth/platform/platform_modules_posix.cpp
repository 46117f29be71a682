// Modules over the dynamic loader. Backslashes in paths are taken as
// separators, and a bare name is looked for beside the executable first, as
// Windows looks in the application folder first.
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_env_unicode.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace
{
// Copies `pszPath` with '\' turned into '/'; null when out of memory.
char* PosixPath(const char* pszPath)
{
    size_t len = strlen(pszPath);
    char* pszOut = (char*)malloc(len + 1);
    if (!pszOut) return nullptr;
    for (size_t i = 0; i <= len; ++i)
        pszOut[i] = pszPath[i] == '\\' ? '/' : pszPath[i];
    return pszOut;
}

bool ExecutablePath(char* pszOut, size_t cbOut)
{
    ssize_t n = readlink("/proc/self/exe", pszOut, cbOut - 1);
    if (n <= 0 || (size_t)n >= cbOut - 1) return false;
    pszOut[n] = 0;
    return true;
}

PlatModule LoadPath(const char* pszPath)
{
    if (!pszPath || !*pszPath) return nullptr;
    char* pszPosix = PosixPath(pszPath);
    if (!pszPosix) return nullptr;
    void* hModule = nullptr;
    if (!strchr(pszPosix, '/'))
    {
        char szExe[4096];
        if (ExecutablePath(szExe, sizeof(szExe)))
        {
            char* pSlash = strrchr(szExe, '/');
            size_t cbDir = (size_t)(pSlash - szExe) + 1;
            size_t cbName = strlen(pszPosix);
            if (cbDir + cbName < sizeof(szExe))
            {
                memcpy(pSlash + 1, pszPosix, cbName + 1);
                hModule = dlopen(szExe, RTLD_NOW | RTLD_LOCAL);
            }
        }
    }
    if (!hModule) hModule = dlopen(pszPosix, RTLD_NOW | RTLD_LOCAL);
    free(pszPosix);
    return (PlatModule)hModule;
}

PlatModule FindLoaded(const char* pszName)
{
    if (!pszName) return (PlatModule)dlopen(nullptr, RTLD_NOW);
    if (!*pszName) return nullptr;
    char* pszPosix = PosixPath(pszName);
    if (!pszPosix) return nullptr;
    void* hModule = dlopen(pszPosix, RTLD_NOW | RTLD_NOLOAD);
    free(pszPosix);
    // A lookup adds no reference: drop the one RTLD_NOLOAD took.
    if (hModule) dlclose(hModule);
    return (PlatModule)hModule;
}

bool IsValidUtf8(const char* pszText)
{
    return pszText && Plat_Utf8ToUtf16(pszText, nullptr, 0) > 0;
}
} // namespace

PlatModule Plat_LoadLibraryW(const char* pszPath)
{
    return IsValidUtf8(pszPath) ? LoadPath(pszPath) : nullptr;
}

PlatModule Plat_LoadLibraryA(const char* pszPath)
{
    return LoadPath(pszPath);
}

PlatModule Plat_LoadLibraryExW(const char* pszPath, bool)
{
    return Plat_LoadLibraryW(pszPath);
}

PlatModule Plat_LoadLibraryExA(const char* pszPath, bool)
{
    return LoadPath(pszPath);
}

PlatModule Plat_GetModuleHandleW(const char* pszName)
{
    if (pszName && !IsValidUtf8(pszName)) return nullptr;
    return FindLoaded(pszName);
}

PlatModule Plat_GetModuleHandleA(const char* pszName)
{
    return FindLoaded(pszName);
}

// The module's file name as UTF-8 in a fresh block, or null.
static char* ModuleFileName(PlatModule hModule)
{
    char szPath[4096];
    if (hModule)
    {
        link_map* pMap = nullptr;
        if (dlinfo((void*)hModule, RTLD_DI_LINKMAP, &pMap) != 0 || !pMap) return nullptr;
        if (pMap->l_name && pMap->l_name[0]) return strdup(pMap->l_name);
        // The main program's entry has no name.
    }
    if (!ExecutablePath(szPath, sizeof(szPath))) return nullptr;
    return strdup(szPath);
}

uint32_t Plat_GetModuleFileNameW(PlatModule hModule, char16_t* pBuffer, uint32_t cchBuffer)
{
    if (!pBuffer || cchBuffer == 0) return 0;
    char* pszName = ModuleFileName(hModule);
    if (!pszName) return 0;
    char16_t* pWide = Plat_Utf8ToUtf16Alloc(pszName);
    free(pszName);
    if (!pWide) return 0;
    uint32_t len = 0;
    while (pWide[len])
        ++len;
    uint32_t result;
    if (len < cchBuffer)
    {
        memcpy(pBuffer, pWide, sizeof(char16_t) * (len + 1));
        result = len;
    }
    else
    {
        // Cut and terminated, reporting the buffer size, as Windows does.
        memcpy(pBuffer, pWide, sizeof(char16_t) * (cchBuffer - 1));
        pBuffer[cchBuffer - 1] = 0;
        result = cchBuffer;
    }
    Plat_FreeConverted(pWide);
    return result;
}

uint32_t Plat_GetModuleFileNameUtf8(PlatModule hModule, char* pszOut, uint32_t nOutSize)
{
    if (!pszOut || nOutSize == 0) return 0;
    pszOut[0] = 0;
    char* pszName = ModuleFileName(hModule);
    if (!pszName) return 0;
    size_t len = strlen(pszName);
    uint32_t result = 0;
    if (len < nOutSize)
    {
        memcpy(pszOut, pszName, len + 1);
        result = (uint32_t)len;
    }
    free(pszName);
    return result;
}

void* Plat_GetProcAddress(PlatModule hModule, const char* pszName)
{
    if (!hModule || !pszName) return nullptr;
    return dlsym((void*)hModule, pszName);
}

bool Plat_FreeLibrary(PlatModule hModule)
{
    if (!hModule) return false;
    return dlclose((void*)hModule) == 0;
}
