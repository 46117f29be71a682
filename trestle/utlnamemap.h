// Map from names to values on a sorted tree. The map keeps its own copy of
// every name; how names compare is chosen by the map's user.
#pragma once

#include "trestle/utlsortedtree.h"

#include <utility>

typedef bool (*UtlNameLessFunc_t)(const char* pchLeft, const char* pchRight);

// Byte order. A null name sorts before every other name, "" included.
bool UtlNameLess(const char* pchLeft, const char* pchRight);
// Same, ignoring ASCII case.
bool UtlNameLessNoCase(const char* pchLeft, const char* pchRight);

// Heap copy of a name (length + 1 bytes); null stays null.
char* UtlNameMap_CopyName(const char* pchName);
void UtlNameMap_FreeName(char* pchName);

template <class V> struct CUtlNameMapEntry
{
    char* m_pchName;
    V m_Value;
};

template <class V> struct CUtlIsRelocatable<CUtlNameMapEntry<V>> : CUtlIsRelocatable<V>
{
};

// Orders entries by name through the user's name comparison.
template <class V> struct CUtlNameMapLess
{
    UtlNameLessFunc_t m_pfnLess;

    CUtlNameMapLess(UtlNameLessFunc_t pfnLess = nullptr) : m_pfnLess(pfnLess) {}
    explicit operator bool() const { return m_pfnLess != nullptr; }
    bool operator()(const CUtlNameMapEntry<V>& a, const CUtlNameMapEntry<V>& b) const
    {
        return m_pfnLess(a.m_pchName, b.m_pchName);
    }
};

template <class V> class CUtlNameMap
{
public:
    typedef CUtlNameMapEntry<V> Entry_t;
    typedef CUtlSortedTree<Entry_t, CUtlNameMapLess<V>> Tree_t;

    explicit CUtlNameMap(UtlNameLessFunc_t pfnLess = UtlNameLess)
        : m_Tree(CUtlNameMapLess<V>(pfnLess))
    {
    }
    CUtlNameMap(const CUtlNameMap&) = delete;
    CUtlNameMap& operator=(const CUtlNameMap&) = delete;
    CUtlNameMap(CUtlNameMap&& other) noexcept : m_Tree(std::move(other.m_Tree)) {}
    CUtlNameMap& operator=(CUtlNameMap&& other) noexcept
    {
        if (this != &other)
        {
            Purge();
            m_Tree.Swap(other.m_Tree);
        }
        return *this;
    }
    ~CUtlNameMap() { Purge(); }

    // A known name only gets the new value; otherwise a copy of the name is
    // stored with it. Returns the entry's index.
    int Insert(const char* pchName, const V& value)
    {
        int i = Find(pchName);
        if (i >= 0)
        {
            m_Tree.Element(i).m_Value = value;
            return i;
        }
        Entry_t entry{UtlNameMap_CopyName(pchName), value};
        i = m_Tree.Insert(entry, false);
        if (i < 0) UtlNameMap_FreeName(entry.m_pchName);
        return i;
    }
    int Insert(const char* pchName) { return Insert(pchName, V()); }

    int Find(const char* pchName) const
    {
        Entry_t search{const_cast<char*>(pchName), V()};
        return m_Tree.Find(search);
    }
    bool HasElement(const char* pchName) const { return Find(pchName) >= 0; }

    V& operator[](int i) { return m_Tree.Element(i).m_Value; }
    const V& operator[](int i) const { return m_Tree.Element(i).m_Value; }
    V& Element(int i) { return m_Tree.Element(i).m_Value; }
    const V& Element(int i) const { return m_Tree.Element(i).m_Value; }
    // The map's own copy; null for an entry inserted under a null name.
    const char* GetElementName(int i) const { return m_Tree.Element(i).m_pchName; }

    void RemoveAt(int i)
    {
        if (!m_Tree.IsValidIndex(i))
        {
            m_Tree.RemoveAt(i); // reports the bad index
            return;
        }
        char* pchName = m_Tree.Element(i).m_pchName;
        m_Tree.RemoveAt(i);
        UtlNameMap_FreeName(pchName);
    }
    bool Remove(const char* pchName)
    {
        int i = Find(pchName);
        if (i < 0) return false;
        RemoveAt(i);
        return true;
    }
    void RemoveAll()
    {
        FreeNames();
        m_Tree.RemoveAll();
    }
    void Purge()
    {
        FreeNames();
        m_Tree.Purge();
    }

    int Count() const { return m_Tree.Count(); }
    int MaxElement() const { return m_Tree.MaxElement(); }
    bool IsValidIndex(int i) const { return m_Tree.IsValidIndex(i); }
    static int InvalidIndex() { return -1; }
    int First() const { return m_Tree.FirstInorder(); }
    int Next(int i) const { return m_Tree.NextInorder(i); }
    const Tree_t& Tree() const { return m_Tree; }

private:
    void FreeNames()
    {
        for (int i = 0; i < m_Tree.MaxElement(); ++i)
        {
            if (m_Tree.IsValidIndex(i))
            {
                UtlNameMap_FreeName(m_Tree.Element(i).m_pchName);
                m_Tree.Element(i).m_pchName = nullptr;
            }
        }
    }

    Tree_t m_Tree;
};

template <class V> struct CUtlIsRelocatable<CUtlNameMap<V>> : std::true_type
{
};
