// Growable array: elements contiguous and kept in order, storage through
// CUtlMemoryBase and its growth rule.
#pragma once

#include "plinth/dbg.h"
#include "trestle/utlmemory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#define UTLVECTOR_SOURCE "..\\trestle\\utlvector"

template <class T> class CUtlVector
{
public:
    typedef T ElemType_t;
    typedef T* iterator;
    typedef const T* const_iterator;

    explicit CUtlVector(int nGrowSize = 0, int nInitSize = 0)
        : m_Memory(nGrowSize, nInitSize), m_Size(0)
    {
    }
    // Works in caller-owned storage that can never grow.
    CUtlVector(T* pMemory, int nAllocationCount, int nNumElements = 0)
        : m_Memory(pMemory, nAllocationCount), m_Size(nNumElements)
    {
    }
    CUtlVector(const CUtlVector& other)
        : m_Memory(other.m_Memory.GrowSize() > 0 ? other.m_Memory.GrowSize() : 0), m_Size(0)
    {
        CopyArray(other.Base(), other.Count());
    }
    CUtlVector(CUtlVector&& other) noexcept
        : m_Memory(std::move(other.m_Memory)), m_Size(other.m_Size)
    {
        other.m_Size = 0;
    }
    CUtlVector& operator=(const CUtlVector& other)
    {
        if (this != &other) CopyArray(other.Base(), other.Count());
        return *this;
    }
    CUtlVector& operator=(CUtlVector&& other) noexcept
    {
        if (this != &other)
        {
            Purge();
            m_Memory = std::move(other.m_Memory);
            m_Size = other.m_Size;
            other.m_Size = 0;
        }
        return *this;
    }
    ~CUtlVector() { Purge(); }

    // Element access.
    T& operator[](int i)
    {
        QAssertAt(IsValidIndex(i), UTLVECTOR_SOURCE, __LINE__);
        return m_Memory.Base()[i];
    }
    const T& operator[](int i) const
    {
        QAssertAt(IsValidIndex(i), UTLVECTOR_SOURCE, __LINE__);
        return m_Memory.Base()[i];
    }
    T& Element(int i) { return (*this)[i]; }
    const T& Element(int i) const { return (*this)[i]; }
    T& Head() { return (*this)[0]; }
    const T& Head() const { return (*this)[0]; }
    T& Tail() { return (*this)[m_Size - 1]; }
    const T& Tail() const { return (*this)[m_Size - 1]; }
    T* Base() { return m_Memory.Base(); }
    const T* Base() const { return m_Memory.Base(); }
    iterator begin() { return Base(); }
    iterator end() { return Base() + m_Size; }
    const_iterator begin() const { return Base(); }
    const_iterator end() const { return Base() + m_Size; }

    int Count() const { return m_Size; }
    int Size() const { return m_Size; }
    bool IsEmpty() const { return m_Size == 0; }
    int NumAllocated() const { return m_Memory.NumAllocated(); }
    bool IsValidIndex(int i) const { return i >= 0 && i < m_Size; }
    static int InvalidIndex() { return -1; }

    // Adding. Each returns the new element's index, or -1 when nothing was added.
    int AddToHead() { return InsertBefore(0); }
    int AddToTail() { return InsertBefore(m_Size); }
    int AddToHead(const T& src) { return InsertBefore(0, src); }
    int AddToTail(const T& src) { return InsertBefore(m_Size, src); }
    int AddToTail(T&& src) { return InsertBefore(m_Size, std::move(src)); }
    int InsertAfter(int elem) { return InsertBefore(elem + 1); }
    int InsertAfter(int elem, const T& src) { return InsertBefore(elem + 1, src); }
    int InsertBefore(int elem);
    int InsertBefore(int elem, const T& src);
    int InsertBefore(int elem, T&& src);
    // Adds `num` default-constructed elements; returns the index of the first.
    int AddMultipleToTail(int num);
    int AddMultipleToTail(int num, const T* pToCopy);
    int InsertMultipleBefore(int elem, int num);
    void AddVectorToTail(const CUtlVector& src);
    // Replaces the contents with a copy of `pArray`.
    void CopyArray(const T* pArray, int size);
    // Grows or shrinks to exactly `count` elements.
    void SetCount(int count);
    void SetSize(int count) { SetCount(count); }
    // Grows to at least `count` elements.
    void EnsureCount(int count);
    void EnsureCapacity(int num);

    // Searching.
    int Find(const T& src) const;
    bool HasElement(const T& src) const { return Find(src) >= 0; }

    // Removing; order is kept except by FastRemove.
    void Remove(int elem) { RemoveMultiple(elem, 1); }
    void RemoveMultiple(int elem, int num);
    void FastRemove(int elem);
    bool FindAndRemove(const T& src);
    void RemoveAll();
    void Purge();
    // For vectors of owned pointers made with new.
    void PurgeAndDeleteElements();

    void Swap(CUtlVector& other)
    {
        m_Memory.Swap(other.m_Memory);
        std::swap(m_Size, other.m_Size);
    }

    // Sorts with a qsort-style comparison.
    void Sort(int (*pfnCompare)(const T*, const T*));

private:
    static void RelocateElements(void* pNew, void* pOld, void* pContext);
    // Makes room for `num` more elements; false when the storage cannot grow.
    bool GrowVector(int num = 1);
    // Opens a gap of `num` unconstructed slots at `elem`.
    void ShiftElementsRight(int elem, int num);
    // Closes the gap of `num` already destroyed slots at `elem`.
    void ShiftElementsLeft(int elem, int num);
    bool CheckInsertIndex(int elem) const
    {
        if (elem == m_Size || IsValidIndex(elem)) return true;
        AssertFailed(UTLVECTOR_SOURCE, __LINE__, "(elem == Count()) || IsValidIndex(elem)");
        return false;
    }
    bool IsInside(const T& src) const { return !((&src < Base()) || (&src >= (Base() + Count()))); }

    CUtlMemory<T> m_Memory;
    int m_Size;
};

template <class T> struct CUtlIsRelocatable<CUtlVector<T>> : std::true_type
{
};

template <class T> void CUtlVector<T>::RelocateElements(void* pNew, void* pOld, void* pContext)
{
    CUtlVector* pThis = static_cast<CUtlVector*>(pContext);
    T* pDst = static_cast<T*>(pNew);
    T* pSrc = static_cast<T*>(pOld);
    for (int i = 0; i < pThis->m_Size; ++i)
    {
        new (&pDst[i]) T(std::move(pSrc[i]));
        pSrc[i].~T();
    }
}

template <class T> bool CUtlVector<T>::GrowVector(int num)
{
    int nMissing = m_Size + num - m_Memory.NumAllocated();
    if (nMissing > 0)
    {
        if constexpr (CUtlIsRelocatable<T>::value)
            m_Memory.Grow(nMissing);
        else
            m_Memory.Grow(nMissing, &RelocateElements, this);
    }
    return m_Size + num <= m_Memory.NumAllocated() && m_Size + num >= m_Size;
}

template <class T> void CUtlVector<T>::ShiftElementsRight(int elem, int num)
{
    int nToMove = m_Size - elem;
    if (nToMove <= 0 || num <= 0) return;
    T* pBase = Base();
    if constexpr (CUtlIsRelocatable<T>::value)
    {
        memmove(static_cast<void*>(pBase + elem + num), static_cast<const void*>(pBase + elem),
                (size_t)nToMove * sizeof(T));
    }
    else
    {
        // Back to front, so every slot written is either fresh or already moved out.
        for (int i = m_Size - 1; i >= elem; --i)
        {
            new (&pBase[i + num]) T(std::move(pBase[i]));
            pBase[i].~T();
        }
    }
}

template <class T> void CUtlVector<T>::ShiftElementsLeft(int elem, int num)
{
    int nToMove = m_Size - elem - num;
    if (nToMove <= 0 || num <= 0) return;
    T* pBase = Base();
    if constexpr (CUtlIsRelocatable<T>::value)
    {
        memmove(static_cast<void*>(pBase + elem), static_cast<const void*>(pBase + elem + num),
                (size_t)nToMove * sizeof(T));
    }
    else
    {
        for (int i = elem; i < elem + nToMove; ++i)
        {
            new (&pBase[i]) T(std::move(pBase[i + num]));
            pBase[i + num].~T();
        }
    }
}

template <class T> int CUtlVector<T>::InsertBefore(int elem)
{
    if (!CheckInsertIndex(elem) || !GrowVector()) return -1;
    ShiftElementsRight(elem, 1);
    new (&Base()[elem]) T();
    ++m_Size;
    return elem;
}

template <class T> int CUtlVector<T>::InsertBefore(int elem, const T& src)
{
    if (IsInside(src))
    {
        AssertFailed(UTLVECTOR_SOURCE, __LINE__,
                     "(&src < Base()) || (&src >= (Base() + Count()) )");
        // Growing may move the storage under src: insert a copy instead.
        T copy(src);
        return InsertBefore(elem, std::move(copy));
    }
    if (!CheckInsertIndex(elem) || !GrowVector()) return -1;
    ShiftElementsRight(elem, 1);
    new (&Base()[elem]) T(src);
    ++m_Size;
    return elem;
}

template <class T> int CUtlVector<T>::InsertBefore(int elem, T&& src)
{
    if (IsInside(src))
    {
        AssertFailed(UTLVECTOR_SOURCE, __LINE__,
                     "(&src < Base()) || (&src >= (Base() + Count()) )");
        T copy(std::move(src));
        return InsertBefore(elem, std::move(copy));
    }
    if (!CheckInsertIndex(elem) || !GrowVector()) return -1;
    ShiftElementsRight(elem, 1);
    new (&Base()[elem]) T(std::move(src));
    ++m_Size;
    return elem;
}

template <class T> int CUtlVector<T>::InsertMultipleBefore(int elem, int num)
{
    if (num <= 0) return elem;
    if (!CheckInsertIndex(elem) || !GrowVector(num)) return -1;
    ShiftElementsRight(elem, num);
    for (int i = 0; i < num; ++i)
        new (&Base()[elem + i]) T();
    m_Size += num;
    return elem;
}

template <class T> int CUtlVector<T>::AddMultipleToTail(int num)
{
    return InsertMultipleBefore(m_Size, num);
}

template <class T> int CUtlVector<T>::AddMultipleToTail(int num, const T* pToCopy)
{
    if (num <= 0) return m_Size;
    if (pToCopy && pToCopy + num > Base() && pToCopy < Base() + m_Size)
    {
        AssertFailed(UTLVECTOR_SOURCE, __LINE__,
                     "!pToCopy || (pToCopy + num <= Base()) || (pToCopy >= (Base() + Count()))");
        return -1;
    }
    int elem = m_Size;
    if (!GrowVector(num)) return -1;
    for (int i = 0; i < num; ++i)
    {
        if (pToCopy)
            new (&Base()[elem + i]) T(pToCopy[i]);
        else
            new (&Base()[elem + i]) T();
    }
    m_Size += num;
    return elem;
}

template <class T> void CUtlVector<T>::AddVectorToTail(const CUtlVector& src)
{
    if (&src == this)
    {
        CUtlVector copy(src);
        AddMultipleToTail(copy.Count(), copy.Base());
        return;
    }
    AddMultipleToTail(src.Count(), src.Base());
}

template <class T> void CUtlVector<T>::CopyArray(const T* pArray, int size)
{
    if (pArray == Base() && size == m_Size) return;
    if (pArray && size > 0 && pArray + size > Base() && pArray < Base() + m_Size)
    {
        // A part of ourselves: copy out first, the storage is about to change.
        CUtlVector copy;
        copy.AddMultipleToTail(size, pArray);
        Swap(copy);
        return;
    }
    RemoveAll();
    AddMultipleToTail(size, pArray);
}

template <class T> void CUtlVector<T>::SetCount(int count)
{
    if (count < 0) count = 0;
    if (count < m_Size)
        RemoveMultiple(count, m_Size - count);
    else if (count > m_Size)
        AddMultipleToTail(count - m_Size);
}

template <class T> void CUtlVector<T>::EnsureCount(int count)
{
    if (count > m_Size) AddMultipleToTail(count - m_Size);
}

template <class T> void CUtlVector<T>::EnsureCapacity(int num)
{
    if constexpr (CUtlIsRelocatable<T>::value)
        m_Memory.EnsureCapacity(num);
    else
        m_Memory.EnsureCapacity(num, &RelocateElements, this);
}

template <class T> int CUtlVector<T>::Find(const T& src) const
{
    for (int i = 0; i < m_Size; ++i)
    {
        if (Base()[i] == src) return i;
    }
    return -1;
}

template <class T> void CUtlVector<T>::RemoveMultiple(int elem, int num)
{
    if (num == 0) return;
    if (elem < 0 || num < 0 || elem + num > m_Size || elem + num < elem)
    {
        AssertFailed(UTLVECTOR_SOURCE, __LINE__,
                     "IsValidIndex(elem) || ( m_Size == 0 ) || ( num == 0 )");
        return;
    }
    for (int i = elem; i < elem + num; ++i)
        Base()[i].~T();
    ShiftElementsLeft(elem, num);
    m_Size -= num;
}

template <class T> void CUtlVector<T>::FastRemove(int elem)
{
    if (!IsValidIndex(elem))
    {
        AssertFailed(UTLVECTOR_SOURCE, __LINE__,
                     "IsValidIndex(elem) || ( m_Size == 0 ) || ( num == 0 )");
        return;
    }
    T* pBase = Base();
    pBase[elem].~T();
    if (elem != m_Size - 1)
    {
        if constexpr (CUtlIsRelocatable<T>::value)
        {
            memcpy(static_cast<void*>(&pBase[elem]), static_cast<const void*>(&pBase[m_Size - 1]),
                   sizeof(T));
        }
        else
        {
            new (&pBase[elem]) T(std::move(pBase[m_Size - 1]));
            pBase[m_Size - 1].~T();
        }
    }
    --m_Size;
}

template <class T> bool CUtlVector<T>::FindAndRemove(const T& src)
{
    int elem = Find(src);
    if (elem < 0) return false;
    Remove(elem);
    return true;
}

template <class T> void CUtlVector<T>::RemoveAll()
{
    for (int i = m_Size - 1; i >= 0; --i)
        Base()[i].~T();
    m_Size = 0;
}

template <class T> void CUtlVector<T>::Purge()
{
    RemoveAll();
    m_Memory.Purge();
}

template <class T> void CUtlVector<T>::PurgeAndDeleteElements()
{
    for (int i = 0; i < m_Size; ++i)
        delete Base()[i];
    Purge();
}

template <class T> void CUtlVector<T>::Sort(int (*pfnCompare)(const T*, const T*))
{
    if (m_Size < 2) return;
    std::sort(begin(), end(),
              [pfnCompare](const T& a, const T& b) { return pfnCompare(&a, &b) < 0; });
}
