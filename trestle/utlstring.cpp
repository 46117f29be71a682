// Owned strings and the text builder.
#include "trestle/utlstring.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"

#include <cstdio>
#include <cstring>

#define UTLSTRING_SOURCE "..\\trestle\\utlstring"

// Reports an owned-string length past k_cchMaxString; the caller goes on.
static void CheckOwnedLength(size_t cchWithTerminator)
{
    if (cchWithTerminator > (size_t)k_cchMaxString)
        ReportAssertion("Assertion failed: length > k_cchMaxString", false, UTLSTRING_SOURCE,
                        __LINE__, false);
}

static char* AllocText(size_t cch)
{
    CheckOwnedLength(cch + 1);
    return static_cast<char*>(MemAlloc_AllocTagged(cch + 1, UTLSTRING_SOURCE, __LINE__));
}

// Length of the formatted text; negative when the format cannot be rendered.
static int MeasureFormat(const char* pchFormat, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int len = vsnprintf(nullptr, 0, pchFormat, measure);
    va_end(measure);
    return len;
}

CUtlOwnedString::CUtlOwnedString(const char* pchString) : m_pchString(nullptr)
{
    Set(pchString);
}

CUtlOwnedString::CUtlOwnedString(const char* pchString, int cch) : m_pchString(nullptr)
{
    SetDirect(pchString, cch);
}

CUtlOwnedString::CUtlOwnedString(const CUtlOwnedString& other) : m_pchString(nullptr)
{
    Set(other.m_pchString);
}

CUtlOwnedString::~CUtlOwnedString()
{
    Replace(nullptr);
}

CUtlOwnedString& CUtlOwnedString::operator=(const CUtlOwnedString& other)
{
    Set(other.m_pchString);
    return *this;
}

CUtlOwnedString& CUtlOwnedString::operator=(CUtlOwnedString&& other) noexcept
{
    if (this != &other)
    {
        Replace(other.m_pchString);
        other.m_pchString = nullptr;
    }
    return *this;
}

void CUtlOwnedString::Replace(char* pchNew)
{
    if (m_pchString) MemAlloc_FreeTagged(m_pchString, UTLSTRING_SOURCE, __LINE__);
    m_pchString = pchNew;
}

int CUtlOwnedString::Length() const
{
    return m_pchString ? (int)strlen(m_pchString) : 0;
}

void CUtlOwnedString::Set(const char* pchString)
{
    if (pchString == m_pchString) return;
    if (!pchString || !pchString[0])
    {
        Replace(nullptr);
        return;
    }
    // Copy before freeing: the source may be a part of the current text.
    size_t cch = strlen(pchString);
    char* pchNew = AllocText(cch);
    if (!pchNew) return;
    memcpy(pchNew, pchString, cch + 1);
    Replace(pchNew);
}

void CUtlOwnedString::SetDirect(const char* pchString, int cch)
{
    if (!pchString || cch <= 0)
    {
        QAssertAt(cch >= 0, UTLSTRING_SOURCE, __LINE__);
        Replace(nullptr);
        return;
    }
    char* pchNew = AllocText((size_t)cch);
    if (!pchNew) return;
    memcpy(pchNew, pchString, (size_t)cch);
    pchNew[cch] = '\0';
    Replace(pchNew);
}

void CUtlOwnedString::Append(const char* pchAddition, int cch)
{
    if (!m_pchString)
    {
        SetDirect(pchAddition, cch);
        return;
    }
    if (!pchAddition || cch <= 0) return;
    size_t cchOld = strlen(m_pchString);
    char* pchNew = AllocText(cchOld + (size_t)cch);
    if (!pchNew) return;
    memcpy(pchNew, m_pchString, cchOld);
    memcpy(pchNew + cchOld, pchAddition, (size_t)cch);
    pchNew[cchOld + cch] = '\0';
    Replace(pchNew);
}

void CUtlOwnedString::Append(const char* pchAddition)
{
    if (!pchAddition) return;
    size_t cch = strlen(pchAddition);
    Append(pchAddition, cch > (size_t)INT32_MAX ? INT32_MAX : (int)cch);
}

int CUtlOwnedString::Format(const char* pchFormat, ...)
{
    va_list args;
    va_start(args, pchFormat);
    int len = FormatV(pchFormat, args);
    va_end(args);
    return len;
}

int CUtlOwnedString::FormatV(const char* pchFormat, va_list args)
{
    int mlen = MeasureFormat(pchFormat, args);
    if (!QAssertAt(mlen >= 0, UTLSTRING_SOURCE, __LINE__))
    {
        Replace(nullptr);
        return -1;
    }
    char* pchNew = AllocText((size_t)mlen);
    if (!pchNew) return -1;
    va_list format;
    va_copy(format, args);
    int len = vsnprintf(pchNew, (size_t)mlen + 1, pchFormat, format);
    va_end(format);
    QAssertAt(len <= mlen, UTLSTRING_SOURCE, __LINE__);
    pchNew[mlen] = '\0';
    Replace(pchNew);
    return len;
}

int CUtlOwnedString::AppendFormat(const char* pchFormat, ...)
{
    va_list args;
    va_start(args, pchFormat);
    int len = AppendFormatV(pchFormat, args);
    va_end(args);
    return len;
}

int CUtlOwnedString::AppendFormatV(const char* pchFormat, va_list args)
{
    int mlen = MeasureFormat(pchFormat, args);
    if (mlen < 0)
    {
        AssertFailed(UTLSTRING_SOURCE, __LINE__, "len > 0");
        return -1;
    }
    char* pchTemp =
        static_cast<char*>(MemAlloc_AllocTagged((size_t)mlen + 1, UTLSTRING_SOURCE, __LINE__));
    if (!pchTemp) return -1;
    va_list format;
    va_copy(format, args);
    int len = vsnprintf(pchTemp, (size_t)mlen + 1, pchFormat, format);
    va_end(format);
    QAssertAt(len > 0, UTLSTRING_SOURCE, __LINE__);
    QAssertAt(len <= mlen, UTLSTRING_SOURCE, __LINE__);
    if (len > 0) Append(pchTemp, len <= mlen ? len : mlen);
    MemAlloc_FreeTagged(pchTemp, UTLSTRING_SOURCE, __LINE__);
    return len;
}

void CUtlOwnedString::Clear()
{
    Replace(nullptr);
}

void CUtlOwnedString::Swap(CUtlOwnedString& other)
{
    char* pch = m_pchString;
    m_pchString = other.m_pchString;
    other.m_pchString = pch;
}

bool CUtlOwnedString::operator==(const CUtlOwnedString& other) const
{
    return strcmp(Get(), other.Get()) == 0;
}

bool CUtlOwnedString::operator==(const char* pchString) const
{
    return strcmp(Get(), pchString ? pchString : "") == 0;
}

bool CUtlOwnedString::operator<(const CUtlOwnedString& other) const
{
    return strcmp(Get(), other.Get()) < 0;
}

// ---------------------------------------------------------------------------
// CUtlTextBuilder

CUtlTextBuilder::CUtlTextBuilder()
{
    memset(m_rgubRaw, 0, sizeof(m_rgubRaw));
    SetFlagByte(k_cchInline);
}

CUtlTextBuilder::CUtlTextBuilder(const char* pchString) : CUtlTextBuilder()
{
    Set(pchString);
}

CUtlTextBuilder::CUtlTextBuilder(const CUtlTextBuilder& other) : CUtlTextBuilder()
{
    *this = other;
}

CUtlTextBuilder::~CUtlTextBuilder()
{
    FreeHeap();
}

CUtlTextBuilder& CUtlTextBuilder::operator=(const CUtlTextBuilder& other)
{
    if (this == &other) return *this;
    if (other.IsError())
        SetError();
    else
        SetDirect(other.String(), other.Length());
    return *this;
}

CUtlTextBuilder::Heap_t CUtlTextBuilder::ReadHeap() const
{
    Heap_t heap;
    memcpy(&heap, m_rgubRaw, sizeof(heap));
    return heap;
}

void CUtlTextBuilder::WriteHeap(const Heap_t& heap)
{
    memcpy(m_rgubRaw, &heap, sizeof(heap));
}

void CUtlTextBuilder::FreeHeap()
{
    if (!IsHeap()) return;
    Heap_t heap = ReadHeap();
    if (heap.m_pchString) MemAlloc_FreeTagged(heap.m_pchString, UTLSTRING_SOURCE, __LINE__);
    heap.m_pchString = nullptr;
    WriteHeap(heap);
}

void CUtlTextBuilder::EnterErrorState()
{
    FreeHeap();
    memset(m_rgubRaw, 0, sizeof(m_rgubRaw));
    SetFlagByte(k_bHeapFlag | k_bErrorFlag);
}

void CUtlTextBuilder::SetError()
{
    EnterErrorState();
}

void CUtlTextBuilder::Clear()
{
    FreeHeap();
    memset(m_rgubRaw, 0, sizeof(m_rgubRaw));
    SetFlagByte(k_cchInline);
}

const char* CUtlTextBuilder::String() const
{
    if (IsError()) return "";
    if (IsHeap())
    {
        Heap_t heap = ReadHeap();
        return heap.m_pchString ? heap.m_pchString : "";
    }
    return InlineText();
}

int CUtlTextBuilder::Length() const
{
    if (IsError()) return 0;
    if (IsHeap()) return ReadHeap().m_nLength;
    return k_cchInline - FlagByte();
}

int CUtlTextBuilder::Capacity() const
{
    if (IsError()) return 0;
    if (IsHeap()) return ReadHeap().m_nCapacity;
    return k_cchInline;
}

char* CUtlTextBuilder::PrepareBuffer(int nChars, bool bCopyOld, int nMinCapacity)
{
    return PrepareBuffer64(nChars, bCopyOld, nMinCapacity);
}

char* CUtlTextBuilder::PrepareBuffer64(int64_t nChars, bool bCopyOld, int64_t nMinCapacity)
{
    if (IsError()) return nullptr;
    if (!QAssertAt(nChars >= 0, UTLSTRING_SOURCE, __LINE__)) nChars = 0;
    if (nMinCapacity < nChars) nMinCapacity = nChars;

    // Enough room already: only the length and terminator move.
    if (IsInline() && nMinCapacity <= k_cchInline)
    {
        char* pchText = InlineText();
        pchText[nChars] = '\0';
        SetFlagByte((unsigned char)(k_cchInline - nChars));
        return pchText;
    }
    if (IsHeap() && nMinCapacity <= Capacity())
    {
        Heap_t heap = ReadHeap();
        heap.m_nLength = (int32_t)nChars;
        heap.m_pchString[nChars] = '\0';
        WriteHeap(heap);
        return heap.m_pchString;
    }

    QAssertAt(nMinCapacity > Capacity(), UTLSTRING_SOURCE, __LINE__);
    QAssertAt(nMinCapacity >= nChars, UTLSTRING_SOURCE, __LINE__);
    if (nMinCapacity > k_nMaxStringSize)
    {
        AssertFailed(UTLSTRING_SOURCE, __LINE__, "nMinCapacity <= k_nMaxStringSize");
        AssertFailed(UTLSTRING_SOURCE, __LINE__, "Error State on string being set.");
        EnterErrorState();
        return nullptr;
    }

    if (nMinCapacity < 16)
    {
        // Small enough for the inline form again.
        char rgchKeep[16] = {0};
        if (bCopyOld)
        {
            int64_t cchKeep = Length() < nChars ? Length() : nChars;
            memcpy(rgchKeep, String(), (size_t)cchKeep);
        }
        FreeHeap();
        memset(m_rgubRaw, 0, sizeof(m_rgubRaw));
        memcpy(InlineText(), rgchKeep, (size_t)nChars);
        InlineText()[nChars] = '\0';
        SetFlagByte((unsigned char)(k_cchInline - nChars));
        return InlineText();
    }

    int64_t nCapacity = nMinCapacity;
    if (nChars >= nMinCapacity)
        nCapacity = nChars > 1999935 ? nChars + 1000000 : nChars + nChars / 2 + 32;
    if (nCapacity > k_nMaxStringSize) nCapacity = k_nMaxStringSize;

    char* pchNew = static_cast<char*>(
        MemAlloc_AllocQuietTagged((size_t)nCapacity + 1, UTLSTRING_SOURCE, __LINE__));
    if (!pchNew)
    {
        AssertFailed(UTLSTRING_SOURCE, __LINE__, "Error State on string being set.");
        EnterErrorState();
        return nullptr;
    }
    if (bCopyOld)
    {
        int64_t cchKeep = Length() < nChars ? Length() : nChars;
        memcpy(pchNew, String(), (size_t)cchKeep);
    }
    FreeHeap();

    Heap_t heap;
    heap.m_pchString = pchNew;
    heap.m_nLength = (int32_t)nChars;
    heap.m_nCapacity = (int32_t)nCapacity;
    pchNew[nChars] = '\0';
    pchNew[nCapacity] = '\0';
    memset(m_rgubRaw, 0, sizeof(m_rgubRaw));
    WriteHeap(heap);
    SetFlagByte(k_bHeapFlag);
    return pchNew;
}

void CUtlTextBuilder::Set(const char* pchString)
{
    size_t cch = pchString ? strlen(pchString) : 0;
    SetDirect(pchString, cch > (size_t)INT32_MAX ? INT32_MAX : (int)cch);
}

void CUtlTextBuilder::SetDirect(const char* pchString, int cch)
{
    if (IsError()) return;
    if (!pchString || cch < 0) cch = 0;
    // The source may be our own text, which preparing the buffer can free.
    const char* pchOwn = String();
    if (cch > 0 && pchString >= pchOwn && pchString <= pchOwn + Capacity())
    {
        CUtlOwnedString copy(pchString, cch);
        SetDirect(copy.Get(), copy.Length());
        return;
    }
    char* pchDest = PrepareBuffer(cch, false, 0);
    if (pchDest && cch > 0) memcpy(pchDest, pchString, (size_t)cch);
}

void CUtlTextBuilder::Append(const char* pchAddition)
{
    size_t cch = pchAddition ? strlen(pchAddition) : 0;
    Append(pchAddition, cch > (size_t)INT32_MAX ? INT32_MAX : (int)cch);
}

void CUtlTextBuilder::Append(const char* pchAddition, int cch)
{
    if (IsError() || !pchAddition || cch <= 0) return;
    const char* pchOwn = String();
    if (pchAddition >= pchOwn && pchAddition <= pchOwn + Capacity())
    {
        CUtlOwnedString copy(pchAddition, cch);
        Append(copy.Get(), copy.Length());
        return;
    }
    int64_t cchOld = Length();
    char* pchDest = PrepareBuffer64(cchOld + cch, true, 0);
    if (pchDest) memcpy(pchDest + cchOld, pchAddition, (size_t)cch);
}

int CUtlTextBuilder::AppendFormat(const char* pchFormat, ...)
{
    if (IsError()) return -1;
    va_list args;
    va_start(args, pchFormat);
    int len = MeasureFormat(pchFormat, args);
    if (len > 0)
    {
        int64_t cchOld = Length();
        char* pchDest = PrepareBuffer64(cchOld + len, true, 0);
        if (pchDest)
        {
            va_list format;
            va_copy(format, args);
            vsnprintf(pchDest + cchOld, (size_t)len + 1, pchFormat, format);
            va_end(format);
        }
    }
    va_end(args);
    return len;
}
