// The checks of querncheck. Each one asks the library's own code (registry
// reads, client loading, the start-up's client half, the list of default
// packs, the pack reader), so the answer is the one start-up would get.
#include "tools/querncheck/querncheck.h"

#include "bndlib/packcrc.h"
#include "bndlib/packstore.h"
#include "plinth/minidump_faultsink.h"
#include "plinth/minidump_internal.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_registry.h"
#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/launch.h"
#include "quern2wrapper/session.h"
#include "trestle/strtools.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const char* const kRegistrationKey = "HKCU\\" QUERN_ACTIVEPROCESS_KEY;

struct Checklist
{
    FILE* m_pOut;
    int m_nFailures = 0;
    int m_nWarnings = 0;

    void Line(const char* pszTag, const char* pszFormat, va_list args)
    {
        fprintf(m_pOut, "[%s] ", pszTag);
        vfprintf(m_pOut, pszFormat, args);
        fputc('\n', m_pOut);
    }
    void Ok(const char* pszFormat, ...)
    {
        va_list args;
        va_start(args, pszFormat);
        Line(" ok ", pszFormat, args);
        va_end(args);
    }
    void Info(const char* pszFormat, ...)
    {
        va_list args;
        va_start(args, pszFormat);
        Line("info", pszFormat, args);
        va_end(args);
    }
    // Something that does not stop start-up but loses a feature.
    void Warn(const char* pszFormat, ...)
    {
        ++m_nWarnings;
        va_list args;
        va_start(args, pszFormat);
        Line("warn", pszFormat, args);
        va_end(args);
    }
    void Fail(const char* pszFormat, ...)
    {
        ++m_nFailures;
        va_list args;
        va_start(args, pszFormat);
        Line("FAIL", pszFormat, args);
        va_end(args);
    }
    void Fix(const char* pszFormat, ...)
    {
        fputs("       fix: ", m_pOut);
        va_list args;
        va_start(args, pszFormat);
        vfprintf(m_pOut, pszFormat, args);
        va_end(args);
        fputc('\n', m_pOut);
    }
    void Note(const char* pszText) { fprintf(m_pOut, "       %s", pszText); }
};

// What the library writes to the debugger output meanwhile.
void CollectDebugOutput(const char* pszText, void* pContext)
{
    static_cast<std::string*>(pContext)->append(pszText ? pszText : "");
}

// The running-client registration and the client library it names. True
// when every part is in place.
bool CheckRegistration(Checklist& list)
{
    PlatRegKey hKey = nullptr;
    long err = Plat_RegOpenKeyW(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY,
                                PLAT_KEY_READ | PLAT_KEY_WOW64_32KEY, &hKey);
    if (err != 0)
    {
        list.Fail("registration: the key %s is missing (the platform client is not running)",
                  kRegistrationKey);
        list.Fix("start the platform client and log in; it registers itself while it runs");
        return false;
    }
    Plat_RegCloseKey(hKey);
    list.Ok("registration: %s", kRegistrationKey);

    bool bGood = true;
    uint32_t pid = ReadRegistryDword("HKCU", QUERN_ACTIVEPROCESS_KEY, "pid", 0);
    if (pid == 0)
    {
        list.Fail("registration: no \"pid\" value (a 32-bit number) under the key");
        list.Fix("restart the platform client so that it registers its process anew");
        bGood = false;
    }
    else if (!QuernAPI_IsQuernRunning())
    {
        list.Fail("registration: \"pid\" %u names no running process (the client exited or "
                  "crashed and left its registration behind)",
                  pid);
        list.Fix("start the platform client again; it replaces the stale \"pid\"");
        bGood = false;
    }
    else
        list.Ok("registration: client process %u is running", pid);

    char szPath[QUERN_CLIENT_PATH_SIZE] = {};
    if (!ReadRegistryString("HKCU", QUERN_ACTIVEPROCESS_KEY, "QuernClientDll", szPath,
                            sizeof(szPath)) ||
        !szPath[0])
    {
        list.Fail("client library: no \"QuernClientDll\" value under the key");
        list.Fix("restart or reinstall the platform client; it records the full path of "
                 "quernclient.dll there");
        return false;
    }
    if (!Plat_PathExists(szPath))
    {
        list.Fail("client library: %s is missing", szPath);
        list.Fix("reinstall or repair the platform client, then start it again");
        return false;
    }
    PlatModule hModule = Sys_LoadModule(szPath);
    if (!hModule)
    {
        list.Fail("client library: %s is there but does not load", szPath);
        list.Fix("the client library must match the game's architecture (32-bit) and find "
                 "the modules it needs beside it; repair the platform client");
        return false;
    }
    bool bFactory = Plat_GetProcAddress(hModule, "CreateInterface") != nullptr;
    Plat_FreeLibrary(hModule);
    if (!bFactory)
    {
        list.Fail("client library: %s does not export CreateInterface", szPath);
        list.Fix("the registered file is not the platform's client library; repair the "
                 "platform client so that the registration names quernclient.dll");
        return false;
    }
    list.Ok("client library: %s (exports CreateInterface)", szPath);
    return bGood;
}

// The client half of start-up, as QuernStartup runs it; prints the
// library's own lines when it fails.
bool CheckClientStartup(Checklist& list)
{
    std::string debugOutput;
    PlatDebugOutputObserver pfnOld = Plat_SetDebugOutputObserver(CollectDebugOutput, &debugOutput);
    TQuernError error = {};
    int nOk = QuernStartup_Client(&error);
    Plat_SetDebugOutputObserver(pfnOld, nullptr);
    if (!nOk)
    {
        list.Fail("start-up: QuernStartup fails with \"%s\"", error.description);
        if (!debugOutput.empty())
        {
            list.Note("the library's debugger output:\n");
            size_t start = 0;
            while (start < debugOutput.size())
            {
                size_t end = debugOutput.find('\n', start);
                if (end == std::string::npos) end = debugOutput.size();
                fprintf(list.m_pOut, "         %s\n",
                        debugOutput.substr(start, end - start).c_str());
                start = end + 1;
            }
        }
        list.Fix("see the registration and client library items above; a client that "
                 "withholds an interface needs updating");
        return false;
    }
    list.Ok("start-up: the client answers; application %u, installed in \"%s\"", g_Session.m_nAppId,
            g_Session.m_szAppInstallDir);
    return true;
}

// Pieces the library looks for only when they are needed: the client
// executable (launching) and the crash-dump modules.
void CheckOptionalPieces(Checklist& list, const char* pszGameExe)
{
    char szDir[QUERN_LAUNCH_PATH_SIZE] = {};
    if (!FindClientInstallDir(szDir, sizeof(szDir)))
    {
        list.Warn("client executable: no client folder found (HKLM\\Software\\Norra\\Quern "
                  "\"InstallPath\", or the running client's library)");
        list.Fix("only launching other applications needs it: install the platform client "
                 "or start it");
    }
    else
    {
        char szExe[QUERN_LAUNCH_PATH_SIZE];
        V_BoundedFormat(szExe, sizeof(szExe), "%s\\quern.exe", szDir);
        if (Plat_PathExists(szExe))
            list.Ok("client executable: %s", szExe);
        else
        {
            list.Warn("client executable: %s is missing", szExe);
            list.Fix("only launching other applications needs it: repair the platform client");
        }
    }

    // The crash-dump module sits beside the client library.
    g_szClientDir[0] = '\0';
    FindClientLibraryPath(nullptr, 0);
    char szDump[QUERN_CLIENT_PATH_SIZE];
    V_BoundedFormat(szDump, sizeof(szDump), "%s%c%s", g_szClientDir, '\\', "Quern2.dll");
    if (g_szClientDir[0] && Plat_PathExists(szDump))
        list.Ok("crash-dump module: %s", szDump);
    else
    {
        list.Warn("crash-dump module: %s is missing", szDump);
        list.Fix("QuernMiniDumpInit answers 0 and no dumps are written; repair the platform "
                 "client");
    }

    // The crash handler sits beside the game's executable (or one folder up
    // from a "bin" folder).
    char szSink[QUERN_CLIENT_PATH_SIZE];
    DumpSink_BuildModulePath(pszGameExe, szSink, sizeof(szSink));
    if (Plat_PathExists(szSink))
        list.Ok("crash handler: %s", szSink);
    else
    {
        list.Warn("crash handler: %s is missing (looked for beside %s)", szSink, pszGameExe);
        list.Fix("the library's own crash dumps are off; put " FAULTSINK_MODULE_NAME
                 " beside the game's executable (use --exe to name it)");
    }
}

struct PackScan
{
    PackStore* m_pStore;
    bool m_bVerify;
    std::vector<int> m_archives; // archive indices used, sorted, no doubles
    int m_nChecked = 0;
    std::vector<std::string> m_badCrc;
    std::vector<std::string> m_unreadable;
};

std::string EntryPath(const PackEntryInfo& info)
{
    std::string path;
    if (strcmp(info.m_pszDirectory, " ") != 0)
    {
        path = info.m_pszDirectory;
        path += '/';
    }
    path += info.m_pszName;
    if (strcmp(info.m_pszExtension, " ") != 0)
    {
        path += '.';
        path += info.m_pszExtension;
    }
    return path;
}

bool ScanEntry(const PackEntryInfo& info, void* pContext)
{
    PackScan& scan = *static_cast<PackScan*>(pContext);
    int nArchive = info.m_firstChunk.m_nArchiveIndex;
    // A chunk without bytes is never read, so its archive need not exist.
    if (info.m_firstChunk.m_uLength > 0 && nArchive != BND_DIRECTORY_ARCHIVE_INDEX)
    {
        auto it = scan.m_archives.begin();
        while (it != scan.m_archives.end() && *it < nArchive)
            ++it;
        if (it == scan.m_archives.end() || *it != nArchive) scan.m_archives.insert(it, nArchive);
    }
    if (!scan.m_bVerify) return true;

    // Read the entry the way a game's open would find it; a record shadowed
    // by an earlier one of the same name is never served.
    std::string path = EntryPath(info);
    PackEntryHandle handle = scan.m_pStore->FindEntry(path.c_str());
    if (!handle.IsValid() || handle.m_pRecord != info.m_record.m_pRecord) return true;
    uint32_t crc = 0;
    int64_t nRead = 0;
    char buf[65536];
    for (;;)
    {
        int n = scan.m_pStore->ReadEntry(handle, buf, sizeof(buf));
        if (n <= 0) break;
        crc = PackCrc32(crc, buf, (size_t)n);
        nRead += n;
    }
    ++scan.m_nChecked;
    if (nRead != handle.m_nSize)
        scan.m_unreadable.push_back(path);
    else if (crc != info.m_record.m_uCrc)
        scan.m_badCrc.push_back(path);
    return true;
}

void ListSome(Checklist& list, const char* pszWhat, const std::vector<std::string>& names)
{
    fprintf(list.m_pOut, "       %s:", pszWhat);
    size_t n = names.size() < 5 ? names.size() : 5;
    for (size_t i = 0; i < n; ++i)
        fprintf(list.m_pOut, " %s", names[i].c_str());
    if (names.size() > n) fprintf(list.m_pOut, " (and %zu more)", names.size() - n);
    fputc('\n', list.m_pOut);
}

void CheckPack(Checklist& list, const char* pszBase, bool bVerify)
{
    char szDirFile[QUERN_FILE_PATH_SIZE];
    V_BoundedFormat(szDirFile, sizeof(szDirFile), BND_DIRECTORY_FILE_FORMAT, pszBase);
    V_LowerAscii(szDirFile);

    // The reader's own warning about a damaged pack comes just above its line.
    fflush(list.m_pOut);
    fflush(stdout);
    PackStore store(pszBase, false);
    fflush(stdout);
    if (store.IsDamaged())
    {
        list.Fail("pack %s: %s is damaged and is skipped (%s)", pszBase, szDirFile,
                  store.GetDamage());
        list.Fix("restore the pack's files (verify the game's files in the platform client) "
                 "or rebuild it with bndtool create");
        return;
    }
    if (store.IsEmpty())
    {
        if (Plat_PathExists(szDirFile))
            list.Fail("pack %s: %s holds no files and is skipped", pszBase, szDirFile);
        else
            list.Fail("pack %s: %s is missing; the pack is skipped", pszBase, szDirFile);
        list.Fix("install the pack, or remove it from the list that names it");
        return;
    }

    PackScan scan;
    scan.m_pStore = &store;
    scan.m_bVerify = bVerify;
    store.EnumerateEntries(ScanEntry, &scan);

    std::vector<std::string> missing;
    for (int nArchive : scan.m_archives)
    {
        char szArchive[QUERN_FILE_PATH_SIZE];
        store.BuildArchiveFileName(nArchive, szArchive, sizeof(szArchive));
        if (!Plat_PathExists(szArchive)) missing.push_back(szArchive);
    }
    bool bGood = true;
    if (!missing.empty())
    {
        list.Fail("pack %s: %zu of its %zu archives are missing", pszBase, missing.size(),
                  scan.m_archives.size());
        ListSome(list, "missing", missing);
        list.Fix("restore the missing archive files; reads of their entries fail");
        bGood = false;
    }
    if (!scan.m_badCrc.empty() || !scan.m_unreadable.empty())
    {
        list.Fail("pack %s: %zu entries do not match their CRC, %zu cannot be read whole", pszBase,
                  scan.m_badCrc.size(), scan.m_unreadable.size());
        if (!scan.m_badCrc.empty()) ListSome(list, "bad CRC", scan.m_badCrc);
        if (!scan.m_unreadable.empty()) ListSome(list, "short", scan.m_unreadable);
        list.Fix("restore the pack's archives (verify the game's files in the platform client)");
        bGood = false;
    }
    if (!bGood) return;
    if (bVerify)
        list.Ok("pack %s: %d files, %zu archives, %d CRCs match", pszBase, store.GetEntryCount(),
                scan.m_archives.size(), scan.m_nChecked);
    else
        list.Ok("pack %s: %d files, %zu archives present", pszBase, store.GetEntryCount(),
                scan.m_archives.size());
}

// The configuration and the packs start-up would mount. False when start-up
// would stop here.
bool CheckPacks(Checklist& list, bool bClientUp, bool bVerify)
{
    char szCwd[QUERN_WORKING_DIR_SIZE] = {};
    Plat_GetCurrentDirectory(szCwd, sizeof(szCwd));
    list.Info("current directory: %s", szCwd);
    list.Note("(the game's current directory: quern_bnds.kvt is read from it, and paths "
              "below it open as relative paths)\n");

    bool bConfig = Plat_PathExists("quern_bnds.kvt");
    CUtlVector<CUtlOwnedString> bases;
    DefaultMountSource source = DEFAULT_MOUNTS_SCAN;
    bool bSpew = false;
    // A parse error is written by the key-values reader itself, just above.
    fflush(list.m_pOut);
    fflush(stdout);
    if (!ListDefaultPacks(&bases, &source, &bSpew))
    {
        list.Fail("quern_bnds.kvt does not parse; start-up fails (QuernStartup answers 0)");
        list.Fix("correct the file at the offset the \"KeyValues Error\" line names, or remove "
                 "the file to mount the installed depots instead");
        return false;
    }
    if (bConfig)
        list.Ok("quern_bnds.kvt parses%s", bSpew ? " (spewfileio: the file layer logs)" : "");
    else
        list.Info("no quern_bnds.kvt here: the installed depots are mounted, else the bnds "
                  "folder's packs");

    switch (source)
    {
    case DEFAULT_MOUNTS_CONFIG:
        list.Info("packs: %d from the \"mount\" section of quern_bnds.kvt", bases.Count());
        break;
    case DEFAULT_MOUNTS_DEPOTS:
        list.Info("packs: %d installed depots of application %u", bases.Count(),
                  g_Session.m_nAppId);
        break;
    case DEFAULT_MOUNTS_BAD_CONFIG: // answered above
    case DEFAULT_MOUNTS_SCAN:
        if (!bClientUp)
        {
            list.Info("packs: not checked; without the client the application's install "
                      "folder is unknown");
            return true;
        }
        list.Info("packs: %d found by the scan of %s\\bnds", bases.Count(),
                  g_Session.m_szAppInstallDir);
        break;
    }
    if (bases.Count() == 0)
    {
        list.Fail("packs: start-up would mount nothing; the game sees loose files only");
        list.Fix("list the packs in the \"mount\" section of quern_bnds.kvt, or install the "
                 "game's depots under <install folder>\\bnds");
        return true;
    }
    list.Note("(mount order; the last one is searched first)\n");
    for (int i = 0; i < bases.Count(); ++i)
        CheckPack(list, bases[i].Get(), bVerify);
    return true;
}
} // namespace

int QuernCheck_Run(const QuernCheckOptions& options, FILE* pOut)
{
    char szSavedCwd[QUERN_WORKING_DIR_SIZE] = {};
    Plat_GetCurrentDirectory(szSavedCwd, sizeof(szSavedCwd));
    if (options.m_pszDir && !Plat_SetCurrentDirectory(options.m_pszDir))
    {
        fprintf(pOut, "querncheck: cannot enter the folder %s\n", options.m_pszDir);
        return 2;
    }

    Checklist list;
    list.m_pOut = pOut;
    bool bRegistered = CheckRegistration(list);
    bool bClientUp = CheckClientStartup(list);
    (void)bRegistered;

    char szGameExe[QUERN_WORKING_DIR_SIZE];
    if (options.m_pszGameExe)
        V_BoundedCopy(szGameExe, options.m_pszGameExe, sizeof(szGameExe));
    else
    {
        char szCwd[QUERN_WORKING_DIR_SIZE] = {};
        Plat_GetCurrentDirectory(szCwd, sizeof(szCwd));
        V_BoundedFormat(szGameExe, sizeof(szGameExe), "%s\\game.exe", szCwd);
    }
    CheckOptionalPieces(list, szGameExe);
    CheckPacks(list, bClientUp, options.m_bVerify);

    QuernCleanup(nullptr);
    g_Session = QuernSession();

    if (list.m_nFailures == 0)
        fprintf(pOut, "\nquerncheck: start-up would succeed and mount every pack (%d warnings)\n",
                list.m_nWarnings);
    else
        fprintf(pOut, "\nquerncheck: %d problems; start-up would fail or miss content\n",
                list.m_nFailures);
    if (options.m_pszDir) Plat_SetCurrentDirectory(szSavedCwd);
    return list.m_nFailures == 0 ? 0 : 1;
}

int QuernCheck_Main(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    QuernCheckOptions options;
    for (int i = 1; i < argc; ++i)
    {
        const char* pszArg = argv[i];
        if (strcmp(pszArg, "--verify") == 0)
            options.m_bVerify = true;
        else if (strcmp(pszArg, "--dir") == 0 && i + 1 < argc)
            options.m_pszDir = argv[++i];
        else if (strcmp(pszArg, "--exe") == 0 && i + 1 < argc)
            options.m_pszGameExe = argv[++i];
        else
        {
            fprintf(pErr, "usage: querncheck [--verify] [--dir <game folder>] [--exe <game "
                          "executable>]\n"
                          "  Checks what quern.dll needs at start-up and prints a fix for "
                          "each problem.\n"
                          "  Exit status 0 only when start-up would succeed and mount every "
                          "pack.\n");
            return 2;
        }
    }
    return QuernCheck_Run(options, pOut);
}
