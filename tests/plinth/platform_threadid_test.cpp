// Thread ids, thread-local slots and critical sections.
#include "plinth/platform/platform_threadid.h"

#include <gtest/gtest.h>

#include <thread>

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
