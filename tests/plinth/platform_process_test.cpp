// Process queries, starting and terminating.
#include "plinth/platform/platform_process.h"

#include <gtest/gtest.h>

#include <string>

TEST(PlatformProcess, QueryAndStart)
{
    PlatProcess hSelf = Plat_OpenProcessForQuery(Plat_GetCurrentProcessId());
    ASSERT_NE(nullptr, hSelf);
    uint32_t code = 0;
    EXPECT_TRUE(Plat_GetExitCodeProcess(hSelf, &code));
    EXPECT_EQ((uint32_t)PLAT_STILL_ACTIVE, code);
    Plat_CloseProcess(hSelf);
    EXPECT_EQ(nullptr, Plat_OpenProcessForQuery(0));
    EXPECT_FALSE(Plat_GetExitCodeProcess(nullptr, &code));
    // Only a 32-bit process on a 64-bit system runs under the emulation layer.
    if (sizeof(void*) == 8)
    {
        EXPECT_FALSE(Plat_IsWow64Process());
    }

    std::string missing = testing::TempDir() + "quern_no_such_program.exe";
    EXPECT_FALSE(Plat_PathExists(missing.c_str()));
    EXPECT_LE(Plat_ShellExecute(missing.c_str(), "-applaunch 1 x"), 32);
}

TEST(PlatformProcessDeathTest, TerminateUsesTheExitCodeAndSkipsExitHandlers)
{
    EXPECT_EXIT(
        {
            atexit([] { _Exit(9); });
            Plat_TerminateCurrentProcess(5);
        },
        testing::ExitedWithCode(5), "");
}
