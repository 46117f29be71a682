// The executable's name and module lookups.
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(PlatformModules, ExecutableNameAndLookups)
{
    char szExe[4096];
    uint32_t len = Plat_GetModuleFileNameUtf8(nullptr, szExe, sizeof(szExe));
    ASSERT_GT(len, 0u);
    EXPECT_NE(nullptr, strstr(szExe, "plinth_tests"));
    EXPECT_TRUE(Plat_PathExists(szExe));

    // Cut to the buffer, terminated, reporting the buffer size.
    char16_t wide[5];
    EXPECT_EQ(5u, Plat_GetModuleFileNameW(nullptr, wide, 5));
    EXPECT_EQ(0, wide[4]);
    EXPECT_EQ((char16_t)szExe[0], wide[0]);

    EXPECT_NE(nullptr, Plat_GetModuleHandleW(nullptr));
    EXPECT_EQ(nullptr, Plat_GetModuleHandleA("quern_no_such_module.dll"));
    EXPECT_EQ(nullptr, Plat_LoadLibraryW("\xff.dll"));
    EXPECT_EQ(nullptr, Plat_LoadLibraryExA("quern_no_such_module.dll", true));
    EXPECT_FALSE(Plat_FreeLibrary(nullptr));

#ifdef _WIN32
    const char* pszSystem = "kernel32.dll";
    const char* pszExport = "GetTickCount";
#else
    const char* pszSystem = "libc.so.6";
    const char* pszExport = "getpid";
#endif
    PlatModule hModule = Plat_LoadLibraryA(pszSystem);
    ASSERT_NE(nullptr, hModule);
    EXPECT_NE(nullptr, Plat_GetProcAddress(hModule, pszExport));
    EXPECT_EQ(nullptr, Plat_GetProcAddress(hModule, "QuernNoSuchExport"));
    EXPECT_NE(nullptr, Plat_GetModuleHandleA(pszSystem));
    char szName[4096];
    EXPECT_GT(Plat_GetModuleFileNameUtf8(hModule, szName, sizeof(szName)), 0u);
    EXPECT_TRUE(Plat_FreeLibrary(hModule));
}
