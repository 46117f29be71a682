// Growable untyped storage shared by every container of the library, and the
// one growth rule they all follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// New allocation count for storage that holds `nAllocationCount` elements of
// `nBytesItem` bytes and must hold `nNewSize`. A positive `nGrowSize` rounds
// up to a multiple of it; 0 doubles from a first block of at least 32 bytes,
// then steps linearly by 256 MiB worth of elements.
int UtlMemory_CalcNewAllocationCount(int nAllocationCount, int nGrowSize, int nNewSize,
                                     int nBytesItem);

// Whether a T may be moved to a new address with a plain byte copy (no self
// pointers). Containers then grow with a reallocation; other types are
// move-constructed into a fresh block. Specialise for own types as needed.
template <class T> struct CUtlIsRelocatable : std::is_trivially_copyable<T>
{
};

class CUtlMemoryBase
{
public:
    // Moves the live elements from `pOld` to the fresh block `pNew`; used for
    // element types that cannot be moved by a byte copy.
    typedef void (*RelocateFunc_t)(void* pNew, void* pOld, void* pContext);

    // Not usable until Init gives it an element size.
    CUtlMemoryBase() noexcept
        : m_unSizeOfElements(0), m_pMemory(nullptr), m_nAllocationCount(0), m_nGrowSize(0)
    {
    }
    explicit CUtlMemoryBase(int nSizeOfElement, int nGrowSize = 0, int nInitAllocationCount = 0);
    // Storage that belongs to the caller: it is used as is and never grows or
    // gets freed (until converted to growable memory).
    CUtlMemoryBase(void* pMemory, int nSizeOfElement, int nNumElements);
    ~CUtlMemoryBase();

    CUtlMemoryBase(const CUtlMemoryBase&) = delete;
    CUtlMemoryBase& operator=(const CUtlMemoryBase&) = delete;
    CUtlMemoryBase(CUtlMemoryBase&& other) noexcept;
    CUtlMemoryBase& operator=(CUtlMemoryBase&& other) noexcept;

    void Init(int nSizeOfElement, int nGrowSize = 0, int nInitAllocationCount = 0);
    void SetExternalBuffer(void* pMemory, int nNumElements);

    void* Base() { return m_pMemory; }
    const void* Base() const { return m_pMemory; }
    int NumAllocated() const { return m_nAllocationCount; }
    int Count() const { return m_nAllocationCount; }
    int GrowSize() const { return m_nGrowSize; }
    unsigned SizeOfElement() const { return m_unSizeOfElements; }
    bool IsExternallyAllocated() const { return m_nGrowSize < 0; }

    // Grows so that at least `num` more elements fit, by the growth rule.
    void Grow(int num = 1, RelocateFunc_t pfnRelocate = nullptr, void* pContext = nullptr);
    // Makes exactly `num` elements fit when fewer do now.
    void EnsureCapacity(int num, RelocateFunc_t pfnRelocate = nullptr, void* pContext = nullptr);
    void ConvertToGrowableMemory(int nGrowSize, RelocateFunc_t pfnRelocate = nullptr,
                                 void* pContext = nullptr);
    void SetGrowSize(int nGrowSize);
    // Frees own memory; caller-owned memory is left alone.
    void Purge();
    void Swap(CUtlMemoryBase& other);

    unsigned m_unSizeOfElements;

protected:
    // Beyond what an int holds fails like an exhausted heap.
    void ReallocTo(int64_t nNewAllocationCount, RelocateFunc_t pfnRelocate, void* pContext);

    void* m_pMemory;
    int m_nAllocationCount;
    int m_nGrowSize;
};

// Typed view: fixes the element size. Elements are not constructed here; the
// containers above do that.
template <class T> class CUtlMemory : public CUtlMemoryBase
{
public:
    explicit CUtlMemory(int nGrowSize = 0, int nInitAllocationCount = 0)
        : CUtlMemoryBase((int)sizeof(T), nGrowSize, nInitAllocationCount)
    {
    }
    CUtlMemory(T* pMemory, int nNumElements) : CUtlMemoryBase(pMemory, (int)sizeof(T), nNumElements)
    {
    }

    T* Base() { return static_cast<T*>(m_pMemory); }
    const T* Base() const { return static_cast<const T*>(m_pMemory); }
    T& operator[](int i) { return Base()[i]; }
    const T& operator[](int i) const { return Base()[i]; }
    bool IsIdxValid(int i) const { return i >= 0 && i < m_nAllocationCount; }
};

template <class T> struct CUtlIsRelocatable<CUtlMemory<T>> : std::true_type
{
};
