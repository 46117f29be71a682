// Reference-counted module loading and the interface registry.
#include "trestle/interface.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "plinth/platform/platform_env.h"
#include "trestle/strtools.h"
#include "trestle/utlvector.h"

#include <cstring>

#define INTERFACE_SOURCE "..\\trestle\\interface"

namespace
{
struct LoadedModule
{
    PlatModule m_hModule;
    int m_nRefCount;
};

// Modules loaded through LoadModule, with their reference counts. Never
// destroyed: modules may be unloaded from other static destructors.
CUtlVector<LoadedModule>& LoadedModuleTable()
{
    static CUtlVector<LoadedModule>* s_pTable = new CUtlVector<LoadedModule>();
    return *s_pTable;
}

int FindLoadedModule(PlatModule hModule)
{
    CUtlVector<LoadedModule>& table = LoadedModuleTable();
    for (int i = 0; i < table.Count(); ++i)
    {
        if (table[i].m_hModule == hModule) return i;
    }
    return -1;
}
} // namespace

PlatModule LoadModuleFile(const char* pchPath, bool bAlteredSearchPath, uint32_t flags)
{
    // The wide call answers null for text that is not UTF-8; the ANSI call then
    // gets the bytes as they are.
    PlatModule hModule;
    if (flags & LOADMODULE_ONLY_IF_LOADED)
        hModule = Plat_GetModuleHandleW(pchPath);
    else if (bAlteredSearchPath)
        hModule = Plat_LoadLibraryExW(pchPath, true);
    else
        hModule = Plat_LoadLibraryW(pchPath);
    if (hModule) return hModule;

    if (flags & LOADMODULE_ONLY_IF_LOADED) return Plat_GetModuleHandleA(pchPath);
    if (bAlteredSearchPath) return Plat_LoadLibraryExA(pchPath, true);
    return Plat_LoadLibraryA(pchPath);
}

PlatModule LoadModule(const char* pchModuleName, uint32_t flags)
{
    if (!pchModuleName) return nullptr;

    char* pszPath =
        (char*)MemAlloc_AllocTagged(MAX_UNICODE_PATH_IN_UTF8, INTERFACE_SOURCE, __LINE__);
    pszPath[0] = '\0';

    if (V_PathIsAbsolute(pchModuleName))
    {
        V_BoundedCopy(pszPath, pchModuleName, MAX_UNICODE_PATH_IN_UTF8);
    }
    else
    {
        char* pszDir =
            (char*)MemAlloc_AllocTagged(MAX_UNICODE_PATH_IN_UTF8, INTERFACE_SOURCE, __LINE__);
        uint32_t len = Plat_GetCurrentDirectory(pszDir, MAX_UNICODE_PATH_IN_UTF8);
        if (len == 0 || len >= (uint32_t)MAX_UNICODE_PATH_IN_UTF8) pszDir[0] = '\0';
        size_t dirLen = strlen(pszDir);
        if (dirLen > 0 && pszDir[dirLen - 1] == '/') pszDir[dirLen - 1] = '\0';
        V_BoundedFormat(pszPath, MAX_UNICODE_PATH_IN_UTF8, "%s/%s", pszDir, pchModuleName);
        MemAlloc_FreeTagged(pszDir, INTERFACE_SOURCE, __LINE__);
    }
    V_SetSlashes(pszPath, '\\');

    PlatModule hModule = LoadModuleFile(pszPath, true, flags);

    static const char pModuleExtension[] = ".dll";
    if (!hModule && !V_FindNoCase(pszPath, pModuleExtension))
    {
        if (strlen(pszPath) + strlen(pModuleExtension) >= (size_t)MAX_UNICODE_PATH_IN_UTF8)
            AssertFailed(INTERFACE_SOURCE, 340,
                         "strlen(pchModuleName) + V_strlen(pModuleExtension) < "
                         "MAX_UNICODE_PATH_IN_UTF8");
        V_BoundedAppend(pszPath, pModuleExtension, MAX_UNICODE_PATH_IN_UTF8);
        hModule = LoadModuleFile(pszPath, true, flags);
    }

    if (!hModule)
    {
        // Last: the bare file name through the system's search order.
        const char* pszBareName = V_FileNamePart(pchModuleName);
        if (V_FindNoCase(pchModuleName, pModuleExtension) || V_FindNoCase(pszPath, ".cpl"))
            V_BoundedFormat(pszPath, MAX_UNICODE_PATH_IN_UTF8, "%s", pszBareName);
        else
            V_BoundedFormat(pszPath, MAX_UNICODE_PATH_IN_UTF8, "%s%s", pszBareName,
                            pModuleExtension);
        hModule = LoadModuleFile(pszPath, (flags & LOADMODULE_ALTERED_SEARCH_PATH) != 0, flags);
    }

    if (hModule && !(flags & LOADMODULE_ONLY_IF_LOADED))
    {
        int index = FindLoadedModule(hModule);
        if (index >= 0)
        {
            ++LoadedModuleTable()[index].m_nRefCount;
        }
        else
        {
            LoadedModule entry = {hModule, 1};
            LoadedModuleTable().AddToTail(entry);
        }
    }

    MemAlloc_FreeTagged(pszPath, INTERFACE_SOURCE, __LINE__);
    return hModule;
}

void UnloadModule(PlatModule hModule)
{
    if (!hModule) return;
    int index = FindLoadedModule(hModule);
    if (index >= 0)
    {
        CUtlVector<LoadedModule>& table = LoadedModuleTable();
        if (--table[index].m_nRefCount <= 0)
        {
            table.Remove(index);
            if (table.Count() == 0) table.Purge();
        }
    }
    Plat_FreeLibrary(hModule);
}

int LoadedModuleRefCount(PlatModule hModule)
{
    int index = FindLoadedModule(hModule);
    return index >= 0 ? LoadedModuleTable()[index].m_nRefCount : 0;
}

InterfaceReg* InterfaceReg::s_pInterfaceRegs = nullptr;

InterfaceReg::InterfaceReg(InstantiateInterfaceFn fnCreate, const char* pName)
    : m_CreateFn(fnCreate), m_pName(pName), m_pNext(s_pInterfaceRegs)
{
    s_pInterfaceRegs = this;
}

extern "C" void* CreateInterface(const char* pName, int* pReturnCode)
{
    for (InterfaceReg* pReg = InterfaceReg::s_pInterfaceRegs; pReg; pReg = pReg->m_pNext)
    {
        if (pName && strcmp(pReg->m_pName, pName) == 0)
        {
            if (pReturnCode) *pReturnCode = IFACE_OK;
            return pReg->m_CreateFn();
        }
    }
    if (pReturnCode) *pReturnCode = IFACE_FAILED;
    return nullptr;
}
