// Debugger output: the observer, and where the text goes.
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_env.h"
#include "tests/plinth/dbg_test_support.h"
#include "tests/plinth/platform_test_support.h"

#include <gtest/gtest.h>

#include <string>

TEST(PlatformDebug, ObserverSeesEachTextExactly)
{
    DebugOutputCapture capture;
    Plat_OutputDebugString("Wrapper not implemented:QuernLogin");
    Plat_OutputDebugString("line\n");
    ASSERT_EQ(2u, capture.Calls().size());
    EXPECT_EQ("Wrapper not implemented:QuernLogin", capture.Calls()[0]);
    EXPECT_EQ("line\n", capture.Calls()[1]);
}

#ifdef _WIN32
TEST(PlatformDebug, ExceptionWatcherSeesOutputDebugString)
{
    DebugOutputCapture capture(DebugOutputCapture::EXCEPTION_WATCH);
    ASSERT_TRUE(capture.Active());
    Plat_OutputDebugString("via the exception\n");
    EXPECT_EQ("via the exception\n", capture.Text());
}
#else
TEST(PlatformDebug, OutputGoesToTheNamedFile)
{
    std::string path = TestTempPath(".dbg");
    remove(path.c_str());
    Plat_OutputDebugString("unset: nowhere\n");
    ASSERT_TRUE(Plat_SetEnvironmentVariable("QUERN_DEBUG_OUTPUT", path.c_str()));
    Plat_OutputDebugString("one ");
    Plat_OutputDebugString("two\n");
    Plat_SetEnvironmentVariable("QUERN_DEBUG_OUTPUT", nullptr);
    EXPECT_EQ("one two\n", ReadWholeFile(path));
    remove(path.c_str());
    EXPECT_FALSE(Plat_IsDebuggerPresent());
}
#endif
