// The mount table: the working directory, the default packs from the
// configuration, the installed depots or the bnds folder, and the mount
// exports.
#include "quern2wrapper/files/files.h"

#include "plinth/platform/platform_env.h"
#include "quern2wrapper/depotappmap.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"
#include "trestle/keyvalues.h"
#include "trestle/fileio.h"
#include "trestle/strtools.h"
#include "trestle/utlbuffer.h"

#include <climits>
#include <cstring>

namespace
{
char g_szWorkingDir[QUERN_WORKING_DIR_SIZE];
int g_nWorkingDirLen;

constexpr int MAX_INSTALLED_DEPOTS = 64;

void FormatDepotBase(char* pszOut, int nOutSize, const char* pszInstallDir, uint32_t depotId)
{
    V_BoundedFormat(pszOut, nOutSize, "%s\\bnds\\depot_%u", pszInstallDir, depotId);
}

void MountDepot(const char* pszInstallDir, uint32_t depotId)
{
    char szBase[QUERN_FILE_PATH_SIZE];
    FormatDepotBase(szBase, sizeof(szBase), pszInstallDir, depotId);
    MountPack(szBase);
}
} // namespace

MountTable& GetMountTable()
{
    static MountTable s_mounts;
    return s_mounts;
}

const char* GetWorkingDirectory()
{
    return g_szWorkingDir;
}

int GetWorkingDirectoryLength()
{
    return g_nWorkingDirLen;
}

namespace
{
// Caller holds the mount lock for writing.
void RecordWorkingDirectoryLocked()
{
    uint32_t len = Plat_GetCurrentDirectory(g_szWorkingDir, sizeof(g_szWorkingDir));
    // Leave room for the separator. A directory that does not fit is not
    // recorded at all: a lone separator would strip the first one of every
    // absolute path.
    if (len == 0 || len > sizeof(g_szWorkingDir) - 2)
    {
        g_szWorkingDir[0] = '\0';
        g_nWorkingDirLen = 0;
        return;
    }
    // Paths are compared with '\' after normalisation.
    V_SetSlashes(g_szWorkingDir, '\\');
    len = (uint32_t)strlen(g_szWorkingDir);
    if (len > 0 && g_szWorkingDir[len - 1] != '\\')
    {
        g_szWorkingDir[len++] = '\\';
        g_szWorkingDir[len] = '\0';
    }
    g_nWorkingDirLen = (int)len;
}

// The mount table's key of a base path: absolute, '\' separators, no doubled
// ones, dot segments resolved, lower case. False when it cannot be formed
// (no current directory, a path that climbs above its root or does not fit).
bool MountKey(const char* pszBasePath, char* pszOut, int nOutSize)
{
    char szPath[QUERN_FILE_PATH_SIZE];
    if (V_PathIsAbsolute(pszBasePath))
    {
        szPath[0] = '\0';
    }
    else
    {
        uint32_t len = Plat_GetCurrentDirectory(szPath, sizeof(szPath));
        if (len == 0 || len >= sizeof(szPath) - 1) return false;
        szPath[len++] = '\\';
        szPath[len] = '\0';
    }
    size_t used = strlen(szPath);
    if (used + strlen(pszBasePath) >= sizeof(szPath)) return false;
    memcpy(szPath + used, pszBasePath, strlen(pszBasePath) + 1);
    V_SetSlashes(szPath, '\\');
    V_CollapseSlashPairs(szPath);
    if (!V_RemoveDotSlashes(szPath, '\\')) return false;
    V_LowerAscii(szPath);
    V_BoundedCopy(pszOut, szPath, nOutSize);
    return true;
}

// The same key for a mounted store, from the absolute path it made at load.
void StoreKey(const PackStore* pStore, char* pszOut, int nOutSize)
{
    V_BoundedCopy(pszOut, pStore->GetAbsolutePath(), nOutSize);
    V_SetSlashes(pszOut, '\\');
    V_CollapseSlashPairs(pszOut);
    V_RemoveDotSlashes(pszOut, '\\');
}

// Caller holds the mount lock.
bool IsMounted(const char* pszKey)
{
    MountTable& mounts = GetMountTable();
    for (int i = 0; i < mounts.Count(); ++i)
    {
        char szKey[QUERN_FILE_PATH_SIZE];
        StoreKey(mounts[i], szKey, sizeof(szKey));
        if (V_CompareNoCaseCount(szKey, pszKey, 0x7FFFFFFF) == 0) return true;
    }
    return false;
}

// The verbose switch is read by every call without a lock: a mount writes
// it only when it changes, so mounting with the switch as it was races no one.
void SetVerbose(bool bOn)
{
    unsigned char value = bOn ? 1 : 0;
    if (verboseLogging != value) verboseLogging = value;
}
} // namespace

void RecordWorkingDirectory()
{
    CWriteLockT<SpinRWLock> lock(MountLock());
    RecordWorkingDirectoryLocked();
}

bool InitWorkingDirectory()
{
    {
        CWriteLockT<SpinRWLock> lock(MountLock());
        if (g_nWorkingDirLen > 0) return DiskReserveZero();
        RecordWorkingDirectoryLocked();
        QUERN_VERBOSE_LOG("Current working dir: %s", g_szWorkingDir);
    }

    // Handle 0 is the failure value of the open calls: the disk table keeps
    // it from every stream, also from those opened before this ran.
    return DiskReserveZero();
}

void MountPack(const char* pszBasePath)
{
    if (!pszBasePath) return;
    char szKey[QUERN_FILE_PATH_SIZE];
    if (MountKey(pszBasePath, szKey, sizeof(szKey)))
    {
        CMountReadScope mounts;
        if (IsMounted(szKey)) return;
    }

    char szDirFile[QUERN_FILE_PATH_SIZE];
    V_BoundedFormat(szDirFile, sizeof(szDirFile), BND_DIRECTORY_FILE_FORMAT, pszBasePath);
#if defined(_WIN32)
    // The name the pack store tries first.
    V_LowerAscii(szDirFile);
#endif

    // Loaded outside the lock: readers go on meanwhile.
    PackStore* pStore = new PackStore(pszBasePath, false);
    if (pStore->IsEmpty())
    {
        delete pStore;
        return;
    }
    pStore->SetCacheCapacity(1);
    bool bMounted = false;
    {
        // Checked again: another thread may have mounted it meanwhile.
        StoreKey(pStore, szKey, sizeof(szKey));
        CWriteLockT<SpinRWLock> lock(MountLock());
        if (!IsMounted(szKey))
        {
            GetMountTable().InsertBefore(0, pStore);
            bMounted = true;
        }
    }
    if (!bMounted)
    {
        delete pStore;
        return;
    }
    QUERN_VERBOSE_LOG("Mounting %s", szDirFile);
}

// A pack handle used after the unmount that ended it may name a file opened
// since: indices start over, as those of closed handles are reused. Threads
// that keep pack handles must stop using them once the packs are unmounted;
// the library cannot tell a stale handle from a new one without changing the
// handle values every caller sees. What it does guarantee is that a call in
// flight finishes against intact memory: the stores and entries are freed
// only once no reader holds them.
void UnmountAll()
{
    MountTable gone;
    {
        CWriteLockT<SpinRWLock> lock(MountLock());
        PackCloseAll();
        MountTable& mounts = GetMountTable();
        for (int i = 0; i < mounts.Count(); ++i)
            gone.AddToTail(mounts[i]);
        mounts.Purge();
    }
    // No reader can reach them any more.
    for (int i = 0; i < gone.Count(); ++i)
        delete gone[i];
}

namespace
{
uint32_t ClientInstalledDepots(uint32_t* pDepots, uint32_t nMax, void*)
{
    return g_Session.m_pApps->ListInstalledDepots(g_Session.m_nAppId, pDepots, nMax);
}

int CompareNamesAsNtfsLists(const CUtlOwnedString* pA, const CUtlOwnedString* pB)
{
    int nOrder = V_CompareNoCaseCount(pA->Get(), pB->Get(), INT_MAX);
    return nOrder ? nOrder : std::strcmp(pA->Get(), pB->Get());
}
} // namespace

bool ListDefaultPacksFrom(const char* pszInstallDir, InstalledDepots_t pfnDepots, void* pContext,
                          CUtlVector<CUtlOwnedString>* pBases, DefaultMountSource* pSource,
                          bool* pbConfigSpew)
{
    *pSource = DEFAULT_MOUNTS_CONFIG;
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    if (LoadFileIntoBuffer("quern_bnds.kvt", 0, 0xFFFFFFFFu, buf, true))
    {
        KeyValues* pConfig = new KeyValues("bnd");
        if (!pConfig->LoadFromBuffer("quern_bnds.kvt", buf))
        {
            KeyValues::DeleteTree(pConfig);
            *pSource = DEFAULT_MOUNTS_BAD_CONFIG;
            return false;
        }
        *pbConfigSpew = KeyValues::BoolValue(pConfig->LookupKey("spewfileio"), false);
        if (KeyValues* pMount = pConfig->LookupKey("mount"))
        {
            for (KeyValues* pKey = pMount->GetFirstSubKey(); pKey; pKey = pKey->GetNextKey())
                pBases->AddToTail(CUtlOwnedString(KeyValues::StringValue(pKey, "")));
            KeyValues::DeleteTree(pConfig);
            return true;
        }
        KeyValues::DeleteTree(pConfig);
    }

    if (pfnDepots)
    {
        QuernDepotId depots[MAX_INSTALLED_DEPOTS];
        uint32_t count = pfnDepots(depots, MAX_INSTALLED_DEPOTS, pContext);
        // The client's count is trusted no further than the array.
        if (count > (uint32_t)MAX_INSTALLED_DEPOTS) count = MAX_INSTALLED_DEPOTS;
        if (count > 0)
        {
            *pSource = DEFAULT_MOUNTS_DEPOTS;
            for (uint32_t i = 0; i < count; ++i)
            {
                char szBase[QUERN_FILE_PATH_SIZE];
                FormatDepotBase(szBase, sizeof(szBase), pszInstallDir, depots[i]);
                pBases->AddToTail(CUtlOwnedString(szBase));
            }
            return true;
        }
    }

    *pSource = DEFAULT_MOUNTS_SCAN;
    char szBndsDir[QUERN_FILE_PATH_SIZE];
    V_BoundedFormat(szBndsDir, sizeof(szBndsDir), "%s\\bnds", pszInstallDir);
    CDirIterator it(szBndsDir, "depot_*" BND_DIRECTORY_FILE_SUFFIX);
    CUtlVector<CUtlOwnedString> names;
    while (it.BNext())
        names.AddToTail(CUtlOwnedString(it.CurrentFileName()));
    // In the order an NTFS listing gives (names compared in upper case), not
    // the order the system happens to list them in: one install mounts alike
    // on every system, and on every disk.
    names.Sort(CompareNamesAsNtfsLists);
    for (const CUtlOwnedString& name : names)
    {
        char szBase[QUERN_FILE_PATH_SIZE];
        V_BoundedFormat(szBase, sizeof(szBase), "%s\\bnds\\%s", pszInstallDir, name.Get());
        if (char* pSuffix = V_FindNoCase(szBase, BND_DIRECTORY_FILE_SUFFIX)) *pSuffix = '\0';
        pBases->AddToTail(CUtlOwnedString(szBase));
    }
    return true;
}

bool ListDefaultPacks(CUtlVector<CUtlOwnedString>* pBases, DefaultMountSource* pSource,
                      bool* pbConfigSpew)
{
    return ListDefaultPacksFrom(g_Session.m_szAppInstallDir,
                                g_Session.m_pApps ? ClientInstalledDepots : nullptr, nullptr,
                                pBases, pSource, pbConfigSpew);
}

bool MountDefaultPacksFrom(const char* pszInstallDir, InstalledDepots_t pfnDepots, void* pContext,
                           DefaultMountSource* pSource)
{
    // The configuration's switch overrides the command line's, and only a
    // configuration that was read has one.
    bool bConfigSpew = verboseLogging != 0;
    CUtlVector<CUtlOwnedString> bases;
    if (!ListDefaultPacksFrom(pszInstallDir, pfnDepots, pContext, &bases, pSource, &bConfigSpew))
        return false;
    SetVerbose(bConfigSpew);
    for (int i = 0; i < bases.Count(); ++i)
        MountPack(bases[i].Get());
    return true;
}

bool MountDefaultPacks()
{
    {
        CMountReadScope mounts;
        if (GetMountTable().Count() > 0) return true;
    }

    const char* pszCommandLine = Plat_GetCommandLine();
    if (pszCommandLine && strstr(pszCommandLine, "-debugquern2wrapper")) SetVerbose(true);

    DefaultMountSource source;
    return MountDefaultPacksFrom(g_Session.m_szAppInstallDir,
                                 g_Session.m_pApps ? ClientInstalledDepots : nullptr, nullptr,
                                 &source);
}

// The last step of QuernStartup.
bool QuernStartup_FileLayer()
{
    return InitWorkingDirectory() && MountDefaultPacks();
}

QUERN_EXPORT int QuernMountAppFilesystem(TQuernError* pError)
{
    ClearError(pError);
    QUERN_VERBOSE_LOG("QuernMountAppFilesystem");
    return (InitWorkingDirectory() && MountDefaultPacks()) ? 1 : 0;
}

QUERN_EXPORT int QuernMountFilesystem(uint32_t depotId, const char* pszPath, TQuernError* pError)
{
    ClearError(pError);
    QuernAppId appId = g_Session.m_nAppId;
    DepotAppMap_Find(depotId, &appId);

    char szInstallDir[QUERN_INSTALL_DIR_SIZE];
    memset(szInstallDir, 0, sizeof(szInstallDir));
    // Before start-up or after clean-up there is no client to ask.
    if (g_Session.m_pApps)
        g_Session.m_pApps->GetInstallFolder(appId, szInstallDir, sizeof(szInstallDir));
    szInstallDir[sizeof(szInstallDir) - 1] = '\0';
    MountDepot(szInstallDir, depotId);

    QUERN_VERBOSE_LOG("QuernMountFilesystem uDepotId %u, path \"%s\"", depotId,
                      pszPath ? pszPath : "(null)");
    return 1;
}

QUERN_EXPORT int QuernUnmountAppFilesystem(TQuernError* pError)
{
    ClearError(pError);
    UnmountAll();
    return 1;
}
