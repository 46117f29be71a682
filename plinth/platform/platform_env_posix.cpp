// Environment, command line and current directory over libc and /proc.
#include "plinth/platform/platform_env.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

uint32_t Plat_GetEnvironmentVariable(const char* pszName, char* pszBuffer, uint32_t nSize)
{
    if (!pszName) return 0;
    const char* pszValue = getenv(pszName);
    if (!pszValue) return 0;
    size_t len = strlen(pszValue);
    if (!pszBuffer || len + 1 > nSize) return (uint32_t)(len + 1);
    memcpy(pszBuffer, pszValue, len + 1);
    return (uint32_t)len;
}

bool Plat_SetEnvironmentVariable(const char* pszName, const char* pszValue)
{
    if (!pszName || !*pszName) return false;
    if (!pszValue) return unsetenv(pszName) == 0;
    return setenv(pszName, pszValue, 1) == 0;
}

// Reads /proc/self/cmdline whole; the arguments are separated by zero bytes.
static char* ReadProcCmdline(size_t* pcb)
{
    FILE* pFile = fopen("/proc/self/cmdline", "rb");
    if (!pFile) return nullptr;
    size_t cap = 4096, len = 0;
    char* pBuf = (char*)malloc(cap + 1);
    while (pBuf)
    {
        size_t got = fread(pBuf + len, 1, cap - len, pFile);
        len += got;
        if (len < cap) break;
        cap *= 2;
        char* pGrown = (char*)realloc(pBuf, cap + 1);
        if (!pGrown) free(pBuf);
        pBuf = pGrown;
    }
    fclose(pFile);
    if (!pBuf) return nullptr;
    pBuf[len] = 0;
    *pcb = len;
    return pBuf;
}

const char* Plat_GetCommandLine()
{
    // Built once; the text lives for the process like GetCommandLineA's.
    static const char* s_pszCommandLine = []() -> const char*
    {
        size_t cb = 0;
        char* pBuf = ReadProcCmdline(&cb);
        if (!pBuf) return "";
        // Separators become blanks; the last zero stays the terminator.
        while (cb > 0 && pBuf[cb - 1] == 0)
            --cb;
        for (size_t i = 0; i < cb; ++i)
        {
            if (pBuf[i] == 0) pBuf[i] = ' ';
        }
        pBuf[cb] = 0;
        return pBuf;
    }();
    return s_pszCommandLine;
}

PlatCommandLineArgs* Plat_ParseCommandLineArgs()
{
    size_t cb = 0;
    char* pRaw = ReadProcCmdline(&cb);
    if (!pRaw) return nullptr;
    int nArgs = 0;
    for (size_t i = 0; i < cb; ++i)
    {
        if (pRaw[i] == 0) ++nArgs;
    }
    if (cb > 0 && pRaw[cb - 1] != 0) ++nArgs;
    size_t cbPointers = sizeof(char*) * (size_t)(nArgs + 1);
    size_t cbBlock = sizeof(PlatCommandLineArgs) + cbPointers + cb + 1;
    char* pBlock = (char*)calloc(1, cbBlock);
    if (!pBlock)
    {
        free(pRaw);
        return nullptr;
    }
    PlatCommandLineArgs* pArgs = reinterpret_cast<PlatCommandLineArgs*>(pBlock);
    pArgs->m_ppArgs = reinterpret_cast<char**>(pBlock + sizeof(PlatCommandLineArgs));
    char* pText = pBlock + sizeof(PlatCommandLineArgs) + cbPointers;
    memcpy(pText, pRaw, cb);
    free(pRaw);
    int iArg = 0;
    size_t start = 0;
    for (size_t i = 0; i <= cb && iArg < nArgs; ++i)
    {
        if (i == cb || pText[i] == 0)
        {
            pArgs->m_ppArgs[iArg++] = pText + start;
            start = i + 1;
        }
    }
    pArgs->m_nArgs = iArg;
    return pArgs;
}

void Plat_FreeCommandLineArgs(PlatCommandLineArgs* pArgs)
{
    free(pArgs);
}

uint32_t Plat_GetCurrentDirectory(char* pszBuffer, uint32_t nSize)
{
    char* pszCwd = getcwd(nullptr, 0);
    if (!pszCwd) return 0;
    size_t len = strlen(pszCwd);
    uint32_t result;
    if (!pszBuffer || len + 1 > nSize)
        result = (uint32_t)(len + 1);
    else
    {
        memcpy(pszBuffer, pszCwd, len + 1);
        result = (uint32_t)len;
    }
    free(pszCwd);
    return result;
}

bool Plat_SetCurrentDirectory(const char* pszPath)
{
    return pszPath && chdir(pszPath) == 0;
}
