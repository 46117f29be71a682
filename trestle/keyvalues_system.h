// The process-wide pool of key names. Every KeyValues name is turned into a
// 24-bit symbol (a byte offset into an append-only pool of texts), so that
// nodes store only the symbol and compare names as integers. Lookups ignore
// ASCII case: the first written form of a name becomes its text for all.
#pragma once

#include <atomic>
#include <cstdint>

#include "plinth/threadtools.h"
#include "trestle/mempool.h"
#include "trestle/utlsortedtree.h"

class CUtlOwnedString;

// Symbol of a key name; 0 is the empty name "".
typedef int HKeySymbol;
#define INVALID_KEY_SYMBOL 0

// Largest pool: 512 pages of 32 KB, so every symbol fits in 24 bits.
#define KEYVALUES_POOL_PAGE_SIZE 0x8000
#define KEYVALUES_POOL_MAX_PAGES 512
#define KEYVALUES_POOL_MAX_BYTES 0x1000000

// Operation table order is fixed; slot 10 is the destructor.
class IKeyValuesSystem
{
public:
    // Keeps the largest node size given.
    virtual void RegisterNodeSize(int nSize) = 0;
    // Symbol of a name, 0 for a null or empty name; with bCreate an unknown
    // name is added to the pool, otherwise it gives 0.
    virtual HKeySymbol SymbolForName(const char* pszName, bool bCreate) = 0;
    // Text of a symbol; "" for 0 and for symbols beyond the pool.
    virtual const char* NameForSymbol(HKeySymbol symbol) = 0;
    // Stores the address of the page table in *pppPageTable and creates the
    // name's symbol.
    virtual HKeySymbol SymbolForNameWithTable(const char* pszName, char*** pppPageTable) = 0;
    // Live-node bookkeeping for the leak report at exit.
    virtual void TrackLeak(const void* pNode, HKeySymbol nameSymbol) = 0;
    virtual void UntrackLeak(const void* pNode) = 0;
    // Values of condition names ("$NAME" or "NAME") beyond the built-in ones.
    virtual void SetExpressionSymbol(const char* pszName, bool bValue) = 0;
    virtual bool GetExpressionSymbol(const char* pszName) = 0;
    // Hash-table statistics, at message level or appended to a string.
    virtual void PrintStatistics() = 0;
    virtual void FormatStatistics(CUtlOwnedString& text) = 0;
    virtual ~IKeyValuesSystem() {}
};

// The process-wide pool, created on first use and destroyed at process exit.
IKeyValuesSystem* KeyValuesSystemInstance();
inline IKeyValuesSystem* KeyValuesSystem()
{
    return KeyValuesSystemInstance();
}

// The pool behind IKeyValuesSystem. Lookups of existing names take no lock;
// creating a name, the expression-symbol table and the statistics take the
// reader/writer lock; the leak list has its own lock.
class CKeyValuesSystem : public IKeyValuesSystem
{
public:
    static const int k_nBuckets = 4096;
    static const uint32_t k_nHashSeed = 1047;

    CKeyValuesSystem();
    ~CKeyValuesSystem() override;

    void RegisterNodeSize(int nSize) override;
    HKeySymbol SymbolForName(const char* pszName, bool bCreate) override;
    const char* NameForSymbol(HKeySymbol symbol) override;
    HKeySymbol SymbolForNameWithTable(const char* pszName, char*** pppPageTable) override;
    void TrackLeak(const void* pNode, HKeySymbol nameSymbol) override;
    void UntrackLeak(const void* pNode) override;
    void SetExpressionSymbol(const char* pszName, bool bValue) override;
    bool GetExpressionSymbol(const char* pszName) override;
    void PrintStatistics() override;
    void FormatStatistics(CUtlOwnedString& text) override;

    // Copies nChars bytes (terminator included) into the pool and returns the
    // new symbol; 0 when refused. Callers hold the lock for writing.
    HKeySymbol AddStringToPool(const char* pszText, unsigned int nChars);

    // Introspection for diagnostics and tests.
    unsigned int BytesUsed() const { return m_nUsed.load(std::memory_order_acquire); }
    int PageCount() const { return m_nPages; }
    int LargestNodeSize() const { return m_nMaxNodeSize; }
    int LeakCount();

    CKeyValuesSystem(const CKeyValuesSystem&) = delete;
    CKeyValuesSystem& operator=(const CKeyValuesSystem&) = delete;

private:
    // One bucket entry; the first of each bucket is embedded in the table.
    // Entries are complete before they become reachable, so readers walk the
    // chains without the lock.
    struct HashItem_t
    {
        std::atomic<uint32_t> m_nHash;
        std::atomic<int32_t> m_nSymbol;
        std::atomic<HashItem_t*> m_pNext;
    };
#if UINTPTR_MAX == 0xFFFFFFFFu
    static_assert(sizeof(HashItem_t) == 12, "bucket entries are 12 bytes on 32-bit builds");
#endif

    struct ExprSymbol_t
    {
        HKeySymbol m_Symbol;
        bool m_bValue;
    };
    struct LeakRecord_t
    {
        const void* m_pNode;
        HKeySymbol m_Symbol;
    };
    static bool ExprLess(const ExprSymbol_t& a, const ExprSymbol_t& b)
    {
        return a.m_Symbol < b.m_Symbol;
    }
    static bool LeakLess(const LeakRecord_t& a, const LeakRecord_t& b)
    {
        return (uintptr_t)a.m_pNode < (uintptr_t)b.m_pNode;
    }

    bool EntryMatches(const HashItem_t* pItem, uint32_t nHash, const char* pszName) const;
    // Walks a chain from pItem; on a miss pItem is left at the chain's last entry.
    bool FindInChain(HashItem_t*& pItem, uint32_t nHash, const char* pszName) const;
    const char* TextAt(HKeySymbol symbol) const;
    // Emits the statistics lines through pfnLine.
    void BuildStatistics(void (*pfnLine)(void* pContext, const char* pszLine), void* pContext);
    void ReportLeaks();

    char* m_Pages[KEYVALUES_POOL_MAX_PAGES];
    int m_nPages;
    std::atomic<unsigned int> m_nUsed;
    HashItem_t m_Buckets[k_nBuckets];
    CMemoryPool m_EntryPool;
    SpinRWLock m_Lock;
    CUtlSortedTree<ExprSymbol_t> m_ExprSymbols;
    SpinRWLock m_LeakLock;
    CUtlSortedTree<LeakRecord_t> m_Leaks;
    int m_nMaxNodeSize;
};
