#include "plinth/memstd_heap.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_registry.h"
#include "tests/plinth/dbg_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

TEST(MemStdHeapSelection, SwitchesAreFoundInAnyCase)
{
    ProcessHeapSelection_t s = ProcessHeapSelection_Decide("game.exe -processheap", false, false);
    EXPECT_TRUE(s.m_bProcessHeap);
    EXPECT_FALSE(s.m_bZeroMemory);

    s = ProcessHeapSelection_Decide("game.exe -ProcessHeapZeroMem -reservelowmem", false, false);
    EXPECT_TRUE(s.m_bProcessHeap);
    EXPECT_TRUE(s.m_bZeroMemory);
    EXPECT_TRUE(s.m_bReserveLowMem);

    s = ProcessHeapSelection_Decide("game.exe", false, false);
    EXPECT_FALSE(s.m_bProcessHeap);
    // PageHeap or heap tracing select it unless told not to.
    EXPECT_TRUE(ProcessHeapSelection_Decide("game.exe", true, false).m_bProcessHeap);
    EXPECT_TRUE(ProcessHeapSelection_Decide("game.exe", false, true).m_bProcessHeap);
    EXPECT_FALSE(ProcessHeapSelection_Decide("game.exe -noprocessheap", true, true).m_bProcessHeap);
    EXPECT_FALSE(ProcessHeapSelection_Decide(nullptr, false, false).m_bProcessHeap);

    // Only the first 511 characters are looked at.
    std::string longLine = "game.exe " + std::string(502, 'x') + " -PROCESSHEAP";
    EXPECT_FALSE(ProcessHeapSelection_Decide(longLine.c_str(), false, false).m_bProcessHeap);
}

class MemStdHeapProbe : public testing::Test
{
protected:
    void SetUp() override
    {
#if !defined(_WIN32)
        m_file = TestTempPath("_registry.txt");
        std::remove(m_file.c_str());
        Plat_SetEnvironmentVariable("QUERN_REGISTRY", m_file.c_str());
#endif
    }
    void TearDown() override
    {
        PlatRegKey hRoot = Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE);
        Plat_RegDeleteKey(hRoot, Key("quernprobe_a.exe").c_str(), 0);
        Plat_RegDeleteKey(hRoot, Key("quernprobe_b.exe").c_str(), 0);
#if !defined(_WIN32)
        Plat_SetEnvironmentVariable("QUERN_REGISTRY", nullptr);
        std::remove(m_file.c_str());
#endif
    }
    static std::string Key(const char* pszExe)
    {
        return std::string("Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File "
                           "Execution Options\\") +
               pszExe;
    }
    void Write(const char* pszExe, const char* pszValue)
    {
        PlatRegKey hKey = nullptr;
        ASSERT_EQ(0, Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE),
                                       Key(pszExe).c_str(), 0, &hKey));
        ASSERT_EQ(0, Plat_RegSetValueDword(hKey, pszValue, 1));
        Plat_RegCloseKey(hKey);
    }
    std::string m_file;
};

TEST_F(MemStdHeapProbe, PageHeapNeedsBothValues)
{
    Write("quernprobe_a.exe", "PageHeapFlags");
    Write("quernprobe_b.exe", "PageHeapFlags");
    Write("quernprobe_b.exe", "StackTraceDatabaseSizeInMB");
    Write("quernprobe_b.exe", "TracingFlags");

    bool bPageHeap = true, bTracing = true;
    ProcessHeapSelection_Probe("C:\\games\\quernprobe_a.exe", &bPageHeap, &bTracing);
    EXPECT_FALSE(bPageHeap);
    EXPECT_FALSE(bTracing);
    ProcessHeapSelection_Probe("C:\\games\\quernprobe_b.exe", &bPageHeap, &bTracing);
    EXPECT_TRUE(bPageHeap);
    EXPECT_TRUE(bTracing);
    ProcessHeapSelection_Probe("C:\\games\\absent.exe", &bPageHeap, &bTracing);
    EXPECT_FALSE(bPageHeap);
}

TEST(MemStdHeapAlloc, AlignedBlocksWithDistanceByte)
{
    CHeapMemAlloc alloc(true, false);
    EXPECT_EQ(nullptr, alloc.Allocate(0));
    EXPECT_TRUE(alloc.IsVirtualHeapOn());
    EXPECT_EQ(-2, alloc.CheckHeap());

    unsigned char* p = (unsigned char*)alloc.Allocate(100);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0u, (uintptr_t)p % 16);
    EXPECT_GE(p[-1], 1);
    EXPECT_LE(p[-1], 16);
    // Zero-filled blocks were asked for.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(0, p[i]);
#if defined(_WIN32)
    EXPECT_EQ(100u, alloc.BlockSize(p));
#else
    EXPECT_GE(alloc.BlockSize(p), 100u);
#endif
    EXPECT_EQ(1u, alloc.LiveBlocks());
    EXPECT_EQ(4096u, alloc.PageRoundedBytes());
    memset(p, 0x7E, 100);
    unsigned char* q = (unsigned char*)alloc.Reallocate(p, 5000);
    EXPECT_EQ(0u, (uintptr_t)q % 16);
    EXPECT_EQ(0x7E, q[99]);
    EXPECT_EQ(1u, alloc.LiveBlocks());
    EXPECT_EQ(2u, alloc.LifetimeBlocks());
    EXPECT_EQ(nullptr, alloc.Reallocate(q, 0));
    EXPECT_EQ(0u, alloc.LiveBlocks());
    EXPECT_EQ(0u, alloc.Bytes());

    const char* pszFile = "x";
    int nLine = 5;
    alloc.GetCurrentSourceTag(&pszFile, &nLine);
    EXPECT_STREQ("", pszFile);
    EXPECT_EQ(0, nLine);
}

TEST(MemStdHeapAlloc, MemorySummaryWithDeltas)
{
    CHeapMemAlloc alloc(false, false);
    void* blocks[3];
    for (void*& p : blocks)
        p = alloc.Allocate(1024 * 1024);
    std::string out;
    CAPTURE_STDOUT(out, alloc.DumpStatsToFile(nullptr));
    EXPECT_EQ("Sorry -- no stats saved to file memstats.txt when the heap allocator is enabled.\n"
              "3 MB allocated.\n"
              "3 MB memory used assuming maximum PageHeap overhead.\n"
              "3 MB address space used assuming maximum PageHeap overhead.\n"
              "3 outstanding allocations (3 delta).\n"
              "3 lifetime allocations (3 delta).\n",
              out);
    alloc.Release(blocks[0]);
    alloc.Release(blocks[1]);
    CAPTURE_STDOUT(out, alloc.DumpStatsToFile(nullptr));
    EXPECT_NE(std::string::npos, out.find("1 outstanding allocations (-2 delta).\n"));
    EXPECT_NE(std::string::npos, out.find("3 lifetime allocations (0 delta).\n"));
    alloc.Release(blocks[2]);
}

TEST(MemStdHeapAlloc, LowFragmentationHeapMessages)
{
    std::string out;
    bool bResult = false;
    CAPTURE_STDOUT(out, bResult = MemAlloc_EnableLowFragmentationHeap(Plat_GetCrtHeap(), false));
    char szHeap[64];
    snprintf(szHeap, sizeof(szHeap), "%p", (void*)Plat_GetCrtHeap());
    if (bResult)
    {
        EXPECT_EQ("The low-fragmentation heap has been enabled for heap " + std::string(szHeap) +
                      ".\n",
                  out);
    }
    else
    {
        // Hosts that refuse it explain what the heap is instead.
        EXPECT_EQ(0u, out.find("Failed to enable the low-fragmentation heap on " +
                               std::string(szHeap) + " with LastError "));
        EXPECT_NE(std::string::npos,
                  out.find("HeapCompatibilityInformation for " + std::string(szHeap) + " is "));
    }
}

TEST(MemStdHeapAllocDeathTest, RefusedRequestEndsTheProcessWithCode1)
{
    // A size that wraps with the alignment slack; on Windows also one the
    // process heap refuses.
    std::vector<size_t> sizes = {SIZE_MAX - 4};
#if defined(_WIN32)
    sizes.push_back(SIZE_MAX / 4);
#endif
    for (size_t nSize : sizes)
    {
        EXPECT_EXIT(
            {
                CHeapMemAlloc alloc(false, false);
                alloc.Allocate(nSize);
                _Exit(4);
            },
            testing::ExitedWithCode(1), "")
            << nSize;
    }
}
