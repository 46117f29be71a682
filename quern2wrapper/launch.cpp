// Launching applications: the platform client's executable "quern.exe" is
// asked to start them with "-applaunch <id> <args>". The library neither
// waits for it nor sees the outcome.
#include "quern2wrapper/launch.h"

#include "plinth/memalloc.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"
#include "trestle/strtools.h"

#include <cstring>
#include <initializer_list>

#define LAUNCH_SOURCE "launch"

static const char s_szInstallKey[] = "Software\\Norra\\Quern";
static const char s_szClientExe[] = "quern.exe";
static const char s_szClientLibrary[] = "quernclient.dll";
// Registry values larger than this are not believed.
static const uint32_t s_cbRegistryTextMax = 199999999;
// The longest executable path Windows reports, in UTF-16 units.
static const uint32_t s_cchModulePathMax = 65536;

long ReadRegistryText(PlatRegKey hKey, const char* pszValueName, char* pszOut, int nOutSize)
{
    if (!pszOut || nOutSize <= 0) return PLAT_ERROR_INVALID_PARAMETER;

    uint32_t type = 0;
    uint32_t cbData = 0;
    long rc = Plat_RegQueryValueAnsiNameW(hKey, pszValueName, &type, nullptr, &cbData);
    if (rc != PLAT_ERROR_SUCCESS) return rc;
    if (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ) return PLAT_ERROR_INVALID_DATA;

    char16_t* pText = nullptr;
    for (;;)
    {
        uint32_t cbOffered = cbData & ~1u;
        if (cbOffered > s_cbRegistryTextMax) return PLAT_ERROR_OUTOFMEMORY;
        // One unit more than offered, for a value stored without terminator.
        pText = (char16_t*)MemAlloc_AllocQuietTagged(cbOffered + sizeof(char16_t), LAUNCH_SOURCE,
                                                     __LINE__);
        if (!pText) return PLAT_ERROR_OUTOFMEMORY;
        cbData = cbOffered;
        rc = Plat_RegQueryValueAnsiNameW(hKey, pszValueName, &type, pText, &cbData);
        if (rc == PLAT_ERROR_MORE_DATA)
        {
            // The value grew since it was measured.
            MemAlloc_FreeTagged(pText, LAUNCH_SOURCE, __LINE__);
            cbData = cbOffered * 2 + 4000;
            continue;
        }
        if (rc != PLAT_ERROR_SUCCESS)
        {
            MemAlloc_FreeTagged(pText, LAUNCH_SOURCE, __LINE__);
            return rc;
        }
        if (cbData > cbOffered) cbData = cbOffered;
        pText[cbData / sizeof(char16_t)] = 0;
        break;
    }
    if (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ)
    {
        MemAlloc_FreeTagged(pText, LAUNCH_SOURCE, __LINE__);
        return PLAT_ERROR_INVALID_DATA;
    }

    pszOut[0] = '\0';
    int cbNeeded = V_UTF16ToUTF8(pText, pszOut, nOutSize, ConvertMeasureOnOverflow);
    bool bEmpty = pText[0] == 0;
    MemAlloc_FreeTagged(pText, LAUNCH_SOURCE, __LINE__);
    if (cbNeeded > nOutSize) return PLAT_ERROR_MORE_DATA;
    if (cbNeeded == 0 && !bEmpty) return PLAT_ERROR_INVALID_DATA;
    return PLAT_ERROR_SUCCESS;
}

// Whether "<dir>\quernclient.dll" exists.
static bool ClientLibraryExistsIn(const char* pszDir)
{
    int cbPath = (int)strlen(pszDir) + (int)sizeof(s_szClientLibrary) + 1;
    char* pszPath = (char*)MemAlloc_AllocTagged((size_t)cbPath, LAUNCH_SOURCE, __LINE__);
    V_BoundedFormat(pszPath, cbPath, "%s\\%s", pszDir, s_szClientLibrary);
    bool bExists = Plat_PathExists(pszPath);
    MemAlloc_FreeTagged(pszPath, LAUNCH_SOURCE, __LINE__);
    return bExists;
}

// The process is itself the client executable: its folder is the client's.
static bool FindFromOwnExecutable(char* pszOut, int nOutSize)
{
    char16_t* pwszExe = (char16_t*)MemAlloc_AllocTagged(s_cchModulePathMax * sizeof(char16_t),
                                                        LAUNCH_SOURCE, __LINE__);
    uint32_t len = Plat_GetModuleFileNameW(nullptr, pwszExe, s_cchModulePathMax);
    bool bFound = false;
    if (len >= 1 && len < s_cchModulePathMax)
    {
        pwszExe[len] = 0;
        int cbExe = (int)len * 3 + 1;
        char* pszExe = (char*)MemAlloc_AllocTagged((size_t)cbExe, LAUNCH_SOURCE, __LINE__);
        if (V_UTF16ToUTF8(pwszExe, pszExe, cbExe, 0))
        {
            const char* pszName = V_EndsWithNoCase(pszExe, s_szClientExe);
            if (pszName && pszName > pszExe && V_IsSlash(pszName[-1]))
            {
                int cchDir = (int)(pszName - 1 - pszExe);
                if (cchDir < nOutSize)
                {
                    memcpy(pszOut, pszExe, (size_t)cchDir);
                    pszOut[cchDir] = '\0';
                    bFound = ClientLibraryExistsIn(pszOut);
                }
            }
        }
        MemAlloc_FreeTagged(pszExe, LAUNCH_SOURCE, __LINE__);
    }
    MemAlloc_FreeTagged(pwszExe, LAUNCH_SOURCE, __LINE__);
    return bFound;
}

// The installed client's folder, "InstallPath" in one registry view.
static bool FindFromInstallPath(uint32_t view, char* pszOut, int nOutSize)
{
    PlatRegKey hKey = nullptr;
    if (Plat_RegOpenKeyA(Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE), s_szInstallKey,
                         PLAT_KEY_QUERY_VALUE | view, &hKey) != PLAT_ERROR_SUCCESS)
        return false;
    long rc = ReadRegistryText(hKey, "InstallPath", pszOut, nOutSize);
    Plat_RegCloseKey(hKey);
    return rc == PLAT_ERROR_SUCCESS && ClientLibraryExistsIn(pszOut);
}

// The folder of the client library that the running client registered.
static bool FindFromRunningClient(char* pszOut, int nOutSize)
{
    PlatRegKey hKey = nullptr;
    if (Plat_RegOpenKeyA(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY,
                         PLAT_KEY_QUERY_VALUE, &hKey) != PLAT_ERROR_SUCCESS)
        return false;

    bool bFound = false;
    uint32_t type = 0;
    uint32_t pid = 0;
    uint32_t cbPid = sizeof(pid);
    // Without a usable process id nothing names a running client; the folder
    // that earlier sources left behind was already found wanting.
    if (Plat_RegQueryValueA(hKey, "pid", &type, &pid, &cbPid) == PLAT_ERROR_SUCCESS &&
        type == PLAT_REG_DWORD && pid != 0)
    {
        PlatProcess hProcess = Plat_OpenProcessForQuery(pid);
        if (hProcess)
        {
            uint32_t exitCode = 0;
            if (Plat_GetExitCodeProcess(hProcess, &exitCode) && exitCode == PLAT_STILL_ACTIVE &&
                ReadRegistryText(hKey, "QuernClientDll", pszOut, nOutSize) == PLAT_ERROR_SUCCESS &&
                Plat_PathExists(pszOut))
            {
                char* pszCut = pszOut + strlen(pszOut);
                while (pszCut > pszOut && !V_IsSlash(*pszCut))
                    --pszCut;
                *pszCut = '\0';
                bFound = true;
            }
            Plat_CloseProcess(hProcess);
        }
    }
    Plat_RegCloseKey(hKey);
    return bFound;
}

bool FindClientInstallDir(char* pszOut, int nOutSize)
{
    if (!pszOut || nOutSize <= 0) return false;
    if (FindFromOwnExecutable(pszOut, nOutSize)) return true;
    if (FindFromInstallPath(0, pszOut, nOutSize)) return true;
    // A 32-bit process on 64-bit Windows may see the client's own view only
    // through the 32-bit one.
    if (Plat_IsWow64Process() && FindFromInstallPath(PLAT_KEY_WOW64_32KEY, pszOut, nOutSize))
        return true;
    return FindFromRunningClient(pszOut, nOutSize);
}

void FormatLaunchCommandLine(char16_t (&wszOut)[QUERN_LAUNCH_CMDLINE_CHARS], uint32_t appId,
                             const char* pszArgs)
{
    if (!pszArgs) pszArgs = "";
    char szPrefix[32];
    V_BoundedFormat(szPrefix, sizeof(szPrefix), "-applaunch %u ", appId);
    // The caller's text is narrow text of no particular encoding: each byte
    // becomes the character of the same value, as the C runtime's "%hs"
    // widens in its default locale. ASCII arrives as it was, a byte above 127
    // as the Latin-1 character (0xE9 is U+00E9), which is also what the
    // Western ANSI code page means by it outside 0x80-0x9F. Read as UTF-8,
    // such a byte would be lost.
    int n = 0;
    for (const char* pszPart : {(const char*)szPrefix, pszArgs})
        for (const unsigned char* p = (const unsigned char*)pszPart;
             *p && n < QUERN_LAUNCH_CMDLINE_CHARS - 1; ++p)
            wszOut[n++] = (char16_t)*p;
    wszOut[n] = 0;
}

QUERN_EXPORT int QuernLaunchApp(uint32_t appId, uint32_t /*ignored*/, const char* pszArgs,
                                TQuernError* pError)
{
    ClearError(pError);
    QUERN_VERBOSE_LOG("QuernLaunchApp uAppId %u, args \"%s\"", appId, pszArgs ? pszArgs : "(null)");

    char szExe[QUERN_LAUNCH_PATH_SIZE];
    memset(szExe, 0, sizeof(szExe));
    if (!FindClientInstallDir(szExe, sizeof(szExe))) return 0;
    V_BoundedAppend(szExe, "\\quern.exe", sizeof(szExe));

    char16_t wszLine[QUERN_LAUNCH_CMDLINE_CHARS];
    FormatLaunchCommandLine(wszLine, appId, pszArgs);
    // The platform layer takes UTF-8: on Windows it becomes the same wide
    // command line again; a POSIX client receives its arguments as UTF-8.
    char szLine[QUERN_LAUNCH_CMDLINE_CHARS * 3];
    if (!V_UTF16ToUTF8(wszLine, szLine, sizeof(szLine), 0)) szLine[0] = '\0';

    return Plat_ShellExecute(szExe, szLine) > 32 ? 1 : 0;
}
