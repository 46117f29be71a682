#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_env.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
bool Has(std::initializer_list<const char*> args, const char* pszName)
{
    std::vector<const char*> argv(args);
    return CommandLineArgsHaveSwitch((int)argv.size(), argv.data(), pszName);
}
} // namespace

TEST(DbgSwitch, MatchingRules)
{
    EXPECT_TRUE(Has({"game.exe", "-noassert"}, "-noassert"));
    EXPECT_TRUE(Has({"game.exe", "-NOASSERT"}, "-noassert"));
    EXPECT_TRUE(Has({"game.exe", "-noassert=1"}, "-noassert"));
    EXPECT_FALSE(Has({"game.exe", "-noasserts"}, "-noassert"));
    EXPECT_FALSE(Has({"game.exe", "-noass"}, "-noassert"));
    // A name that ends in '=' matches any value.
    EXPECT_TRUE(Has({"game.exe", "-heap=64"}, "-heap="));
    EXPECT_FALSE(Has({"game.exe", "-heap"}, "-heap="));
    // The program name is not an argument; later arguments are all tried.
    EXPECT_FALSE(Has({"-noassert"}, "-noassert"));
    EXPECT_TRUE(Has({"game.exe", "-debugbreakx", "-x", "-debugbreak"}, "-debugbreak"));
    EXPECT_FALSE(Has({"game.exe", "-noassert"}, ""));
    EXPECT_FALSE(Has({"game.exe", "-noassert"}, nullptr));
}

TEST(DbgSwitch, ProcessCommandLine)
{
    EXPECT_FALSE(HasCommandLineSwitch(nullptr));
    EXPECT_FALSE(HasCommandLineSwitch(""));
    EXPECT_FALSE(HasCommandLineSwitch("-quern-never-given"));

    PlatCommandLineArgs* pArgs = Plat_ParseCommandLineArgs();
    ASSERT_NE(nullptr, pArgs);
    ASSERT_GE(pArgs->m_nArgs, 1);
    EXPECT_NE(std::string::npos, std::string(pArgs->m_ppArgs[0]).find("plinth_tests"));
    EXPECT_EQ(nullptr, pArgs->m_ppArgs[pArgs->m_nArgs]);
    // Whatever the test runner was given is seen as a switch.
    for (int i = 1; i < pArgs->m_nArgs; ++i)
    {
        if (pArgs->m_ppArgs[i][0] == '-')
        {
            EXPECT_TRUE(HasCommandLineSwitch(pArgs->m_ppArgs[i])) << pArgs->m_ppArgs[i];
        }
    }
    Plat_FreeCommandLineArgs(pArgs);
    EXPECT_NE(std::string::npos, std::string(Plat_GetCommandLine()).find("plinth_tests"));
}

class DbgIgnoreList : public testing::Test
{
protected:
    void SetUp() override { AssertIgnoreList_Clear(); }
    void TearDown() override { AssertIgnoreList_Clear(); }
};

TEST_F(DbgIgnoreList, CountedEntrySuppressesThenRunsOut)
{
    AssertIgnoreList_Add("a.cpp", 10, 10, 3);
    EXPECT_FALSE(AssertIgnoreList_ShouldShow("a.cpp", 10));
    EXPECT_FALSE(AssertIgnoreList_ShouldShow("A.CPP", 10));
    EXPECT_EQ(1, AssertIgnoreList_Count());
    EXPECT_TRUE(AssertIgnoreList_ShouldShow("a.cpp", 10));
    EXPECT_EQ(0, AssertIgnoreList_Count());
    EXPECT_TRUE(AssertIgnoreList_ShouldShow("a.cpp", 10));
}

TEST_F(DbgIgnoreList, RangesFilesAndForEver)
{
    AssertIgnoreList_Add("b.cpp", 5, 8, -1);
    AssertIgnoreList_Add("whole.cpp", -1, -1, -1);
    EXPECT_TRUE(AssertIgnoreList_ShouldShow("b.cpp", 4));
    EXPECT_FALSE(AssertIgnoreList_ShouldShow("b.cpp", 5));
    EXPECT_FALSE(AssertIgnoreList_ShouldShow("b.cpp", 8));
    EXPECT_TRUE(AssertIgnoreList_ShouldShow("b.cpp", 9));
    EXPECT_TRUE(AssertIgnoreList_ShouldShow("c.cpp", 6));
    EXPECT_FALSE(AssertIgnoreList_ShouldShow("WHOLE.cpp", 123456));
    EXPECT_EQ(2, AssertIgnoreList_Count());
}

TEST_F(DbgIgnoreList, UsedUpEntryIsDroppedAndTheWalkGoesOn)
{
    AssertIgnoreList_Add("d.cpp", -1, -1, -1);
    AssertIgnoreList_Add("d.cpp", 3, 3, 1); // at the head, used up on its first match
    EXPECT_FALSE(AssertIgnoreList_ShouldShow("d.cpp", 3));
    EXPECT_EQ(1, AssertIgnoreList_Count());
}

TEST_F(DbgIgnoreList, IgnoreForACountHidesExactlyThatManyHits)
{
    for (uint32_t n : {1u, 2u, 5u})
    {
        ASSERT_TRUE(AssertIgnoreList_AddForCount("e.cpp", 7, n));
        for (uint32_t i = 0; i < n; ++i)
            EXPECT_FALSE(AssertIgnoreList_ShouldShow("e.cpp", 7)) << n << " hit " << i;
        EXPECT_TRUE(AssertIgnoreList_ShouldShow("e.cpp", 7)) << n;
        EXPECT_EQ(0, AssertIgnoreList_Count());
    }
    EXPECT_FALSE(AssertIgnoreList_AddForCount("e.cpp", 7, 0));
    EXPECT_FALSE(AssertIgnoreList_AddForCount("e.cpp", 7, 0x80000000u));
    EXPECT_EQ(0, AssertIgnoreList_Count());
}

namespace
{
// Runs ShouldBreakOnAssert on this (the main) thread with the given arguments.
bool BreaksWith(std::vector<const char*> args)
{
    args.insert(args.begin(), "game.exe");
    args.push_back(nullptr);
    PlatCommandLineArgs fake = {(int)args.size() - 1, const_cast<char**>(args.data())};
    PlatCommandLineArgs* pOld = SwapCommandLineArgs(&fake);
    bool bBreak = ShouldBreakOnAssert("s.cpp", 1, "x");
    SwapCommandLineArgs(pOld);
    return bBreak;
}
} // namespace

TEST(DbgSwitch, NoAssertSwitchesWinOverDebugBreak)
{
    ASSERT_TRUE(IsMainThread());
    EXPECT_TRUE(BreaksWith({"-debugbreak"}));
    EXPECT_TRUE(BreaksWith({"-DEBUGBREAK=1"}));
    EXPECT_FALSE(BreaksWith({"-debugbreak", "-noassert"}));
    EXPECT_FALSE(BreaksWith({"-NoCrashDialog", "-debugbreak"}));
    EXPECT_FALSE(BreaksWith({"-noassert=0", "-debugbreak"}));
    // Suppressed by the ignore list before any dialog could be shown.
    AssertIgnoreList_Clear();
    AssertIgnoreList_Add("S.CPP", -1, -1, -1);
    EXPECT_FALSE(BreaksWith({"-debugbreakx"}));
    AssertIgnoreList_Clear();
}
