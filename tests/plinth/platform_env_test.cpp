// Environment variables and the current directory.
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(PlatformEnv, GetEnvironmentVariableSizes)
{
    ASSERT_TRUE(Plat_SetEnvironmentVariable("QUERN_PLAT_TEST", "abc"));
    char buf[8];
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(4u, Plat_GetEnvironmentVariable("QUERN_PLAT_TEST", buf, 3));
    EXPECT_EQ('x', buf[0]);
    EXPECT_EQ(3u, Plat_GetEnvironmentVariable("QUERN_PLAT_TEST", buf, 4));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(4u, Plat_GetEnvironmentVariable("QUERN_PLAT_TEST", nullptr, 0));
    ASSERT_TRUE(Plat_SetEnvironmentVariable("QUERN_PLAT_TEST", nullptr));
    EXPECT_EQ(0u, Plat_GetEnvironmentVariable("QUERN_PLAT_TEST", buf, sizeof(buf)));
}

TEST(PlatformEnv, CurrentDirectoryRoundTrip)
{
    char szOld[4096];
    uint32_t len = Plat_GetCurrentDirectory(szOld, sizeof(szOld));
    ASSERT_GT(len, 0u);
    EXPECT_EQ(strlen(szOld), (size_t)len);
    EXPECT_EQ(len + 1, Plat_GetCurrentDirectory(szOld, len));
    std::string temp = testing::TempDir();
    ASSERT_TRUE(Plat_SetCurrentDirectory(temp.c_str()));
    char szNow[4096];
    ASSERT_GT(Plat_GetCurrentDirectory(szNow, sizeof(szNow)), 0u);
    EXPECT_TRUE(Plat_PathExists(szNow));
    EXPECT_TRUE(Plat_SetCurrentDirectory(szOld));
    EXPECT_FALSE(Plat_SetCurrentDirectory("\xff\xfe"));
}
