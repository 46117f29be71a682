// Registry reads, the client library's folder, module loading and the
// interface registry.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/clientconnection.h"
#include "trestle/interface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ClientConnectionRegistry, RootNamesAndReads)
{
    EXPECT_EQ(Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE), RegistryRootFromName("hklm"));
    EXPECT_EQ(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), RegistryRootFromName("HKEY_current_USER"));
    EXPECT_EQ(Plat_RegRootKey(PLAT_HKEY_CLASSES_ROOT), RegistryRootFromName("HKCR"));
    EXPECT_EQ(nullptr, RegistryRootFromName("HKCU2"));

    RegisterClient("C:\\Program Files\\Quern\\quernclient.dll", 4321);
    char szValue[64];
    EXPECT_TRUE(ReadRegistryString("HKCU", QUERN_ACTIVEPROCESS_KEY, "QuernClientDll", szValue,
                                   sizeof(szValue)));
    EXPECT_STREQ("C:\\Program Files\\Quern\\quernclient.dll", szValue);
    // Too small a buffer is a failed read, not a cut value.
    EXPECT_FALSE(ReadRegistryString("HKCU", QUERN_ACTIVEPROCESS_KEY, "QuernClientDll", szValue, 8));
    EXPECT_FALSE(ReadRegistryString("HKCU", "Software\\Norra\\Missing", "x", szValue, 64));
    EXPECT_EQ(4321u, ReadRegistryDword("HKCU", QUERN_ACTIVEPROCESS_KEY, "pid", 5));
    EXPECT_EQ(5u, ReadRegistryDword("HKCU", QUERN_ACTIVEPROCESS_KEY, "nothing", 5));
    EXPECT_EQ(5u, ReadRegistryDword("HKXX", QUERN_ACTIVEPROCESS_KEY, "pid", 5));

    RegisterClient(nullptr, Plat_GetCurrentProcessId());
    EXPECT_TRUE(QuernAPI_IsQuernRunning());
    RegisterClient(nullptr, kDeadPid);
    EXPECT_FALSE(QuernAPI_IsQuernRunning());
    UnregisterClient();
    EXPECT_FALSE(QuernAPI_IsQuernRunning());
}

TEST(ClientConnectionPath, FolderIsCutAtLastSeparator)
{
    const struct
    {
        const char* m_pszPath;
        const char* m_pszFolder;
    } cases[] = {
        {"C:\\a\\b\\client.dll", "C:\\a\\b"},
        {"C:\\a/b\\c/client.dll", "C:\\a/b\\c"},
        {"client.dll", ""},
        {"\\client.dll", ""},
        {"c", "c"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.m_pszPath);
        RegisterClient(test.m_pszPath, 0);
        g_szClientDir[0] = '\0';
        char szOut[QUERN_CLIENT_PATH_SIZE];
        EXPECT_TRUE(FindClientLibraryPath(szOut, sizeof(szOut)));
        EXPECT_STREQ(test.m_pszPath, szOut);
        EXPECT_STREQ(test.m_pszFolder, g_szClientDir);
    }

    // A known folder without an out buffer answers at once.
    RegisterClient("C:\\x\\y.dll", 0);
    EXPECT_TRUE(FindClientLibraryPath(nullptr, 0));
    EXPECT_STREQ("c", g_szClientDir);

    // The out buffer is cut and terminated.
    char szShort[6];
    EXPECT_TRUE(FindClientLibraryPath(szShort, sizeof(szShort)));
    EXPECT_STREQ("C:\\x\\", szShort);

    // Not registered: a module's folder is still taken, but it is no find.
    UnregisterClient();
    g_szClientDir[0] = '\0';
    char szOut[QUERN_CLIENT_PATH_SIZE];
    EXPECT_FALSE(FindClientLibraryPath(szOut, sizeof(szOut)));
    EXPECT_TRUE(Plat_PathExists(szOut)) << szOut;
    const std::string path = szOut;
    EXPECT_EQ(path.substr(0, path.find_last_of("\\/")), g_szClientDir);
}

TEST(ClientConnectionInit, LibraryWithoutFactoryIsReleased)
{
    std::string path = BinaryPath("nofactory.dll");
    RegisterClient(path.c_str(), Plat_GetCurrentProcessId());
    DebugOutputCapture capture;
    PlatModule hModule = nullptr;
    EXPECT_EQ(nullptr, QuernAPI_Init_Internal(&hModule, false, "QuernClient017"));
    EXPECT_EQ(nullptr, hModule);
    EXPECT_EQ(std::vector<std::string>({"[Q_API FAIL] QuernAPI_Init() failed; unable to locate "
                                        "interface factory in quernclient.dll.\n"}),
              capture.Lines());
    EXPECT_EQ(nullptr, Plat_GetModuleHandleW(path.c_str())) << "the module was released";
    EXPECT_EQ(nullptr, QuernAPI_Init_Internal(nullptr, true, "QuernClient017"));
    UnregisterClient();
}

TEST(ClientConnectionModules, LoadModuleCountsReferences)
{
    std::string path = BinaryPath("nofactory.dll");
    PlatModule hFirst = LoadModule(path.c_str(), 0);
    ASSERT_NE(nullptr, hFirst);
    EXPECT_EQ(1, LoadedModuleRefCount(hFirst));
    // ".dll" is completed.
    EXPECT_EQ(hFirst, LoadModule(BinaryPath("nofactory").c_str(), 0));
    EXPECT_EQ(2, LoadedModuleRefCount(hFirst));
    // A look-up of a loaded module adds no reference.
    EXPECT_EQ(hFirst, LoadModule(path.c_str(), LOADMODULE_ONLY_IF_LOADED));
    EXPECT_EQ(2, LoadedModuleRefCount(hFirst));

    UnloadModule(hFirst);
    EXPECT_EQ(1, LoadedModuleRefCount(hFirst));
    EXPECT_NE(nullptr, Plat_GetModuleHandleW(path.c_str())) << "one reference remains";
    UnloadModule(hFirst);
    EXPECT_EQ(0, LoadedModuleRefCount(hFirst));
    EXPECT_EQ(nullptr, Plat_GetModuleHandleW(path.c_str()));
    UnloadModule(nullptr);
    EXPECT_EQ(nullptr, LoadModule(BinaryPath("no_such_module").c_str(), 0));

    // A relative name is looked for in the current directory.
    char szOld[4096];
    ASSERT_GT(Plat_GetCurrentDirectory(szOld, sizeof(szOld)), 0u);
    ASSERT_TRUE(Plat_SetCurrentDirectory(BinaryPath("").c_str()));
    PlatModule hRelative = LoadModule("nofactory", 0);
    Plat_SetCurrentDirectory(szOld);
    EXPECT_NE(nullptr, hRelative);
    UnloadModule(hRelative);
}

TEST(ClientConnectionInterfaceRegistry, EmptyRegistryAnswersFailure)
{
    int code = 77;
    EXPECT_EQ(nullptr, CreateInterface("Quern006", &code));
    EXPECT_EQ(1, code);
    EXPECT_EQ(nullptr, CreateInterface(nullptr, nullptr));
}
