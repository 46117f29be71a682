// The process-wide pool of key names.
#include "trestle/keyvalues_system.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "plinth/platform/platform_debug.h"
#include "trestle/strtools.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"

#include <climits>
#include <cstring>
#include <new>

#define KVSYSTEM_SOURCE "keyvaluessystem"
#define KVSYSTEM_ALLOC_SOURCE "..\\trestle\\keyvaluessystem"

CKeyValuesSystem::CKeyValuesSystem()
    : m_nPages(0), m_nUsed(0), m_EntryPool(sizeof(HashItem_t), 256, CMemoryPool::GROW_INCREASING),
      m_ExprSymbols(ExprLess), m_Leaks(LeakLess), m_nMaxNodeSize(16)
{
    CWriteLockT<SpinRWLock> lock(m_Lock);
    for (int i = 0; i < KEYVALUES_POOL_MAX_PAGES; ++i)
        m_Pages[i] = nullptr;
    for (int i = 0; i < k_nBuckets; ++i)
    {
        m_Buckets[i].m_nHash.store(0, std::memory_order_relaxed);
        m_Buckets[i].m_nSymbol.store(0, std::memory_order_relaxed);
        m_Buckets[i].m_pNext.store(nullptr, std::memory_order_relaxed);
    }
    // The empty name is symbol 0.
    AddStringToPool("", 1);
}

CKeyValuesSystem::~CKeyValuesSystem()
{
    ReportLeaks();
    for (int i = 0; i < m_nPages; ++i)
    {
        MemAlloc_FreeTagged(m_Pages[i], KVSYSTEM_ALLOC_SOURCE, __LINE__);
        m_Pages[i] = nullptr;
    }
    m_nPages = 0;
    m_nUsed.store(0, std::memory_order_release);
    m_ExprSymbols.Purge();
    m_Leaks.Purge();
    m_EntryPool.FreeAll();
}

void CKeyValuesSystem::RegisterNodeSize(int nSize)
{
    QAssertAt(nSize < INT_MAX, KVSYSTEM_SOURCE, __LINE__);
    if (nSize > m_nMaxNodeSize) m_nMaxNodeSize = nSize;
}

const char* CKeyValuesSystem::TextAt(HKeySymbol symbol) const
{
    return m_Pages[(unsigned)symbol >> 15] + ((unsigned)symbol & 0x7FFF);
}

bool CKeyValuesSystem::EntryMatches(const HashItem_t* pItem, uint32_t nHash,
                                    const char* pszName) const
{
    // The symbol is published last, so once it is seen the hash and the text
    // are complete.
    HKeySymbol symbol = pItem->m_nSymbol.load(std::memory_order_acquire);
    if (symbol == 0) return false;
    if (pItem->m_nHash.load(std::memory_order_relaxed) != nHash) return false;
    return V_CompareNoCaseCount(TextAt(symbol), pszName, 0x7FFFFFFF) == 0;
}

bool CKeyValuesSystem::FindInChain(HashItem_t*& pItem, uint32_t nHash, const char* pszName) const
{
    for (;;)
    {
        if (EntryMatches(pItem, nHash, pszName)) return true;
        HashItem_t* pNext = pItem->m_pNext.load(std::memory_order_acquire);
        if (!pNext) return false;
        pItem = pNext;
    }
}

HKeySymbol CKeyValuesSystem::SymbolForName(const char* pszName, bool bCreate)
{
    if (!pszName || !pszName[0]) return 0;

    size_t nLength = std::strlen(pszName);
    uint32_t nHash =
        V_HashMurmur3(pszName, (int)(nLength > INT_MAX ? INT_MAX : nLength), k_nHashSeed, true);
    HashItem_t* const pBucket = &m_Buckets[nHash & (k_nBuckets - 1)];
    HashItem_t* pItem = pBucket;
    if (FindInChain(pItem, nHash, pszName)) return pItem->m_nSymbol.load(std::memory_order_relaxed);
    if (!bCreate) return 0;

    CWriteLockT<SpinRWLock> lock(m_Lock);

    // Walk the whole chain again, from the bucket itself: the unlocked walk
    // may have passed the bucket's own entry while it was still empty, and
    // another thread may have filled it with this very name since.
    pItem = pBucket;
    if (FindInChain(pItem, nHash, pszName)) return pItem->m_nSymbol.load(std::memory_order_relaxed);

    unsigned int nChars = nLength >= 0xFFFFFFFFu ? 0xFFFFFFFFu : (unsigned int)(nLength + 1);
    HKeySymbol symbol = AddStringToPool(pszName, nChars);
    if (symbol == 0) return 0; // refused: nothing worth linking

    if (pItem->m_nSymbol.load(std::memory_order_relaxed) == 0)
    {
        // Only the embedded entry can be empty.
        pItem->m_nHash.store(nHash, std::memory_order_relaxed);
        pItem->m_nSymbol.store(symbol, std::memory_order_release);
        return symbol;
    }

    HashItem_t* pNew = (HashItem_t*)m_EntryPool.Alloc(sizeof(HashItem_t));
    if (!pNew) return symbol;
    new (pNew) HashItem_t;
    pNew->m_nHash.store(nHash, std::memory_order_relaxed);
    pNew->m_nSymbol.store(symbol, std::memory_order_relaxed);
    pNew->m_pNext.store(nullptr, std::memory_order_relaxed);
    pItem->m_pNext.store(pNew, std::memory_order_release);
    return symbol;
}

const char* CKeyValuesSystem::NameForSymbol(HKeySymbol symbol)
{
    if (symbol <= 0 || (unsigned)symbol >= m_nUsed.load(std::memory_order_acquire)) return "";
    return TextAt(symbol);
}

HKeySymbol CKeyValuesSystem::SymbolForNameWithTable(const char* pszName, char*** pppPageTable)
{
    if (pppPageTable) *pppPageTable = m_Pages;
    return SymbolForName(pszName, true);
}

HKeySymbol CKeyValuesSystem::AddStringToPool(const char* pszText, unsigned int nChars)
{
    if (nChars >= 1024)
    {
        AssertMsgFailed(false, KVSYSTEM_SOURCE, __LINE__,
                        "CKeyValuesSystem::AddStringToPool: key name too long (%u chars)", nChars);
        return 0;
    }

    unsigned int nUsed = m_nUsed.load(std::memory_order_relaxed);
    if (nUsed >= KEYVALUES_POOL_MAX_BYTES)
    {
        AssertMsgFailed(true, KVSYSTEM_SOURCE, __LINE__, "%s",
                        "CKeyValuesSystem::AddStringToPool: out of memory");
        return 0;
    }

    unsigned int nPage = nUsed >> 15;
    unsigned int nOffset = nUsed & 0x7FFF;
    if (nOffset + nChars >= KEYVALUES_POOL_PAGE_SIZE)
    {
        // Names never straddle pages; the rest of this page stays empty.
        ++nPage;
        nOffset = 0;
        if (nPage >= KEYVALUES_POOL_MAX_PAGES)
        {
            AssertMsgFailed(true, KVSYSTEM_SOURCE, __LINE__, "%s",
                            "CKeyValuesSystem::AddStringToPool: out of memory");
            return 0;
        }
        // The tail left behind is zeroed, so a symbol that points into it
        // reads as "" instead of running on through unterminated memory.
        std::memset(m_Pages[nPage - 1] + (nUsed & 0x7FFF), 0,
                    KEYVALUES_POOL_PAGE_SIZE - (nUsed & 0x7FFF));
    }

    if ((int)nPage >= m_nPages)
    {
        if (nUsed >= KEYVALUES_POOL_MAX_BYTES / 2)
            AssertMsgFailed(false, KVSYSTEM_SOURCE, __LINE__,
                            "CKeyValuesSystem::AddStringToPool: running out of memory (%u bytes "
                            "left)",
                            KEYVALUES_POOL_MAX_BYTES - nUsed);
        char* pPage =
            (char*)MemAlloc_AllocTagged(KEYVALUES_POOL_PAGE_SIZE, KVSYSTEM_ALLOC_SOURCE, __LINE__);
        if (!pPage) return 0;
        m_Pages[m_nPages++] = pPage;
    }

    std::memcpy(m_Pages[nPage] + nOffset, pszText, nChars);
    m_nUsed.store(nPage * KEYVALUES_POOL_PAGE_SIZE + nOffset + nChars, std::memory_order_release);
    return (HKeySymbol)(nPage * KEYVALUES_POOL_PAGE_SIZE + nOffset);
}

void CKeyValuesSystem::TrackLeak(const void* pNode, HKeySymbol nameSymbol)
{
    CWriteLockT<SpinRWLock> lock(m_LeakLock);
    LeakRecord_t record = {pNode, nameSymbol};
    m_Leaks.Insert(record, false);
}

void CKeyValuesSystem::UntrackLeak(const void* pNode)
{
    CWriteLockT<SpinRWLock> lock(m_LeakLock);
    LeakRecord_t record = {pNode, 0};
    m_Leaks.Remove(record);
}

int CKeyValuesSystem::LeakCount()
{
    CReadLockT<SpinRWLock> lock(m_LeakLock);
    return m_Leaks.Count();
}

void CKeyValuesSystem::SetExpressionSymbol(const char* pszName, bool bValue)
{
    if (!pszName) return;
    if (pszName[0] == '$') ++pszName;
    HKeySymbol symbol = SymbolForName(pszName, true);
    CWriteLockT<SpinRWLock> lock(m_Lock);
    ExprSymbol_t entry = {symbol, bValue};
    m_ExprSymbols.Insert(entry, false);
}

bool CKeyValuesSystem::GetExpressionSymbol(const char* pszName)
{
    if (!pszName) return false;
    if (pszName[0] == '$') ++pszName;
    HKeySymbol symbol = SymbolForName(pszName, false);
    if (symbol == 0) return false;
    CReadLockT<SpinRWLock> lock(m_Lock);
    ExprSymbol_t search = {symbol, false};
    int i = m_ExprSymbols.Find(search);
    if (i == m_ExprSymbols.InvalidIndex()) return false;
    return m_ExprSymbols.Element(i).m_bValue;
}

void CKeyValuesSystem::BuildStatistics(void (*pfnLine)(void* pContext, const char* pszLine),
                                       void* pContext)
{
    CWriteLockT<SpinRWLock> lock(m_Lock);
    char szLine[256];
    unsigned int nUsed = m_nUsed.load(std::memory_order_relaxed);

    V_BoundedFormat(szLine, sizeof(szLine), "String pool bytes used %u, max %u, %u pools\n", nUsed,
                    (unsigned)KEYVALUES_POOL_MAX_BYTES, (unsigned)m_nPages);
    pfnLine(pContext, szLine);

    CUtlVector<unsigned int> sizeTally;
    unsigned int nStrings = 0, nLongest = 0, nCollisions = 0;
    for (int b = 0; b < k_nBuckets; ++b)
    {
        unsigned int nBucketSize = 0;
        for (const HashItem_t* pItem = &m_Buckets[b]; pItem;
             pItem = pItem->m_pNext.load(std::memory_order_relaxed))
        {
            HKeySymbol symbol = pItem->m_nSymbol.load(std::memory_order_relaxed);
            if (symbol != 0)
            {
                ++nBucketSize;
                unsigned int nLen = (unsigned int)std::strlen(TextAt(symbol));
                if (nLen > nLongest) nLongest = nLen;
            }
            uint32_t nHash = pItem->m_nHash.load(std::memory_order_relaxed);
            for (const HashItem_t* pEarlier = &m_Buckets[b]; pEarlier != pItem;
                 pEarlier = pEarlier->m_pNext.load(std::memory_order_relaxed))
            {
                if (pEarlier->m_nHash.load(std::memory_order_relaxed) == nHash)
                {
                    ++nCollisions;
                    break;
                }
            }
        }
        nStrings += nBucketSize;
        while (sizeTally.Count() <= (int)nBucketSize)
            sizeTally.AddToTail(0u);
        ++sizeTally[(int)nBucketSize];
    }

    V_BoundedFormat(szLine, sizeof(szLine),
                    "Total number of strings %u, longest string size %u, avg size %u\n", nStrings,
                    nLongest, nStrings ? nUsed / nStrings : 0u);
    pfnLine(pContext, szLine);
    V_BoundedFormat(szLine, sizeof(szLine), "Total of %u buckets with %u hash collisions\n",
                    (unsigned)k_nBuckets, nCollisions);
    pfnLine(pContext, szLine);
    pfnLine(pContext, "Bucket size : count\n");
    for (int i = 0; i < sizeTally.Count(); ++i)
    {
        if (sizeTally[i] == 0) continue;
        V_BoundedFormat(szLine, sizeof(szLine), "%u : %u\n", (unsigned)i, sizeTally[i]);
        pfnLine(pContext, szLine);
    }
}

namespace
{
void SpewStatisticsLine(void*, const char* pszLine)
{
    SpewMessage("%s", pszLine);
}

void AppendStatisticsLine(void* pContext, const char* pszLine)
{
    static_cast<CUtlOwnedString*>(pContext)->Append(pszLine);
}
} // namespace

void CKeyValuesSystem::PrintStatistics()
{
    BuildStatistics(SpewStatisticsLine, nullptr);
}

void CKeyValuesSystem::FormatStatistics(CUtlOwnedString& text)
{
    BuildStatistics(AppendStatisticsLine, &text);
}

void CKeyValuesSystem::ReportLeaks()
{
    CWriteLockT<SpinRWLock> lock(m_LeakLock);
    if (m_Leaks.Count() == 0) return;

    char szLine[1200];
    V_BoundedFormat(szLine, sizeof(szLine), "Leaked KeyValues (%u):\n", (unsigned)m_Leaks.Count());
    Plat_OutputDebugString(szLine);

    // Group the records by name symbol.
    struct NameCount_t
    {
        HKeySymbol m_Symbol;
        unsigned int m_nCount;
    };
    CUtlSortedTree<NameCount_t> byName([](const NameCount_t& a, const NameCount_t& b)
                                       { return a.m_Symbol < b.m_Symbol; });
    for (int i = m_Leaks.FirstInorder(); i != m_Leaks.InvalidIndex(); i = m_Leaks.NextInorder(i))
    {
        NameCount_t search = {m_Leaks.Element(i).m_Symbol, 0};
        int j = byName.Find(search);
        if (j == byName.InvalidIndex())
        {
            search.m_nCount = 1;
            byName.Insert(search);
        }
        else
        {
            ++byName.Element(j).m_nCount;
        }
    }
    for (int j = byName.FirstInorder(); j != byName.InvalidIndex(); j = byName.NextInorder(j))
    {
        V_BoundedFormat(szLine, sizeof(szLine), "%s (%u)\n",
                        NameForSymbol(byName.Element(j).m_Symbol), byName.Element(j).m_nCount);
        Plat_OutputDebugString(szLine);
    }
}

IKeyValuesSystem* KeyValuesSystemInstance()
{
    static CKeyValuesSystem s_KeyValuesSystem;
    return &s_KeyValuesSystem;
}
