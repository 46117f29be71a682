// Red-black tree whose nodes live in one growable array and are addressed by
// index. A node keeps its index for as long as it is in the tree, so indices
// serve as stable handles; freed slots are handed out again most recently
// freed first.
#pragma once

#include "plinth/dbg.h"
#include "trestle/utlmemory.h"

#include <new>
#include <type_traits>
#include <utility>

// Source name of the tree's assertions, as the library has always reported it.
#define UTLSORTEDTREE_SOURCE "..\\trestle\\utlrbtree"

// Whether a less function has been given: null function pointers have not.
template <class L> inline bool UtlLessFuncIsSet(const L& lessFunc)
{
    if constexpr (std::is_pointer<L>::value)
        return lessFunc != nullptr;
    else if constexpr (std::is_constructible<bool, const L&>::value)
        return static_cast<bool>(lessFunc);
    else
        return true;
}

template <class T, class L = bool (*)(const T&, const T&)> class CUtlSortedTree
{
public:
    typedef T ElemType_t;
    typedef L LessFunc_t;
    typedef bool (*LessFuncPtr_t)(const T&, const T&);

    enum NodeColor_t
    {
        RED = 0,
        BLACK = 1
    };

    struct Links_t
    {
        int m_iLeft;
        int m_iRight;
        int m_iParent;
        int m_nTag;
    };
    struct Node_t : Links_t
    {
        T m_Element;
    };

    explicit CUtlSortedTree(L lessFunc = L()) : CUtlSortedTree(0, 0, lessFunc) {}
    CUtlSortedTree(int nGrowSize, int nInitSize, L lessFunc = L())
        : m_LessFunc(lessFunc), m_Elements(nGrowSize, nInitSize), m_iRoot(-1), m_nElements(0),
          m_nNumUsed(0), m_iFirstFree(-1)
    {
    }
    CUtlSortedTree(const CUtlSortedTree& other);
    CUtlSortedTree(CUtlSortedTree&& other) noexcept
        : m_LessFunc(other.m_LessFunc), m_Elements(std::move(other.m_Elements)),
          m_iRoot(other.m_iRoot), m_nElements(other.m_nElements), m_nNumUsed(other.m_nNumUsed),
          m_iFirstFree(other.m_iFirstFree)
    {
        other.ResetEmpty();
    }
    CUtlSortedTree& operator=(const CUtlSortedTree& other)
    {
        if (this != &other)
        {
            CUtlSortedTree copy(other);
            Swap(copy);
        }
        return *this;
    }
    CUtlSortedTree& operator=(CUtlSortedTree&& other) noexcept
    {
        if (this != &other)
        {
            Purge();
            Swap(other);
        }
        return *this;
    }
    ~CUtlSortedTree() { Purge(); }

    void SetLessFunc(L lessFunc) { m_LessFunc = lessFunc; }
    static int InvalidIndex() { return -1; }

    // Element access by index.
    T& Element(int i) { return Node(i).m_Element; }
    const T& Element(int i) const { return Node(i).m_Element; }
    T& operator[](int i) { return Element(i); }
    const T& operator[](int i) const { return Element(i); }

    int Count() const { return m_nElements; }
    // One past the highest slot ever used; iterate 0..MaxElement()-1 with IsValidIndex.
    int MaxElement() const { return m_nNumUsed; }
    int Root() const { return m_iRoot; }
    int Parent(int i) const { return i < 0 ? -1 : Links(i).m_iParent; }
    int LeftChild(int i) const { return i < 0 ? -1 : Links(i).m_iLeft; }
    int RightChild(int i) const { return i < 0 ? -1 : Links(i).m_iRight; }
    bool IsRed(int i) const { return i >= 0 && Links(i).m_nTag == RED; }
    bool IsBlack(int i) const { return !IsRed(i); }
    // Within the slots ever used and not on the free list.
    bool IsValidIndex(int i) const { return i >= 0 && i < m_nNumUsed && Links(i).m_iLeft != i; }

    int Find(const T& search) const;
    // Adds `insert`. Without duplicates an equal element is overwritten in place
    // and its index returned. -1 when no less function is set.
    int Insert(const T& insert, bool bAllowDuplicates = true);
    void RemoveAt(int elem);
    bool Remove(const T& search);
    void RemoveAll();
    void Purge();

    int FirstInorder() const;
    int NextInorder(int i) const;
    int PrevInorder(int i) const;
    int LastInorder() const;

    void Swap(CUtlSortedTree& other);

    // Full structural check: links, order, colours and black heights.
    bool ValidateTree() const;

private:
    Node_t& Node(int i) { return m_Elements.Base()[i]; }
    const Node_t& Node(int i) const { return m_Elements.Base()[i]; }
    Links_t& Links(int i) { return Node(i); }
    const Links_t& Links(int i) const { return Node(i); }
    bool Less(const T& a, const T& b) const { return m_LessFunc(a, b); }
    bool CheckLessFunc() const
    {
        if (UtlLessFuncIsSet(m_LessFunc)) return true;
        AssertFailed(UTLSORTEDTREE_SOURCE, __LINE__, "m_LessFunc");
        return false;
    }
    void SetColor(int i, int color)
    {
        if (i >= 0) Links(i).m_nTag = color;
    }
    void ResetEmpty()
    {
        m_iRoot = -1;
        m_nElements = 0;
        m_nNumUsed = 0;
        m_iFirstFree = -1;
    }
    bool IsInside(const T& elem) const
    {
        const Node_t* pBase = m_Elements.Base();
        const void* p = &elem;
        return pBase && p >= static_cast<const void*>(pBase) &&
               p < static_cast<const void*>(pBase + m_nNumUsed);
    }

    static void RelocateNodes(void* pNew, void* pOld, void* pContext);
    int NewNode();
    void FreeNode(int i);
    void RotateLeft(int x);
    void RotateRight(int x);
    void Transplant(int u, int v);
    void InsertRebalance(int x);
    void RemoveRebalance(int x, int xParent);
    int CheckSubtree(int i, int& nCount) const;

    L m_LessFunc;
    CUtlMemory<Node_t> m_Elements;
    int m_iRoot;
    int m_nElements;
    int m_nNumUsed;
    int m_iFirstFree;
};

template <class T, class L> struct CUtlIsRelocatable<CUtlSortedTree<T, L>> : std::true_type
{
};

template <class T, class L>
CUtlSortedTree<T, L>::CUtlSortedTree(const CUtlSortedTree& other)
    : m_LessFunc(other.m_LessFunc),
      m_Elements(other.m_Elements.GrowSize() > 0 ? other.m_Elements.GrowSize() : 0), m_iRoot(-1),
      m_nElements(0), m_nNumUsed(0), m_iFirstFree(-1)
{
    // Slot for slot, so the copy's indices match the original's.
    if (other.m_nNumUsed > 0)
    {
        m_Elements.EnsureCapacity(other.m_nNumUsed);
        if (m_Elements.NumAllocated() < other.m_nNumUsed) return;
        for (int i = 0; i < other.m_nNumUsed; ++i)
        {
            Links(i) = other.Links(i);
            if (other.IsValidIndex(i)) new (&Node(i).m_Element) T(other.Node(i).m_Element);
        }
    }
    m_iRoot = other.m_iRoot;
    m_nElements = other.m_nElements;
    m_nNumUsed = other.m_nNumUsed;
    m_iFirstFree = other.m_iFirstFree;
}

template <class T, class L> void CUtlSortedTree<T, L>::Swap(CUtlSortedTree& other)
{
    std::swap(m_LessFunc, other.m_LessFunc);
    m_Elements.Swap(other.m_Elements);
    std::swap(m_iRoot, other.m_iRoot);
    std::swap(m_nElements, other.m_nElements);
    std::swap(m_nNumUsed, other.m_nNumUsed);
    std::swap(m_iFirstFree, other.m_iFirstFree);
}

template <class T, class L>
void CUtlSortedTree<T, L>::RelocateNodes(void* pNew, void* pOld, void* pContext)
{
    CUtlSortedTree* pThis = static_cast<CUtlSortedTree*>(pContext);
    Node_t* pDst = static_cast<Node_t*>(pNew);
    Node_t* pSrc = static_cast<Node_t*>(pOld);
    for (int i = 0; i < pThis->m_nNumUsed; ++i)
    {
        static_cast<Links_t&>(pDst[i]) = static_cast<const Links_t&>(pSrc[i]);
        if (pSrc[i].m_iLeft != i)
        {
            new (&pDst[i].m_Element) T(std::move(pSrc[i].m_Element));
            pSrc[i].m_Element.~T();
        }
    }
}

template <class T, class L> int CUtlSortedTree<T, L>::NewNode()
{
    if (m_iFirstFree >= 0)
    {
        int i = m_iFirstFree;
        m_iFirstFree = Links(i).m_iRight;
        return i;
    }
    if (m_nNumUsed >= m_Elements.NumAllocated())
    {
        if constexpr (CUtlIsRelocatable<T>::value)
            m_Elements.Grow(1);
        else
            m_Elements.Grow(1, &RelocateNodes, this);
        if (m_nNumUsed >= m_Elements.NumAllocated()) return -1;
    }
    return m_nNumUsed++;
}

template <class T, class L> void CUtlSortedTree<T, L>::FreeNode(int i)
{
    Node(i).m_Element.~T();
    Links_t& links = Links(i);
    links.m_iLeft = i;
    links.m_iRight = m_iFirstFree;
    links.m_iParent = -1;
    links.m_nTag = BLACK;
    m_iFirstFree = i;
}

template <class T, class L> void CUtlSortedTree<T, L>::RotateLeft(int x)
{
    int y = Links(x).m_iRight;
    Links(x).m_iRight = Links(y).m_iLeft;
    if (Links(y).m_iLeft >= 0) Links(Links(y).m_iLeft).m_iParent = x;
    Transplant(x, y);
    Links(y).m_iLeft = x;
    Links(x).m_iParent = y;
}

template <class T, class L> void CUtlSortedTree<T, L>::RotateRight(int x)
{
    int y = Links(x).m_iLeft;
    Links(x).m_iLeft = Links(y).m_iRight;
    if (Links(y).m_iRight >= 0) Links(Links(y).m_iRight).m_iParent = x;
    Transplant(x, y);
    Links(y).m_iRight = x;
    Links(x).m_iParent = y;
}

// Puts v where u hangs from its parent (u's own links are left alone).
template <class T, class L> void CUtlSortedTree<T, L>::Transplant(int u, int v)
{
    int p = Links(u).m_iParent;
    if (p < 0)
        m_iRoot = v;
    else if (Links(p).m_iLeft == u)
        Links(p).m_iLeft = v;
    else
        Links(p).m_iRight = v;
    if (v >= 0) Links(v).m_iParent = p;
}

template <class T, class L> void CUtlSortedTree<T, L>::InsertRebalance(int x)
{
    while (x != m_iRoot && IsRed(Parent(x)))
    {
        int p = Parent(x);
        int g = Parent(p);
        if (p == LeftChild(g))
        {
            int u = RightChild(g);
            if (IsRed(u))
            {
                SetColor(p, BLACK);
                SetColor(u, BLACK);
                SetColor(g, RED);
                x = g;
                continue;
            }
            if (x == RightChild(p))
            {
                x = p;
                RotateLeft(x);
                p = Parent(x);
            }
            SetColor(p, BLACK);
            SetColor(g, RED);
            RotateRight(g);
        }
        else
        {
            int u = LeftChild(g);
            if (IsRed(u))
            {
                SetColor(p, BLACK);
                SetColor(u, BLACK);
                SetColor(g, RED);
                x = g;
                continue;
            }
            if (x == LeftChild(p))
            {
                x = p;
                RotateRight(x);
                p = Parent(x);
            }
            SetColor(p, BLACK);
            SetColor(g, RED);
            RotateLeft(g);
        }
    }
    SetColor(m_iRoot, BLACK);
}

template <class T, class L> void CUtlSortedTree<T, L>::RemoveRebalance(int x, int xParent)
{
    while (x != m_iRoot && IsBlack(x) && xParent >= 0)
    {
        if (x == LeftChild(xParent))
        {
            int w = RightChild(xParent);
            if (IsRed(w))
            {
                SetColor(w, BLACK);
                SetColor(xParent, RED);
                RotateLeft(xParent);
                w = RightChild(xParent);
            }
            if (IsBlack(LeftChild(w)) && IsBlack(RightChild(w)))
            {
                SetColor(w, RED);
                x = xParent;
                xParent = Parent(x);
            }
            else
            {
                if (IsBlack(RightChild(w)))
                {
                    SetColor(LeftChild(w), BLACK);
                    SetColor(w, RED);
                    RotateRight(w);
                    w = RightChild(xParent);
                }
                SetColor(w, Links(xParent).m_nTag);
                SetColor(xParent, BLACK);
                SetColor(RightChild(w), BLACK);
                RotateLeft(xParent);
                x = m_iRoot;
                xParent = -1;
            }
        }
        else
        {
            int w = LeftChild(xParent);
            if (IsRed(w))
            {
                SetColor(w, BLACK);
                SetColor(xParent, RED);
                RotateRight(xParent);
                w = LeftChild(xParent);
            }
            if (IsBlack(LeftChild(w)) && IsBlack(RightChild(w)))
            {
                SetColor(w, RED);
                x = xParent;
                xParent = Parent(x);
            }
            else
            {
                if (IsBlack(LeftChild(w)))
                {
                    SetColor(RightChild(w), BLACK);
                    SetColor(w, RED);
                    RotateLeft(w);
                    w = LeftChild(xParent);
                }
                SetColor(w, Links(xParent).m_nTag);
                SetColor(xParent, BLACK);
                SetColor(LeftChild(w), BLACK);
                RotateRight(xParent);
                x = m_iRoot;
                xParent = -1;
            }
        }
    }
    SetColor(x, BLACK);
}

template <class T, class L> int CUtlSortedTree<T, L>::Find(const T& search) const
{
    if (!CheckLessFunc()) return -1;
    int i = m_iRoot;
    while (i >= 0)
    {
        if (Less(search, Element(i)))
            i = LeftChild(i);
        else if (Less(Element(i), search))
            i = RightChild(i);
        else
            break;
    }
    return i;
}

template <class T, class L> int CUtlSortedTree<T, L>::Insert(const T& insert, bool bAllowDuplicates)
{
    if (!CheckLessFunc()) return -1;
    if (IsInside(insert))
    {
        // Taking a slot may move the storage under the source.
        T copy(insert);
        return Insert(copy, bAllowDuplicates);
    }

    int iParent = -1;
    bool bLeft = false;
    for (int i = m_iRoot; i >= 0;)
    {
        iParent = i;
        if (Less(insert, Element(i)))
        {
            bLeft = true;
            i = LeftChild(i);
        }
        else
        {
            if (!bAllowDuplicates && !Less(Element(i), insert))
            {
                Element(i) = insert;
                return i;
            }
            bLeft = false;
            i = RightChild(i);
        }
    }

    int iNew = NewNode();
    if (iNew < 0) return -1;
    Node_t& node = Node(iNew);
    new (&node.m_Element) T(insert);
    node.m_iLeft = -1;
    node.m_iRight = -1;
    node.m_iParent = iParent;
    node.m_nTag = RED;
    if (iParent < 0)
        m_iRoot = iNew;
    else if (bLeft)
        Links(iParent).m_iLeft = iNew;
    else
        Links(iParent).m_iRight = iNew;
    InsertRebalance(iNew);
    ++m_nElements;
    return iNew;
}

template <class T, class L> void CUtlSortedTree<T, L>::RemoveAt(int elem)
{
    if (!IsValidIndex(elem))
    {
        AssertFailed(UTLSORTEDTREE_SOURCE, __LINE__, "IsValidIndex( elem )");
        return;
    }

    // Relink rather than move elements, so every other node keeps its index.
    int z = elem;
    int y = z;
    int nOriginalColor = Links(y).m_nTag;
    int x;
    int xParent;
    if (LeftChild(z) < 0)
    {
        x = RightChild(z);
        xParent = Parent(z);
        Transplant(z, x);
    }
    else if (RightChild(z) < 0)
    {
        x = LeftChild(z);
        xParent = Parent(z);
        Transplant(z, x);
    }
    else
    {
        y = RightChild(z);
        while (LeftChild(y) >= 0)
            y = LeftChild(y);
        nOriginalColor = Links(y).m_nTag;
        x = RightChild(y);
        if (Parent(y) == z)
        {
            xParent = y;
        }
        else
        {
            xParent = Parent(y);
            Transplant(y, x);
            Links(y).m_iRight = RightChild(z);
            Links(RightChild(y)).m_iParent = y;
        }
        Transplant(z, y);
        Links(y).m_iLeft = LeftChild(z);
        Links(LeftChild(y)).m_iParent = y;
        Links(y).m_nTag = Links(z).m_nTag;
    }
    if (nOriginalColor == BLACK) RemoveRebalance(x, xParent);

    FreeNode(z);
    --m_nElements;
}

template <class T, class L> bool CUtlSortedTree<T, L>::Remove(const T& search)
{
    int i = Find(search);
    if (i < 0) return false;
    RemoveAt(i);
    return true;
}

template <class T, class L> void CUtlSortedTree<T, L>::RemoveAll()
{
    // Every used slot goes on the free list in ascending order.
    for (int i = 0; i < m_nNumUsed; ++i)
    {
        if (IsValidIndex(i)) Node(i).m_Element.~T();
        Links_t& links = Links(i);
        links.m_iLeft = i;
        links.m_iRight = (i + 1 < m_nNumUsed) ? i + 1 : -1;
        links.m_iParent = -1;
        links.m_nTag = BLACK;
    }
    m_iFirstFree = m_nNumUsed > 0 ? 0 : -1;
    m_iRoot = -1;
    m_nElements = 0;
}

template <class T, class L> void CUtlSortedTree<T, L>::Purge()
{
    RemoveAll();
    m_Elements.Purge();
    ResetEmpty();
}

template <class T, class L> int CUtlSortedTree<T, L>::FirstInorder() const
{
    int i = m_iRoot;
    while (LeftChild(i) >= 0)
        i = LeftChild(i);
    return i;
}

template <class T, class L> int CUtlSortedTree<T, L>::LastInorder() const
{
    int i = m_iRoot;
    while (RightChild(i) >= 0)
        i = RightChild(i);
    return i;
}

template <class T, class L> int CUtlSortedTree<T, L>::NextInorder(int i) const
{
    if (!IsValidIndex(i)) return -1;
    if (RightChild(i) >= 0)
    {
        i = RightChild(i);
        while (LeftChild(i) >= 0)
            i = LeftChild(i);
        return i;
    }
    int p = Parent(i);
    while (p >= 0 && i == RightChild(p))
    {
        i = p;
        p = Parent(p);
    }
    return p;
}

template <class T, class L> int CUtlSortedTree<T, L>::PrevInorder(int i) const
{
    if (!IsValidIndex(i)) return -1;
    if (LeftChild(i) >= 0)
    {
        i = LeftChild(i);
        while (RightChild(i) >= 0)
            i = RightChild(i);
        return i;
    }
    int p = Parent(i);
    while (p >= 0 && i == LeftChild(p))
    {
        i = p;
        p = Parent(p);
    }
    return p;
}

// Black height of the subtree at i, or -1 when it breaks a rule.
template <class T, class L> int CUtlSortedTree<T, L>::CheckSubtree(int i, int& nCount) const
{
    if (i < 0) return 1;
    if (!IsValidIndex(i) || ++nCount > m_nElements) return -1;
    int l = LeftChild(i);
    int r = RightChild(i);
    if ((l >= 0 && Parent(l) != i) || (r >= 0 && Parent(r) != i)) return -1;
    if (IsRed(i) && (IsRed(l) || IsRed(r))) return -1;
    if ((l >= 0 && Less(Element(i), Element(l))) || (r >= 0 && Less(Element(r), Element(i))))
        return -1;
    int hl = CheckSubtree(l, nCount);
    int hr = CheckSubtree(r, nCount);
    if (hl < 0 || hl != hr) return -1;
    return hl + (IsBlack(i) ? 1 : 0);
}

template <class T, class L> bool CUtlSortedTree<T, L>::ValidateTree() const
{
    if (m_iRoot >= 0 && (Parent(m_iRoot) != -1 || IsRed(m_iRoot))) return false;
    int nCount = 0;
    if (CheckSubtree(m_iRoot, nCount) < 0 || nCount != m_nElements) return false;
    // In-order walk must be sorted.
    int nWalked = 0;
    for (int i = FirstInorder(), prev = -1; i >= 0; prev = i, i = NextInorder(i), ++nWalked)
    {
        if (prev >= 0 && Less(Element(i), Element(prev))) return false;
    }
    if (nWalked != m_nElements) return false;
    // Free list: exactly the unused slots.
    int nFree = 0;
    for (int i = m_iFirstFree; i >= 0; i = Links(i).m_iRight)
    {
        if (i >= m_nNumUsed || Links(i).m_iLeft != i || ++nFree > m_nNumUsed) return false;
    }
    return nFree + m_nElements == m_nNumUsed;
}
