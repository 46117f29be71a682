// The export list of the built library.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_modules.h"
#include "quern2wrapper/quern_stubs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace
{
std::set<std::string> DefExports()
{
    std::set<std::string> names;
    std::ifstream in(HostPath(QUERN_SOURCE_DIR "/quern2wrapper/quern.def"));
    for (std::string line; std::getline(in, line);)
    {
        line = line.substr(0, line.find(';'));
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name == "LIBRARY" || name == "EXPORTS") continue;
        names.insert(name);
    }
    return names;
}
} // namespace

TEST(QuernStubsExports, DefListsEveryStubAndTheFrame)
{
    std::set<std::string> names = DefExports();
    ASSERT_FALSE(names.empty());
#define CHECK_LISTED(name, shape, result) EXPECT_EQ(1u, names.count(#name)) << #name;
    QUERN_STUB_LIST(CHECK_LISTED)
#undef CHECK_LISTED
    for (const char* pszName :
         {"g_dwDllEntryThreadId", "CreateInterface", "QuernStartup", "QuernCleanup",
          "QuernWriteMiniDumpFromAssert", "QuernWriteMiniDumpWithAppID", "QuernClearError"})
        EXPECT_EQ(1u, names.count(pszName)) << pszName;
}

TEST(QuernStubsExports, BuiltLibraryExportsEveryListedName)
{
    std::string path = BinaryPath(QUERN_LIBRARY_FILE);
    PlatModule hLibrary = Plat_LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, hLibrary) << path;
    for (const std::string& name : DefExports())
        EXPECT_NE(nullptr, Plat_GetProcAddress(hLibrary, name.c_str())) << name;

    // The data export starts at 0.
    auto* pThreadId = (const uint32_t*)Plat_GetProcAddress(hLibrary, "g_dwDllEntryThreadId");
    ASSERT_NE(nullptr, pThreadId);
    EXPECT_EQ(0u, *pThreadId);

    // A stub reached through the export table answers as in the library.
    typedef int (*LogoutFn)(TQuernError*);
    auto pfnLogout = (LogoutFn)Plat_GetProcAddress(hLibrary, "QuernLogout");
    ASSERT_NE(nullptr, pfnLogout);
    TQuernError error = {};
    EXPECT_EQ(0, pfnLogout(&error));
    EXPECT_STREQ("Wrapper not implemented", error.description);
    Plat_FreeLibrary(hLibrary);
}
