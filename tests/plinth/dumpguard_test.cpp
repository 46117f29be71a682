#include "plinth/dumpguard.h"
#include "plinth/minidump.h"
#include "plinth/platform/platform_faultguard.h"
#include "plinth/platform/platform_modules.h"
#include "tests/plinth/minidump_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace
{
int g_nCalls = 0;

__attribute__((noinline)) void Fault(void*)
{
    ++g_nCalls;
    volatile int* volatile pNull = nullptr;
    *pNull = 1;
}

void Throw(void*)
{
    ++g_nCalls;
    throw std::runtime_error("body");
}

void Record(void* pv)
{
    ++g_nCalls;
    *(int*)pv = 5;
}

int SumArgs(int argc, char** argv)
{
    return argc * 10 + (argv ? 1 : 0);
}

CatchAndWriteContext_t PointerContext(void (*pfn)(void*), void** ppv, int nMode)
{
    CatchAndWriteContext_t context;
    context.m_nKind = CatchAndWriteContext_t::KIND_POINTER;
    context.m_pfn = (void*)pfn;
    context.m_pArgc = nullptr;
    context.m_pArgv = nullptr;
    context.m_ppvArg = ppv;
    context.m_nAfterException = nMode;
    return context;
}

} // namespace

TEST(MinidumpGuard, InvokeKinds)
{
    int argc = 3;
    char* args[] = {nullptr};
    char** argv = args;
    CatchAndWriteContext_t context;
    context.m_pfn = (void*)&SumArgs;
    context.m_pArgc = &argc;
    context.m_pArgv = &argv;
    context.m_ppvArg = nullptr;
    context.m_nAfterException = CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW;
    context.m_nKind = CatchAndWriteContext_t::KIND_ARGC_ARGV_INT;
    EXPECT_EQ(31, RunWithDumpOnException(context));
    context.m_nKind = CatchAndWriteContext_t::KIND_ARGC_ARGV;
    EXPECT_EQ(0, RunWithDumpOnException(context));
    context.m_nKind = 9;
    EXPECT_EQ(0, context.Invoke());

    int value = 0;
    void* pv = &value;
    g_nCalls = 0;
    EXPECT_EQ(0, context.Set(&Record, &pv, false));
    EXPECT_EQ(5, value);
    EXPECT_EQ(1, g_nCalls);
    EXPECT_EQ(CatchAndWriteContext_t::AFTER_EXCEPTION_RETHROW, context.m_nAfterException);
}

TEST(MinidumpGuardDeathTest, BogusContextsEndTheProcess)
{
    CatchAndWriteContext_t context = PointerContext(&Record, nullptr, 2);
    EXPECT_EXIT(context.Invoke(), testing::ExitedWithCode(1), "");
    context.m_nKind = CatchAndWriteContext_t::KIND_ARGC_ARGV;
    EXPECT_EXIT(context.Invoke(), testing::ExitedWithCode(1), "");
    void* pv = nullptr;
    EXPECT_EXIT(context.Set(nullptr, &pv, false), testing::ExitedWithCode(1), "");

    std::string out;
    CAPTURE_STDOUT(out, EXPECT_EXIT(
                            {
                                context.m_nKind = CatchAndWriteContext_t::KIND_POINTER;
                                context.m_ppvArg = nullptr;
                                context.Invoke();
                            },
                            testing::ExitedWithCode(1), ""));
}

TEST(MinidumpGuard, SwallowModeReturnsZeroAfterFaultAndDump)
{
    StandInSink sink;
    void* pv = nullptr;
    CatchAndWriteContext_t context =
        PointerContext(&Fault, &pv, CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW);
    g_nCalls = 0;
    EXPECT_EQ(0, RunWithDumpOnException(context));
    EXPECT_EQ(1, g_nCalls);
    EXPECT_FALSE(IsDumpBeingWritten());

    std::vector<std::string> expected = {
        "faultsink.CreateInterface(faultsink002, null) -> sink",
        "faultsink.GetInfoRecord() -> null",
        "faultsink.BeginReport() -> 7",
        "faultsink.DescribeReport(7, host, 1.0, " + std::string(DumpSink_BuildId()) + ", 0, 0, 0)",
        "faultsink.SetExtraValues(0, 0)",
        "faultsink.WriteDump(7, 0xc0000005, pointers)",
        "faultsink.EndReport(7)",
    };
    EXPECT_EQ(expected, sink.Lines());

    // The guard is gone and usable again: a second fault is caught as well.
    EXPECT_EQ(0, RunWithDumpOnException(context));
    EXPECT_EQ(2, sink.Count("faultsink.WriteDump(7, 0xc0000005, pointers)"));
}

TEST(MinidumpGuard, NestedGuardsRecoverInnermostFirst)
{
    StandInSink sink;
    struct Outer
    {
        static void Run(void*)
        {
            void* pv = nullptr;
            CatchAndWriteContext_t inner =
                PointerContext(&Fault, &pv, CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW);
            RunWithDumpOnException(inner);
            ++g_nCalls;
        }
    };
    void* pv = nullptr;
    CatchAndWriteContext_t outer =
        PointerContext(&Outer::Run, &pv, CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW);
    g_nCalls = 0;
    EXPECT_EQ(0, RunWithDumpOnException(outer));
    // The fault call and the outer body's code after the inner guard ran.
    EXPECT_EQ(2, g_nCalls);
    EXPECT_EQ(1, sink.Count("faultsink.WriteDump"));
}

TEST(MinidumpGuard, RethrownFaultReachesTheOuterGuard)
{
    StandInSink sink;
    struct Outer
    {
        static void Run(void*)
        {
            void* pv = nullptr;
            CatchAndWriteContext_t inner =
                PointerContext(&Fault, &pv, CatchAndWriteContext_t::AFTER_EXCEPTION_RETHROW);
            RunWithDumpOnException(inner);
            g_nCalls += 100; // never: the fault left the inner guard
        }
    };
    void* pv = nullptr;
    CatchAndWriteContext_t outer =
        PointerContext(&Outer::Run, &pv, CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW);
    g_nCalls = 0;
    EXPECT_EQ(0, RunWithDumpOnException(outer));
    EXPECT_EQ(1, g_nCalls);
    // Each guard the fault reached wrote its dump.
    EXPECT_EQ(2, sink.Count("faultsink.WriteDump(7, 0xc0000005, pointers)"));
}

#if defined(_WIN32)
namespace
{
// kernel32's pointer probe catches its own access fault: the guard around it
// must not see that fault at all.
__attribute__((noinline)) void ProbeBadPointer(void* pvResult)
{
    typedef int(__stdcall * IsBadReadPtr_t)(const void*, uintptr_t);
    IsBadReadPtr_t pfnProbe =
        (IsBadReadPtr_t)Plat_GetProcAddress(Plat_GetModuleHandleA("kernel32.dll"), "IsBadReadPtr");
    *(int*)pvResult = pfnProbe && pfnProbe((const void*)0x10, 4) ? 1 : -1;
}
} // namespace

TEST(MinidumpGuard, FaultsTheBodyHandlesItselfAreNotDumped)
{
    StandInSink sink;
    for (int nMode : {CatchAndWriteContext_t::AFTER_EXCEPTION_RETHROW,
                      CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW})
    {
        int nResult = 0;
        void* pv = &nResult;
        CatchAndWriteContext_t context = PointerContext(&ProbeBadPointer, &pv, nMode);
        EXPECT_EQ(0, RunWithDumpOnException(context)) << nMode;
        EXPECT_EQ(1, nResult) << nMode;
    }
    EXPECT_EXIT(
        {
            int nResult = 0;
            void* pv = &nResult;
            CatchAndWriteContext_t context = PointerContext(&ProbeBadPointer, &pv, 0);
            RunWithDumpOnException(context);
            _Exit(nResult == 1 ? 5 : 6);
        },
        testing::ExitedWithCode(5), "");
    EXPECT_EQ(0, sink.Count("faultsink.WriteDump"));
}
#endif

TEST(MinidumpGuard, CppExceptionsRethrownOrSwallowed)
{
    StandInSink sink;
    void* pv = nullptr;
    CatchAndWriteContext_t context =
        PointerContext(&Throw, &pv, CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW);
    EXPECT_EQ(0, RunWithDumpOnException(context));
    context.m_nAfterException = CatchAndWriteContext_t::AFTER_EXCEPTION_RETHROW;
    EXPECT_THROW(RunWithDumpOnException(context), std::runtime_error);
    EXPECT_EQ(2, sink.Count("faultsink.WriteDump(7, 0xe06d7363, null)"));
}

TEST(MinidumpGuardDeathTest, RethrowModeLetsTheFaultContinue)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    StandInSink sink;
    EXPECT_EXIT(
        {
            Plat_ExitOnUnhandledFault(42);
            void* pv = nullptr;
            CatchAndWriteContext_t context = PointerContext(&Fault, &pv, 0);
            context.Set(&Fault, &pv, false);
            printf("returned\n");
        },
        testing::ExitedWithCode(42), "");
    EXPECT_EQ(1, sink.Count("faultsink.WriteDump(7, 0xc0000005, pointers)"));
}

TEST(MinidumpGuardDeathTest, OtherModesEndTheProcessAfterTheDump)
{
    StandInSink sink;
    EXPECT_EXIT(
        {
            void* pv = nullptr;
            CatchAndWriteContext_t context = PointerContext(&Fault, &pv, 0);
            context.Set(&Fault, &pv, true);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(1, sink.Count("faultsink.WriteDump(7, 0xc0000005, pointers)"));
}
