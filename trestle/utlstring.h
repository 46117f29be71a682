// Owned strings: CUtlOwnedString (one pointer to a heap copy) and
// CUtlTextBuilder (short texts inline, longer ones on the heap, with a sticky
// error state).
#pragma once

#include "trestle/utlmemory.h"

#include <cstdarg>
#include <cstdint>

// Longest text, terminator included, that an owned string is meant to hold.
const int k_cchMaxString = 0x7FFF0000;
// Largest capacity of a text builder.
const int64_t k_nMaxStringSize = 0x7FFFFFFF;

#if defined(__GNUC__)
#define UTLSTRING_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define UTLSTRING_FORMAT(fmt, args)
#endif

class CUtlOwnedString
{
public:
    CUtlOwnedString() : m_pchString(nullptr) {}
    CUtlOwnedString(const char* pchString);
    CUtlOwnedString(const char* pchString, int cch);
    CUtlOwnedString(const CUtlOwnedString& other);
    CUtlOwnedString(CUtlOwnedString&& other) noexcept : m_pchString(other.m_pchString)
    {
        other.m_pchString = nullptr;
    }
    ~CUtlOwnedString();

    CUtlOwnedString& operator=(const CUtlOwnedString& other);
    CUtlOwnedString& operator=(CUtlOwnedString&& other) noexcept;
    CUtlOwnedString& operator=(const char* pchString)
    {
        Set(pchString);
        return *this;
    }

    // Never null: the empty string when nothing is held.
    const char* Get() const { return m_pchString ? m_pchString : ""; }
    const char* String() const { return Get(); }
    operator const char*() const { return Get(); }
    // Null when empty.
    const char* Access() const { return m_pchString; }
    int Length() const;
    bool IsEmpty() const { return !m_pchString || !m_pchString[0]; }

    void Set(const char* pchString);
    // Copies `cch` bytes and terminates them.
    void SetDirect(const char* pchString, int cch);
    void Append(const char* pchAddition, int cch);
    void Append(const char* pchAddition);
    int Format(const char* pchFormat, ...) UTLSTRING_FORMAT(2, 3);
    int FormatV(const char* pchFormat, va_list args);
    int AppendFormat(const char* pchFormat, ...) UTLSTRING_FORMAT(2, 3);
    int AppendFormatV(const char* pchFormat, va_list args);
    void Clear();
    void Purge() { Clear(); }
    void Swap(CUtlOwnedString& other);

    bool operator==(const CUtlOwnedString& other) const;
    bool operator==(const char* pchString) const;
    bool operator!=(const CUtlOwnedString& other) const { return !(*this == other); }
    bool operator!=(const char* pchString) const { return !(*this == pchString); }
    bool operator<(const CUtlOwnedString& other) const;

private:
    // Takes over `pchNew` (may be null) and frees the old copy.
    void Replace(char* pchNew);

    char* m_pchString;
};

template <> struct CUtlIsRelocatable<CUtlOwnedString> : std::true_type
{
};

class CUtlTextBuilder
{
public:
    CUtlTextBuilder();
    CUtlTextBuilder(const char* pchString);
    CUtlTextBuilder(const CUtlTextBuilder& other);
    ~CUtlTextBuilder();
    CUtlTextBuilder& operator=(const CUtlTextBuilder& other);

    // Never null; "" in the error state.
    const char* String() const;
    const char* Get() const { return String(); }
    int Length() const;
    // Characters that fit without growing, terminator excluded.
    int Capacity() const;
    bool IsEmpty() const { return Length() == 0; }
    bool IsInline() const { return (FlagByte() & k_bHeapFlag) == 0; }
    bool IsHeap() const { return (FlagByte() & k_bHeapFlag) != 0; }
    bool IsError() const { return (FlagByte() & k_bErrorFlag) != 0; }

    // Makes room for `nChars` characters (length becomes nChars, text
    // terminated there) with at least `nMinCapacity`; `bCopyOld` keeps the
    // current text. Returns the writable text, or null in the error state.
    char* PrepareBuffer(int nChars, bool bCopyOld = true, int nMinCapacity = 0);
    // Same, with a capacity that may lie beyond what an int holds.
    char* PrepareBuffer64(int64_t nChars, bool bCopyOld, int64_t nMinCapacity);

    void Set(const char* pchString);
    void SetDirect(const char* pchString, int cch);
    void Append(const char* pchAddition);
    void Append(const char* pchAddition, int cch);
    int AppendFormat(const char* pchFormat, ...) UTLSTRING_FORMAT(2, 3);
    // Back to an empty inline text; also leaves the error state.
    void Clear();
    void Purge() { Clear(); }
    void SetError();

    // The raw representation, for callers that need to inspect the layout.
    const unsigned char* Raw() const { return m_rgubRaw; }
    static int RawSize() { return (int)k_cubRaw; }

    static const unsigned char k_bHeapFlag = 0x80;
    static const unsigned char k_bErrorFlag = 0x40;
    static const int k_cchInline = 15;

private:
    struct Heap_t
    {
        char* m_pchString;
        int32_t m_nLength;
        int32_t m_nCapacity;
    };
    // 16 bytes on 32-bit targets. With 8-byte pointers the heap record does
    // not leave byte 15 free, so the object grows to 24 bytes; the inline text
    // and flag byte then occupy its last 16 bytes.
    static const size_t k_cubRaw = sizeof(Heap_t) + 1 <= 16 ? 16 : 24;
    static const size_t k_ibInline = k_cubRaw - 16;

    unsigned char FlagByte() const { return m_rgubRaw[k_cubRaw - 1]; }
    void SetFlagByte(unsigned char b) { m_rgubRaw[k_cubRaw - 1] = b; }
    char* InlineText() { return reinterpret_cast<char*>(m_rgubRaw + k_ibInline); }
    const char* InlineText() const { return reinterpret_cast<const char*>(m_rgubRaw + k_ibInline); }
    Heap_t ReadHeap() const;
    void WriteHeap(const Heap_t& heap);
    void FreeHeap();
    void EnterErrorState();

    alignas(void*) unsigned char m_rgubRaw[k_cubRaw];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(CUtlTextBuilder) == 16, "text builder layout");
#endif

template <> struct CUtlIsRelocatable<CUtlTextBuilder> : std::true_type
{
};
