// Byte and text buffer, and the character conversions for delimited strings.
#include "trestle/utlbuffer.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plinth/dbg.h"
#include "trestle/strtools.h"

#define UTLBUFFER_SOURCE "utlbuffer"

// Largest window a number conversion of Scan looks at.
static const int k_cchScanWindow = 128;

static bool IsSpaceByte(char c)
{
    return isspace(static_cast<unsigned char>(c)) != 0;
}

// ---------------------------------------------------------------------------
// Character conversions
// ---------------------------------------------------------------------------

CUtlCharConversion::CUtlCharConversion(char nEscapeChar, const char* pDelimiter, int nCount,
                                       ConversionArray_t* pArray)
{
    m_nEscapeChar = nEscapeChar;
    m_pDelimiter = pDelimiter ? pDelimiter : "";
    m_nDelimiterLength = static_cast<int>(strlen(m_pDelimiter));
    m_nCount = 0;
    m_nMaxConversionLength = 0;
    memset(m_pList, 0, sizeof(m_pList));
    memset(m_pReplacements, 0, sizeof(m_pReplacements));

    if (nCount > 256) nCount = 256;
    for (int i = 0; i < nCount; ++i)
    {
        const unsigned char ch = static_cast<unsigned char>(pArray[i].m_nActualChar);
        ConversionInfo_t& info = m_pReplacements[ch];
        if (!QAssertAt(info.m_pReplacementString == 0, UTLBUFFER_SOURCE, __LINE__))
            continue; // the first entry for a character stays
        const char* pReplacement = pArray[i].m_pReplacementString;
        if (!pReplacement) pReplacement = "";
        m_pList[m_nCount++] = static_cast<char>(ch);
        info.m_pReplacementString = pReplacement;
        info.m_nLength = static_cast<int>(strlen(pReplacement));
        if (info.m_nLength > m_nMaxConversionLength) m_nMaxConversionLength = info.m_nLength;
    }
}

char CUtlCharConversion::FindConversion(const char* pString, int* pLength)
{
    // Slow path for conversions without a reverse table: match every entry.
    for (int i = 0; i < m_nCount; ++i)
    {
        const ConversionInfo_t& info = m_pReplacements[static_cast<unsigned char>(m_pList[i])];
        if (info.m_nLength > 0 &&
            V_CompareCount(pString, info.m_pReplacementString, info.m_nLength) == 0)
        {
            *pLength = info.m_nLength;
            return m_pList[i];
        }
    }
    *pLength = 0;
    return 0;
}

const char* CUtlCharConversion::GetConversionString(char c) const
{
    return m_pReplacements[static_cast<unsigned char>(c)].m_pReplacementString;
}

int CUtlCharConversion::GetConversionLength(char c) const
{
    return m_pReplacements[static_cast<unsigned char>(c)].m_nLength;
}

namespace
{

// C escapes: every replacement is one character, so a reverse table from the
// byte after the backslash to the character decodes in one step.
class CUtlCStringConversion : public CUtlCharConversion
{
public:
    CUtlCStringConversion(char nEscapeChar, const char* pDelimiter, int nCount,
                          ConversionArray_t* pArray)
        : CUtlCharConversion(nEscapeChar, pDelimiter, nCount, pArray)
    {
        memset(m_pConversion, 0, sizeof(m_pConversion));
        for (int i = 0; i < nCount; ++i)
        {
            const char* pReplacement = pArray[i].m_pReplacementString;
            if (pReplacement && pReplacement[0])
                m_pConversion[static_cast<unsigned char>(pReplacement[0])] =
                    pArray[i].m_nActualChar;
        }
    }

    char FindConversion(const char* pString, int* pLength) override
    {
        const char c = m_pConversion[static_cast<unsigned char>(pString[0])];
        *pLength = (c != 0) ? 1 : 0;
        return c;
    }

private:
    char m_pConversion[256];
};

// No escapes at all: the escape byte (0x7F) decodes to nothing.
class CUtlNoEscConversion : public CUtlCharConversion
{
public:
    CUtlNoEscConversion(char nEscapeChar, const char* pDelimiter, int nCount,
                        ConversionArray_t* pArray)
        : CUtlCharConversion(nEscapeChar, pDelimiter, nCount, pArray)
    {
    }

    char FindConversion(const char*, int* pLength) override
    {
        *pLength = 0;
        return 0;
    }
};

CUtlCharConversion::ConversionArray_t s_pCStringConversionArray[] = {
    {'\n', "n"}, {'\t', "t"},  {'\v', "v"}, {'\b', "b"}, {'\r', "r"},  {'\f', "f"},
    {'\a', "a"}, {'\\', "\\"}, {'\?', "?"}, {'\'', "'"}, {'\"', "\""},
};

CUtlCharConversion::ConversionArray_t s_pNoEscConversionArray[] = {
    {'\x7F', ""},
};

} // namespace

CUtlCharConversion* GetCStringCharConversion()
{
    static CUtlCStringConversion s_StringCharConversion(
        '\\', "\"",
        static_cast<int>(sizeof(s_pCStringConversionArray) / sizeof(s_pCStringConversionArray[0])),
        s_pCStringConversionArray);
    return &s_StringCharConversion;
}

CUtlCharConversion* GetNoEscCharConversion()
{
    static CUtlNoEscConversion s_NoEscConversion(
        '\x7F', "\"",
        static_cast<int>(sizeof(s_pNoEscConversionArray) / sizeof(s_pNoEscConversionArray[0])),
        s_pNoEscConversionArray);
    return &s_NoEscConversion;
}

// ---------------------------------------------------------------------------
// Construction and memory
// ---------------------------------------------------------------------------

CUtlBuffer::CUtlBuffer(int nGrowSize, int nInitSize, int nFlags)
    : m_Memory(1, nGrowSize, nInitSize), m_Get(0), m_Put(0), m_nMaxPut(0), m_Error(0),
      m_Flags(static_cast<unsigned char>(nFlags)), m_GetOverflowFunc(&CUtlBuffer::GetOverflow),
      m_PutOverflowFunc(&CUtlBuffer::PutOverflow)
{
    if (nInitSize != 0 && !IsReadOnly())
    {
        m_nMaxPut = -1;
        AddNullTermination();
    }
}

CUtlBuffer::CUtlBuffer(const void* pBuffer, int nSize, int nFlags)
    : m_Memory(const_cast<void*>(pBuffer), 1, nSize < 0 ? 0 : nSize), m_Get(0), m_Put(0),
      m_nMaxPut(0), m_Error(0), m_Flags(static_cast<unsigned char>(nFlags)),
      m_GetOverflowFunc(&CUtlBuffer::GetOverflow), m_PutOverflowFunc(&CUtlBuffer::PutOverflow)
{
    // All of the caller's bytes are readable; further puts append.
    if (nSize > 0)
    {
        m_Put = nSize;
        m_nMaxPut = nSize;
    }
}

CUtlBuffer::~CUtlBuffer() {}

void CUtlBuffer::SetBufferType(bool bIsText, bool bContainsCRLF)
{
    if (bIsText)
        m_Flags |= TEXT_BUFFER;
    else
        m_Flags &= static_cast<unsigned char>(~TEXT_BUFFER);
    if (bContainsCRLF)
        m_Flags |= HAS_CRLF;
    else
        m_Flags &= static_cast<unsigned char>(~HAS_CRLF);
}

void CUtlBuffer::SetExternalBuffer(void* pMemory, int nSize, int nInitialPut, int nFlags)
{
    if (nSize < 0) nSize = 0;
    if (nInitialPut < 0) nInitialPut = 0;
    if (nInitialPut > nSize) nInitialPut = nSize;
    m_Memory.SetExternalBuffer(pMemory, nSize);
    m_Get = 0;
    m_Put = nInitialPut;
    m_nMaxPut = nInitialPut;
    m_Error = 0;
    m_Flags = static_cast<unsigned char>(nFlags);
}

bool CUtlBuffer::EnsureCapacity(int nNum)
{
    if (nNum <= m_Memory.NumAllocated()) return true;
    if (IsExternallyAllocated())
    {
        if (!(m_Flags & EXTERNAL_MAY_GROW) || IsReadOnly()) return false;
        m_Memory.ConvertToGrowableMemory(0);
    }
    m_Memory.EnsureCapacity(nNum);
    return m_Memory.NumAllocated() >= nNum;
}

void CUtlBuffer::Clear()
{
    m_Get = 0;
    m_Put = 0;
    m_nMaxPut = 0;
    m_Error = 0;
    if (IsText() && !IsReadOnly() && m_Memory.NumAllocated() > 0) Base()[0] = 0;
}

void CUtlBuffer::Purge()
{
    m_Get = 0;
    m_Put = 0;
    m_nMaxPut = 0;
    m_Error = 0;
    m_Memory.Purge();
}

void CUtlBuffer::SetOverflowFuncs(UtlBufferOverflowFunc_t getFunc, UtlBufferOverflowFunc_t putFunc)
{
    m_GetOverflowFunc = getFunc ? getFunc : &CUtlBuffer::GetOverflow;
    m_PutOverflowFunc = putFunc ? putFunc : &CUtlBuffer::PutOverflow;
}

bool CUtlBuffer::GetOverflow(int)
{
    return false;
}

bool CUtlBuffer::PutOverflow(int nSize)
{
    if (IsExternallyAllocated())
    {
        if (!(m_Flags & EXTERNAL_MAY_GROW)) return false;
        m_Memory.ConvertToGrowableMemory(0);
    }
    const int64_t cubNeeded = static_cast<int64_t>(m_Put) + nSize;
    if (cubNeeded > INT_MAX) return false;
    const int64_t nGrow = cubNeeded - m_Memory.NumAllocated();
    if (nGrow > 0) m_Memory.Grow(static_cast<int>(nGrow));
    return m_Memory.NumAllocated() >= cubNeeded;
}

// ---------------------------------------------------------------------------
// Checks
// ---------------------------------------------------------------------------

bool CUtlBuffer::CheckPut(int nSize)
{
    QAssertAt(nSize >= 0, UTLBUFFER_SOURCE, __LINE__);
    QAssertAt(m_Put >= 0, UTLBUFFER_SOURCE, __LINE__);
    if ((m_Error & PUT_OVERFLOW) || IsReadOnly() || nSize < 0 || m_Put < 0) return false;
    if (static_cast<int64_t>(m_Put) + nSize <= m_Memory.NumAllocated()) return true;
    if ((this->*m_PutOverflowFunc)(nSize)) return true;
    SetError(PUT_OVERFLOW);
    return false;
}

bool CUtlBuffer::CheckGet(int nSize)
{
    if (nSize < 0 || (m_Error & GET_OVERFLOW)) return false;
    const int64_t cubEnd = static_cast<int64_t>(m_Get) + nSize;
    if (m_Get < 0 || cubEnd > m_nMaxPut)
    {
        SetError(GET_OVERFLOW);
        return false;
    }
    if (cubEnd <= m_Memory.NumAllocated()) return true;
    if ((this->*m_GetOverflowFunc)(nSize)) return true;
    SetError(GET_OVERFLOW);
    return false;
}

bool CUtlBuffer::CheckPeekGet(int nOffset, int nSize)
{
    // A peek looks at what is there whatever an earlier read did, and never
    // leaves the read error set behind it.
    ClearError(GET_OVERFLOW);
    if (nSize < 0 || nOffset < 0 || static_cast<int64_t>(nOffset) + nSize > INT_MAX) return false;
    const bool bOk = CheckGet(nOffset + nSize);
    ClearError(GET_OVERFLOW);
    return bOk;
}

const void* CUtlBuffer::PeekGet(int nMaxSize, int nOffset)
{
    if (!CheckPeekGet(nOffset, nMaxSize)) return nullptr;
    return Base() + m_Get + nOffset;
}

// ---------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------

bool CUtlBuffer::SeekGet(SeekType_t type, int nOffset)
{
    int64_t nTarget;
    switch (type)
    {
    case SEEK_HEAD:
        nTarget = nOffset;
        break;
    case SEEK_CURRENT:
        nTarget = static_cast<int64_t>(m_Get) + nOffset;
        break;
    case SEEK_TAIL:
        nTarget = static_cast<int64_t>(m_nMaxPut) - nOffset;
        break;
    default:
        QAssertAt(0, UTLBUFFER_SOURCE, __LINE__);
        return false;
    }
    // A target outside the readable bytes is refused; the position stays.
    if (nTarget > m_nMaxPut || nTarget < 0)
    {
        SetError(GET_OVERFLOW);
        return false;
    }
    m_Get = static_cast<int>(nTarget);
    ClearError(GET_OVERFLOW);
    return true;
}

bool CUtlBuffer::SeekPut(SeekType_t type, int nOffset)
{
    // The conditions are reported in their original wording.
    switch (type)
    {
    case SEEK_HEAD:
        if (nOffset < 0)
        {
            AssertFailed(UTLBUFFER_SOURCE, __LINE__, "offset >= 0");
            return false;
        }
        m_Put = nOffset;
        break;
    case SEEK_CURRENT:
        if (!(nOffset >= -m_Put && nOffset <= INT_MAX - m_Put))
        {
            AssertFailed(UTLBUFFER_SOURCE, __LINE__, "offset >= -m_Put && offset <= INT_MAX-m_Put");
            return false;
        }
        m_Put += nOffset;
        break;
    case SEEK_TAIL:
        if (!(nOffset != INT_MIN && nOffset <= m_nMaxPut && -nOffset <= INT_MAX - m_nMaxPut))
        {
            AssertFailed(
                UTLBUFFER_SOURCE, __LINE__,
                "offset != INT_MIN && offset <= m_nMaxPut && -offset <= INT_MAX-m_nMaxPut");
            return false;
        }
        m_Put = m_nMaxPut - nOffset;
        break;
    default:
        AssertFailed(UTLBUFFER_SOURCE, __LINE__, "0");
        return false;
    }
    AddNullTermination();
    return true;
}

void CUtlBuffer::AddNullTermination()
{
    if (m_Put <= m_nMaxPut) return;
    if (IsText() && !IsReadOnly() && !(m_Error & PUT_OVERFLOW))
    {
        // The terminator is a convenience for readers of Base(); failing to
        // make room for it is not a failed put.
        if (m_Put < m_Memory.NumAllocated() || (this->*m_PutOverflowFunc)(1)) Base()[m_Put] = 0;
    }
    m_nMaxPut = m_Put;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

void CUtlBuffer::Put(const void* pMem, int nSize)
{
    if (nSize <= 0) return;
    if (!CheckPut(nSize)) return;
    char* pDest = Base() + m_Put;
    if (pMem != pDest) memmove(pDest, pMem, static_cast<size_t>(nSize));
    m_Put += nSize;
    AddNullTermination();
}

void CUtlBuffer::PutChar(char c)
{
    Put(&c, 1);
}

void CUtlBuffer::PutString(const char* pString)
{
    if (!QAssertAt(pString, UTLBUFFER_SOURCE, __LINE__)) return;
    const size_t cch = strlen(pString);
    if (cch >= static_cast<size_t>(INT_MAX)) return;
    // Binary strings carry their terminator so GetString can find the end.
    Put(pString, static_cast<int>(cch) + (IsText() ? 0 : 1));
}

void CUtlBuffer::PutInt(int n)
{
    if (IsText())
        Printf("%d", n);
    else
        Put(&n, sizeof(n));
}

void CUtlBuffer::PutUnsignedInt(unsigned int n)
{
    if (IsText())
        Printf("%u", n);
    else
        Put(&n, sizeof(n));
}

void CUtlBuffer::Printf(const char* pFmt, ...)
{
    va_list args;
    va_start(args, pFmt);
    VaPrintf(pFmt, args);
    va_end(args);
}

void CUtlBuffer::VaPrintf(const char* pFmt, va_list list)
{
    if (!QAssertAt(pFmt, UTLBUFFER_SOURCE, __LINE__)) return;
    va_list measure;
    va_copy(measure, list);
    const int cch = vsnprintf(nullptr, 0, pFmt, measure);
    va_end(measure);
    if (cch <= 0 || cch == INT_MAX) return;
    // Room for the formatter's terminator; it is not counted as put.
    if (!CheckPut(cch + 1)) return;
    V_BoundedFormatList(Base() + m_Put, cch + 1, pFmt, list);
    m_Put += cch;
    AddNullTermination();
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

bool CUtlBuffer::Get(void* pMem, int nSize)
{
    if (nSize <= 0) return nSize == 0;
    if (!CheckGet(nSize))
    {
        memset(pMem, 0, static_cast<size_t>(nSize));
        SetError(GET_OVERFLOW);
        return false;
    }
    memcpy(pMem, Base() + m_Get, static_cast<size_t>(nSize));
    m_Get += nSize;
    return true;
}

char CUtlBuffer::GetChar()
{
    char c = 0;
    if (IsText())
        Scan("%c", &c);
    else
        Get(&c, 1);
    return c;
}

unsigned char CUtlBuffer::GetUnsignedChar()
{
    return static_cast<unsigned char>(GetChar());
}

int CUtlBuffer::GetInt()
{
    int n = 0;
    if (IsText())
        Scan("%d", &n);
    else
        Get(&n, sizeof(n));
    return n;
}

unsigned int CUtlBuffer::GetUnsignedInt()
{
    unsigned int n = 0;
    if (IsText())
        Scan("%u", &n);
    else
        Get(&n, sizeof(n));
    return n;
}

float CUtlBuffer::GetFloat()
{
    float f = 0.0f;
    if (IsText())
        Scan("%f", &f);
    else
        Get(&f, sizeof(f));
    return f;
}

// ---------------------------------------------------------------------------
// Text-mode helpers
// ---------------------------------------------------------------------------

void CUtlBuffer::EatWhiteSpace()
{
    if (!IsText() || !IsValid()) return;
    while (CheckGet(1))
    {
        if (!IsSpaceByte(Base()[m_Get])) break;
        ++m_Get;
    }
}

bool CUtlBuffer::EatCPPComment()
{
    if (!IsText() || !IsValid()) return false;
    const char* pPeek = static_cast<const char*>(PeekGet(2, 0));
    if (!pPeek || pPeek[0] != '/' || pPeek[1] != '/') return false;
    m_Get += 2;
    // Up to and including the line feed, or to the end.
    while (CheckPeekGet(0, 1))
    {
        const char c = Base()[m_Get++];
        if (c == '\n') break;
    }
    return true;
}

int CUtlBuffer::PeekWhiteSpace(int nOffset)
{
    if (!IsText() || !IsValid()) return 0;
    int nCount = 0;
    while (CheckPeekGet(nOffset + nCount, 1))
    {
        if (!IsSpaceByte(Base()[m_Get + nOffset + nCount])) break;
        ++nCount;
    }
    return nCount;
}

int CUtlBuffer::PeekStringLength()
{
    if (!IsValid()) return 0;
    int nOffset = 0;
    if (IsText()) nOffset = PeekWhiteSpace(0);
    if (!CheckPeekGet(nOffset, 1)) return 0;
    const bool bText = IsText();
    int nLen = 0;
    while (CheckPeekGet(nOffset + nLen, 1))
    {
        const char c = Base()[m_Get + nOffset + nLen];
        if (c == 0 || (bText && IsSpaceByte(c))) break;
        ++nLen;
    }
    return nLen + 1;
}

bool CUtlBuffer::PeekStringMatch(int nOffset, const char* pString, int nLen)
{
    if (!pString || nLen < 0 || !CheckPeekGet(nOffset, nLen)) return false;
    return V_CompareCount(Base() + m_Get + nOffset, pString, nLen) == 0;
}

bool CUtlBuffer::GetString(char* pString, int nMaxChars)
{
    if (!QAssertAt(pString && nMaxChars > 0, UTLBUFFER_SOURCE, __LINE__)) return false;
    pString[0] = 0;
    if (!IsValid()) return false;

    if (IsText()) EatWhiteSpace();
    const int nLen = PeekStringLength();
    if (nLen == 0)
    {
        SetError(GET_OVERFLOW);
        return false;
    }

    if (nLen <= nMaxChars)
    {
        Get(pString, nLen - 1);
        pString[nLen - 1] = 0;
        if (!IsText())
        {
            const char c = GetChar();
            if (c != 0)
                AssertMsgFailed(false, UTLBUFFER_SOURCE, __LINE__, "Expected %d but got %d!", 0,
                                static_cast<int>(c));
        }
        return true;
    }

    Get(pString, nMaxChars - 1);
    pString[nMaxChars - 1] = 0;
    SeekGet(SEEK_CURRENT, nLen - nMaxChars);
    return false;
}

char CUtlBuffer::GetDelimitedChar(CUtlCharConversion* pConv)
{
    if (!IsText() || !pConv) return GetChar();

    char c = GetChar();
    if (c == pConv->GetEscapeChar())
    {
        int nLength = pConv->MaxConversionLength();
        if (!CheckPeekGet(0, nLength)) return c;
        c = pConv->FindConversion(Base() + m_Get, &nLength);
        SeekGet(SEEK_CURRENT, nLength);
    }
    return c;
}

bool CUtlBuffer::GetDelimitedString(CUtlCharConversion* pConv, char* pString, int nMaxChars)
{
    if (!IsText() || !pConv) return GetString(pString, nMaxChars > 0 ? nMaxChars : INT_MAX);

    if (!QAssertAt(pString && nMaxChars >= 0, UTLBUFFER_SOURCE, __LINE__)) return false;
    if (!QAssertAt(pConv && pConv->GetDelimiterLength() > 0, UTLBUFFER_SOURCE, __LINE__))
    {
        pString[0] = 0;
        return false;
    }
    if (!IsValid())
    {
        pString[0] = 0;
        return false;
    }

    EatWhiteSpace();
    const char* pDelimiter = pConv->GetDelimiter();
    const int nDelimLen = pConv->GetDelimiterLength();
    if (!PeekStringMatch(0, pDelimiter, nDelimLen))
    {
        pString[0] = 0;
        return false;
    }
    m_Get += nDelimLen;

    int nRead = 0;
    bool bClosed = false;
    while (CheckPeekGet(0, 1))
    {
        if (PeekStringMatch(0, pDelimiter, nDelimLen))
        {
            m_Get += nDelimLen;
            bClosed = true;
            break;
        }
        const char c = GetDelimitedChar(pConv);
        if (nMaxChars == 0 || nRead < nMaxChars) pString[nRead] = c;
        if (nRead < INT_MAX) ++nRead;
    }

    int nTerm = nRead;
    if (nMaxChars > 0 && nTerm > nMaxChars - 1) nTerm = nMaxChars - 1;
    pString[nTerm] = 0;
    return bClosed && nTerm == nRead;
}

// ---------------------------------------------------------------------------
// Scan
// ---------------------------------------------------------------------------

// Copies up to k_cchScanWindow readable bytes into szWindow; false at the end.
static bool FillScanWindow(CUtlBuffer& buf, char (&szWindow)[k_cchScanWindow + 1])
{
    int cch = buf.GetBytesRemaining();
    if (cch > k_cchScanWindow) cch = k_cchScanWindow;
    if (cch <= 0) return false;
    const char* pPeek = static_cast<const char*>(buf.PeekGet(cch, 0));
    if (!pPeek) return false;
    memcpy(szWindow, pPeek, static_cast<size_t>(cch));
    szWindow[cch] = 0;
    return true;
}

int CUtlBuffer::VaScan(const char* pFmt, va_list list)
{
    if (!QAssertAt(pFmt, UTLBUFFER_SOURCE, __LINE__)) return 0;
    if (!IsText() || !IsValid()) return 0;

    int nConverted = 0;
    char szWindow[k_cchScanWindow + 1];
    for (const char* p = pFmt; *p; ++p)
    {
        if (*p == ' ')
        {
            EatWhiteSpace();
            continue;
        }
        if (*p != '%')
        {
            const char* pPeek = static_cast<const char*>(PeekGet(1, 0));
            if (!pPeek)
            {
                SetError(GET_OVERFLOW);
                return nConverted;
            }
            if (*pPeek != *p) return nConverted;
            ++m_Get;
            continue;
        }

        ++p;
        int nWidth = 0;
        while (*p >= '0' && *p <= '9')
        {
            if (nWidth < 0x10000000) nWidth = nWidth * 10 + (*p - '0');
            ++p;
        }

        switch (*p)
        {
        case 'c':
        {
            char* pc = va_arg(list, char*);
            if (!CheckGet(1)) return nConverted;
            *pc = Base()[m_Get++];
            break;
        }
        case 'd':
        case 'i':
        case 'x':
        {
            int* pn = va_arg(list, int*);
            if (!FillScanWindow(*this, szWindow))
            {
                SetError(GET_OVERFLOW);
                return nConverted;
            }
            char* pEnd = szWindow;
            long long nValue = strtoll(szWindow, &pEnd, (*p == 'x') ? 16 : 10);
            if (pEnd == szWindow) return nConverted;
            if (nValue > INT_MAX)
                nValue = INT_MAX;
            else if (nValue < INT_MIN)
                nValue = INT_MIN;
            *pn = static_cast<int>(nValue);
            m_Get += static_cast<int>(pEnd - szWindow);
            break;
        }
        case 'u':
        {
            unsigned int* pu = va_arg(list, unsigned int*);
            if (!FillScanWindow(*this, szWindow))
            {
                SetError(GET_OVERFLOW);
                return nConverted;
            }
            char* pEnd = szWindow;
            const unsigned long ulValue = strtoul(szWindow, &pEnd, 10);
            if (pEnd == szWindow) return nConverted;
            *pu = static_cast<unsigned int>(ulValue);
            m_Get += static_cast<int>(pEnd - szWindow);
            break;
        }
        case 'f':
        {
            float* pf = va_arg(list, float*);
            if (!FillScanWindow(*this, szWindow))
            {
                SetError(GET_OVERFLOW);
                return nConverted;
            }
            char* pEnd = szWindow;
            const double flValue = strtod(szWindow, &pEnd);
            if (pEnd == szWindow) return nConverted;
            *pf = static_cast<float>(flValue);
            m_Get += static_cast<int>(pEnd - szWindow);
            break;
        }
        case 's':
        {
            char* ps = va_arg(list, char*);
            const int nGet = m_Get;
            GetString(ps, nWidth > 0 ? nWidth + 1 : INT_MAX);
            if (m_Get == nGet || !IsValid()) return nConverted;
            break;
        }
        default:
            QAssertAt(0, UTLBUFFER_SOURCE, __LINE__);
            return nConverted;
        }
        ++nConverted;
    }
    return nConverted;
}

int CUtlBuffer::Scan(const char* pFmt, ...)
{
    va_list args;
    va_start(args, pFmt);
    const int nResult = VaScan(pFmt, args);
    va_end(args);
    return nResult;
}
