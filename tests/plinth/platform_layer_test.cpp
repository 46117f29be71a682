#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_env_unicode.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_threadid.h"
#include "tests/plinth/dbg_test_support.h"
#include "tests/plinth/platform_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

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

TEST(PlatformUnicode, StrictConversion)
{
    char16_t wide[8];
    EXPECT_EQ(3, Plat_Utf8ToUtf16("\xF0\x9F\x98\x80", wide, 8)); // one pair + terminator
    EXPECT_EQ(0xD83D, wide[0]);
    EXPECT_EQ(0xDE00, wide[1]);
    char back[8];
    EXPECT_EQ(5, Plat_Utf16ToUtf8(wide, back, 8));
    EXPECT_STREQ("\xF0\x9F\x98\x80", back);
    EXPECT_EQ(0, Plat_Utf8ToUtf16("\xC0\x80", wide, 8));     // overlong
    EXPECT_EQ(0, Plat_Utf8ToUtf16("\xED\xA0\x80", wide, 8)); // encoded surrogate
    EXPECT_EQ(0, Plat_Utf8ToUtf16("abc", wide, 3));          // no room for the terminator
    const char16_t lone[] = {0xDC00, 0};
    EXPECT_EQ(0, Plat_Utf16ToUtf8(lone, back, 8));
}

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
    EXPECT_FALSE(Plat_IsWow64Process());

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

TEST(PlatformThreadId, IdsAndSlots)
{
    uint32_t mainId = Plat_GetCurrentThreadId();
    EXPECT_NE(0u, mainId);
    uint32_t slot = Plat_TlsAlloc();
    ASSERT_NE((uint32_t)PLAT_TLS_OUT_OF_INDEXES, slot);
    int marker = 0;
    EXPECT_TRUE(Plat_TlsSetValue(slot, &marker));
    uint32_t otherId = 0;
    void* pOther = &marker;
    std::thread worker(
        [&]
        {
            otherId = Plat_GetCurrentThreadId();
            pOther = Plat_TlsGetValue(slot);
        });
    worker.join();
    EXPECT_NE(0u, otherId);
    EXPECT_NE(mainId, otherId);
    EXPECT_EQ(nullptr, pOther);
    EXPECT_EQ(&marker, Plat_TlsGetValue(slot));
    EXPECT_TRUE(Plat_TlsFree(slot));
}

TEST(PlatformThreadIdConcurrency, CriticalSectionIsRecursiveAndExclusive)
{
    PlatCriticalSection cs;
    ASSERT_TRUE(Plat_InitializeCriticalSection(&cs, 4000));
    Plat_EnterCriticalSection(&cs);
    EXPECT_TRUE(Plat_TryEnterCriticalSection(&cs));
    bool bOtherGot = true;
    std::thread worker([&] { bOtherGot = Plat_TryEnterCriticalSection(&cs); });
    worker.join();
    EXPECT_FALSE(bOtherGot);
    Plat_LeaveCriticalSection(&cs);
    Plat_LeaveCriticalSection(&cs);
    std::thread after(
        [&]
        {
            bOtherGot = Plat_TryEnterCriticalSection(&cs);
            if (bOtherGot) Plat_LeaveCriticalSection(&cs);
        });
    after.join();
    EXPECT_TRUE(bOtherGot);
    Plat_DeleteCriticalSection(&cs);
}

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
