// The lock-free stack and queue. Both change {pointer, word} pairs with one
// double-width compare-and-exchange: cmpxchg8b on 32-bit builds, cmpxchg16b on
// 64-bit builds, where the pair is 16 bytes.
#include "plinth/threadtools.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_debug.h"

#include <cstring>

namespace
{
#if UINTPTR_MAX > 0xFFFFFFFFu
typedef unsigned __int128 Pair_t;

// Reads the pair without a locked instruction. Every exchange of a pair
// changes its second word (the list's depth/sequence word, the queue's
// counter), so a pointer read between two equal reads of that word belongs
// to it.
inline Pair_t LoadPair(const void* p)
{
    const uint64_t* pWords = (const uint64_t*)p;
    for (;;)
    {
        uint64_t hi = __atomic_load_n(&pWords[1], __ATOMIC_ACQUIRE);
        uint64_t lo = __atomic_load_n(&pWords[0], __ATOMIC_ACQUIRE);
        if (__atomic_load_n(&pWords[1], __ATOMIC_ACQUIRE) == hi) return ((Pair_t)hi << 64) | lo;
    }
}

__attribute__((target("cx16"))) inline bool CasPair(void* p, Pair_t& expected, Pair_t desired)
{
    Pair_t old = __sync_val_compare_and_swap((Pair_t*)p, expected, desired);
    bool bSwapped = old == expected;
    expected = old;
    return bSwapped;
}
#else
typedef uint64_t Pair_t;

inline Pair_t LoadPair(const void* p)
{
    return __atomic_load_n((const uint64_t*)p, __ATOMIC_ACQUIRE);
}

inline bool CasPair(void* p, Pair_t& expected, Pair_t desired)
{
    return __atomic_compare_exchange_n((uint64_t*)p, &expected, desired, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_ACQUIRE);
}
#endif

static_assert(sizeof(TSLHead_t) == sizeof(Pair_t), "list head is one exchange unit");
static_assert(sizeof(LFQEnd_t) == sizeof(Pair_t), "queue ends are one exchange unit");

template <class T> inline T FromPair(Pair_t n)
{
    T value;
    memcpy(&value, &n, sizeof(value));
    return value;
}

template <class T> inline Pair_t ToPair(const T& value)
{
    Pair_t n;
    memcpy(&n, &value, sizeof(n));
    return n;
}

inline TSLHead_t MakeHead(TSLNodeBase_t* pNext, uint32_t nDepthSequence)
{
    TSLHead_t head;
    memset(&head, 0, sizeof(head));
    head.Next = pNext;
    head.DepthSequence = nDepthSequence;
    return head;
}

inline LFQEnd_t MakeEnd(LFQNode_t* pNode, uintptr_t nCounter)
{
    LFQEnd_t end;
    end.pNode = pNode;
    end.nCounter = nCounter;
    return end;
}

template <class P> inline P LoadNext(P const volatile* ppNext)
{
    return __atomic_load_n(const_cast<P*>(ppNext), __ATOMIC_ACQUIRE);
}

template <class P> inline void StoreNext(P volatile* ppNext, P pValue)
{
    __atomic_store_n(const_cast<P*>(ppNext), pValue, __ATOMIC_RELEASE);
}

// The next pointer of the top node is read before the exchange that decides
// whether the pop wins. By then another thread may have popped the node and
// be writing its own data over it; the exchange then fails and the value is
// dropped. The thread sanitizer cannot see that, so the read is hidden from it.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TSL_HIDE_SPECULATIVE_READ 1
#endif
#endif
#if defined(TSL_HIDE_SPECULATIVE_READ)
__attribute__((no_sanitize("thread"))) inline TSLNodeBase_t*
LoadNextSpeculative(TSLNodeBase_t* const volatile* ppNext)
{
    return *ppNext;
}
#else
inline TSLNodeBase_t* LoadNextSpeculative(TSLNodeBase_t* const volatile* ppNext)
{
    return LoadNext(ppNext);
}
#endif

bool CheckAligned(const void* pHead)
{
    if (((uintptr_t)pHead % TSL_HEAD_ALIGN) == 0) return true;
    SpewError("CTSListBase: Misaligned list\n");
    Plat_DebugBreak();
    return false;
}
} // namespace

//-----------------------------------------------------------------------------
// CTSListBase
//-----------------------------------------------------------------------------
CTSListBase::CTSListBase()
{
    Init();
}

void CTSListBase::Init()
{
    if (!CheckAligned(&m_Head)) return;
    TSLHead_t empty = MakeHead(nullptr, 0);
    Pair_t expected = LoadPair(&m_Head);
    while (!CasPair(&m_Head, expected, ToPair(empty)))
    {
    }
}

void CTSListBase::Push(TSLNodeBase_t* pNode)
{
    Pair_t oldPair = LoadPair(&m_Head);
    for (;;)
    {
        TSLHead_t oldHead = FromPair<TSLHead_t>(oldPair);
        StoreNext(&pNode->Next, oldHead.Next);
        // Depth + 1 in the low half, sequence + 1 in the high half.
        TSLHead_t newHead = MakeHead(pNode, oldHead.DepthSequence + 0x10001u);
        if (CasPair(&m_Head, oldPair, ToPair(newHead))) return;
    }
}

TSLNodeBase_t* CTSListBase::Pop()
{
    Pair_t oldPair = LoadPair(&m_Head);
    for (;;)
    {
        TSLHead_t oldHead = FromPair<TSLHead_t>(oldPair);
        if (!oldHead.Next) return nullptr;
        TSLNodeBase_t* pNext = LoadNextSpeculative(&oldHead.Next->Next);
        TSLHead_t newHead = MakeHead(pNext, oldHead.DepthSequence - 1u);
        if (CasPair(&m_Head, oldPair, ToPair(newHead))) return oldHead.Next;
    }
}

TSLNodeBase_t* CTSListBase::Detach()
{
    Pair_t oldPair = LoadPair(&m_Head);
    for (;;)
    {
        TSLHead_t oldHead = FromPair<TSLHead_t>(oldPair);
        if (!oldHead.Next) return nullptr;
        TSLHead_t newHead = MakeHead(nullptr, (oldHead.DepthSequence & 0xFFFF0000u) + 0x10000u);
        if (CasPair(&m_Head, oldPair, ToPair(newHead))) return oldHead.Next;
    }
}

uint32_t CTSListBase::Count() const
{
    return GetHead().DepthSequence & 0xFFFFu;
}

TSLHead_t CTSListBase::GetHead() const
{
    return FromPair<TSLHead_t>(LoadPair(&m_Head));
}

//-----------------------------------------------------------------------------
// LockFreeQueue
//-----------------------------------------------------------------------------
LockFreeQueue::LockFreeQueue()
{
    m_Head = MakeEnd(nullptr, 0);
    m_Tail = MakeEnd(nullptr, 0);
}

void LockFreeQueue::Init(LFQNode_t* pDummy)
{
    if (!CheckAligned(&m_Head)) return;
    StoreNext(&pDummy->Next, EndMarker());
    Pair_t expected = LoadPair(&m_Head);
    while (!CasPair(&m_Head, expected, ToPair(MakeEnd(pDummy, 0))))
    {
    }
    expected = LoadPair(&m_Tail);
    while (!CasPair(&m_Tail, expected, ToPair(MakeEnd(pDummy, 0))))
    {
    }
}

bool LockFreeQueue::IsEmpty() const
{
    LFQEnd_t head = FromPair<LFQEnd_t>(LoadPair(&m_Head));
    return !head.pNode || LoadNext(&head.pNode->Next) == (const LFQNode_t*)&m_Tail;
}

void LockFreeQueue::Enqueue(LFQNode_t* pNode)
{
    LFQNode_t* pEnd = EndMarker();
    StoreNext(&pNode->Next, pEnd);
    for (;;)
    {
        Pair_t tailPair = LoadPair(&m_Tail);
        LFQEnd_t tail = FromPair<LFQEnd_t>(tailPair);
        LFQNode_t* pNext = LoadNext(&tail.pNode->Next);
        if (tailPair != LoadPair(&m_Tail)) continue;
        if (pNext == pEnd)
        {
            LFQNode_t* pExpected = pEnd;
            if (__atomic_compare_exchange_n(const_cast<LFQNode_t**>(&tail.pNode->Next), &pExpected,
                                            pNode, false, __ATOMIC_SEQ_CST, __ATOMIC_ACQUIRE))
            {
                // Swing the tail to the new node; a helper may have done it.
                CasPair(&m_Tail, tailPair, ToPair(MakeEnd(pNode, tail.nCounter + 1)));
                return;
            }
        }
        else
        {
            // The tail lags behind: move it on before trying again.
            CasPair(&m_Tail, tailPair, ToPair(MakeEnd(pNext, tail.nCounter + 1)));
        }
    }
}

LFQNode_t* LockFreeQueue::Dequeue(void* pBuffer, size_t nElementSize)
{
    LFQNode_t* pEnd = EndMarker();
    size_t nWords = (nElementSize + 3) / 4;
    unsigned char* pOut = (unsigned char*)pBuffer;

    LFQNode_t* pOldHead = nullptr;
    for (;;)
    {
        Pair_t headPair = LoadPair(&m_Head);
        LFQEnd_t head = FromPair<LFQEnd_t>(headPair);
        Pair_t tailPair = LoadPair(&m_Tail);
        LFQEnd_t tail = FromPair<LFQEnd_t>(tailPair);
        LFQNode_t* pNext = LoadNext(&head.pNode->Next);

        if (LoadPair(&m_Head) != headPair) continue;
        if (pNext == pEnd) break; // empty
        if (head.pNode == tail.pNode)
        {
            CasPair(&m_Tail, tailPair, ToPair(MakeEnd(pNext, tail.nCounter + 1)));
            continue;
        }

        // The node may be recycled under us; the head exchange below then
        // fails and the copy is thrown away. Word-sized atomic reads keep a
        // concurrent refill from tearing a word.
        // The last word is cut to the element's size so the caller's buffer
        // is never overrun.
        const uint32_t* pWordsIn = (const uint32_t*)LockFreeQueue::ElementOf(pNext);
        for (size_t i = 0; i < nWords; ++i)
        {
            uint32_t word = __atomic_load_n(&pWordsIn[i], __ATOMIC_RELAXED);
            size_t nBytes = nElementSize - i * 4 < 4 ? nElementSize - i * 4 : 4;
            memcpy(pOut + i * 4, &word, nBytes);
        }

        if (CasPair(&m_Head, headPair, ToPair(MakeEnd(pNext, head.nCounter + 1))))
        {
            pOldHead = head.pNode;
            break;
        }
    }

    if (pOldHead) m_FreeNodes.Push((TSLNodeBase_t*)pOldHead);
    return pOldHead;
}

void LockFreeQueue::StoreElement(LFQNode_t* pNode, const void* pElement, size_t nElementSize)
{
    uint32_t* pWords = (uint32_t*)ElementOf(pNode);
    const unsigned char* pBytes = (const unsigned char*)pElement;
    size_t nWhole = nElementSize / 4;
    for (size_t i = 0; i < nWhole; ++i)
    {
        uint32_t word;
        memcpy(&word, pBytes + i * 4, 4);
        __atomic_store_n(&pWords[i], word, __ATOMIC_RELAXED);
    }
    size_t nRest = nElementSize % 4;
    if (nRest)
    {
        uint32_t word = 0;
        memcpy(&word, pBytes + nWhole * 4, nRest);
        __atomic_store_n(&pWords[nWhole], word, __ATOMIC_RELAXED);
    }
}
