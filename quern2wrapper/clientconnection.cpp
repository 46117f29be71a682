// Finding the running platform client through the registry and loading its
// client library.
#include "quern2wrapper/clientconnection.h"

#include "plinth/memalloc.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/clientinterfaces.h"
#include "trestle/strtools.h"
#include "trestle/strtools_unicode.h"

#include <cstring>

#define CLIENTCONNECTION_SOURCE "clientconnection"

char g_szClientDir[QUERN_CLIENT_PATH_SIZE];

const char* const ModuleNameTable[] = {
    "quernclient.dll", "quern2.dll",   "quernui.dll",    "quernservice.dll",
    "quernnet.dll",    "quernweb.dll", "quernvoice.dll", "",
};

PlatRegKey RegistryRootFromName(const char* pszRootName)
{
    if (!pszRootName) return nullptr;
    if (!V_CompareNoCaseCount(pszRootName, "HKEY_LOCAL_MACHINE", 0x7FFFFFFF) ||
        !V_CompareNoCaseCount(pszRootName, "HKLM", 0x7FFFFFFF))
        return Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE);
    if (!V_CompareNoCaseCount(pszRootName, "HKEY_CURRENT_USER", 0x7FFFFFFF) ||
        !V_CompareNoCaseCount(pszRootName, "HKCU", 0x7FFFFFFF))
        return Plat_RegRootKey(PLAT_HKEY_CURRENT_USER);
    if (!V_CompareNoCaseCount(pszRootName, "HKEY_CLASSES_ROOT", 0x7FFFFFFF) ||
        !V_CompareNoCaseCount(pszRootName, "HKCR", 0x7FFFFFFF))
        return Plat_RegRootKey(PLAT_HKEY_CLASSES_ROOT);
    return nullptr;
}

static PlatRegKey OpenKey32(const char* pszRootName, const char* pszKey)
{
    PlatRegKey hKey = nullptr;
    // The client registers itself as a 32-bit program.
    if (Plat_RegOpenKeyW(RegistryRootFromName(pszRootName), pszKey,
                         PLAT_KEY_READ | PLAT_KEY_WOW64_32KEY, &hKey) != PLAT_ERROR_SUCCESS)
        return nullptr;
    return hKey;
}

bool ReadRegistryString(const char* pszRootName, const char* pszKey, const char* pszValue,
                        char* pszOut, int nOutSize)
{
    if (!pszOut || nOutSize <= 0) return false;
    PlatRegKey hKey = OpenKey32(pszRootName, pszKey);
    if (!hKey) return false;

    // One unit more than offered, so a value without terminator can be ended.
    char16_t* pWide = (char16_t*)MemAlloc_AllocTagged((size_t)(nOutSize + 1) * sizeof(char16_t),
                                                      CLIENTCONNECTION_SOURCE, __LINE__);
    uint32_t cbData = (uint32_t)nOutSize * sizeof(char16_t);
    bool bOk = Plat_RegQueryValueW(hKey, pszValue, nullptr, pWide, &cbData) == PLAT_ERROR_SUCCESS;
    if (bOk)
    {
        if (cbData > (uint32_t)nOutSize * sizeof(char16_t))
            cbData = (uint32_t)nOutSize * sizeof(char16_t);
        pWide[cbData / sizeof(char16_t)] = 0;
        bOk = V_UTF16ToUTF8(pWide, pszOut, nOutSize, 0) != 0;
    }
    MemAlloc_FreeTagged(pWide, CLIENTCONNECTION_SOURCE, __LINE__);
    Plat_RegCloseKey(hKey);
    return bOk;
}

uint32_t ReadRegistryDword(const char* pszRootName, const char* pszKey, const char* pszValue,
                           uint32_t nDefault)
{
    PlatRegKey hKey = OpenKey32(pszRootName, pszKey);
    if (!hKey) return nDefault;
    uint32_t value = 0;
    uint32_t cbData = sizeof(value);
    bool bOk = Plat_RegQueryValueW(hKey, pszValue, nullptr, &value, &cbData) == PLAT_ERROR_SUCCESS;
    Plat_RegCloseKey(hKey);
    return bOk ? value : nDefault;
}

bool QuernAPI_IsQuernRunning()
{
    uint32_t pid = ReadRegistryDword("HKCU", QUERN_ACTIVEPROCESS_KEY, "pid", 0);
    PlatProcess hProcess = Plat_OpenProcessForQuery(pid);
    if (!hProcess) return false;
    uint32_t exitCode = 0;
    bool bRunning = Plat_GetExitCodeProcess(hProcess, &exitCode) && exitCode == PLAT_STILL_ACTIVE;
    Plat_CloseProcess(hProcess);
    return bRunning;
}

bool FindClientLibraryPath(char* pszOut, int nOutSize)
{
    if (g_szClientDir[0] && !pszOut) return true;

    char szPath[QUERN_CLIENT_PATH_SIZE] = {};
    bool bFound = ReadRegistryString("HKCU", QUERN_ACTIVEPROCESS_KEY, "QuernClientDll", szPath,
                                     sizeof(szPath));
    if (!szPath[0])
    {
        // Not registered: the client library may already be in the process.
        // Without it the name is the executable's; only the folder is used.
        PlatModule hModule = Plat_GetModuleHandleA(ModuleNameTable[0]);
        char16_t wszName[260];
        uint32_t len = Plat_GetModuleFileNameW(hModule, wszName, 260);
        if (len >= 1 && len <= 259)
        {
            wszName[len] = 0;
            if (!V_UTF16ToUTF8(wszName, szPath, sizeof(szPath), 0)) szPath[0] = '\0';
        }
    }

    if (pszOut && nOutSize > 0)
    {
        strncpy(pszOut, szPath, (size_t)nOutSize);
        pszOut[nOutSize - 1] = '\0';
    }

    strncpy(g_szClientDir, szPath, QUERN_CLIENT_PATH_SIZE - 1);
    g_szClientDir[QUERN_CLIENT_PATH_SIZE - 1] = '\0';
    int i = (int)strlen(g_szClientDir) - 1;
    if (i > 0)
    {
        while (i > 0 && g_szClientDir[i] != '\\' && g_szClientDir[i] != '/')
            --i;
        g_szClientDir[i] = '\0';
    }

    // The module-name fall-back fills the folder but is not a find.
    return bFound;
}

PlatModule Sys_LoadModule(const char* pszPath)
{
    PlatModule hModule = Plat_LoadLibraryExW(pszPath, true);
    if (!hModule) hModule = Plat_LoadLibraryExA(pszPath, true);
    return hModule;
}

void* QuernAPI_Init_Internal(PlatModule* phModule, bool bAllowLocal, const char* pszVersion)
{
    if (!phModule) return nullptr;

    g_szClientDir[0] = '\0';
    char szPath[QUERN_CLIENT_PATH_SIZE] = {};
    if (FindClientLibraryPath(szPath, sizeof(szPath)))
    {
        if (QuernAPI_IsQuernRunning())
        {
            *phModule = Sys_LoadModule(szPath);
            if (!*phModule)
            {
                char szMessage[1028];
                V_BoundedFormat(
                    szMessage, sizeof(szMessage),
                    "[Q_API FAIL] QuernAPI_Init() failed; Sys_LoadModule failed to load: %s\n",
                    szPath);
                Plat_OutputDebugString(szMessage);
            }
        }
        else
        {
            Plat_OutputDebugString(
                "[Q_API FAIL] QuernAPI_Init() failed; QuernAPI_IsQuernRunning() failed.\n");
        }
    }

    if (!*phModule)
    {
        if (bAllowLocal) *phModule = Sys_LoadModule(ModuleNameTable[0]);
        if (!*phModule)
        {
            char szMessage[256];
            V_BoundedFormat(
                szMessage, sizeof(szMessage),
                "[Q_API FAIL] QuernAPI_Init() failed; unable to locate a running instance of "
                "Quern, or a local %s.\n",
                ModuleNameTable[0]);
            Plat_OutputDebugString(szMessage);
            return nullptr;
        }
    }

    QuernCreateInterfaceFn pfnFactory =
        (QuernCreateInterfaceFn)Plat_GetProcAddress(*phModule, "CreateInterface");
    if (pfnFactory) return pfnFactory(pszVersion, nullptr);

    char szMessage[256];
    V_BoundedFormat(
        szMessage, sizeof(szMessage),
        "[Q_API FAIL] QuernAPI_Init() failed; unable to locate interface factory in %s.\n",
        ModuleNameTable[0]);
    Plat_OutputDebugString(szMessage);
    Plat_FreeLibrary(*phModule);
    *phModule = nullptr;
    return nullptr;
}
