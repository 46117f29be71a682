// KeyValues tree: construction, structure, typed reads and writes.
#include "trestle/keyvalues.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "trestle/strtools.h"

#include <climits>
#include <cmath>
#include <cstring>

#define KEYVALUES_SOURCE "KeyValues"
#define KEYVALUES_ALLOC_SOURCE "..\\trestle\\KeyValues"

namespace
{
size_t WideLength(const char16_t* pwsz)
{
    size_t n = 0;
    while (pwsz[n])
        ++n;
    return n;
}

bool IsAsciiSpace(unsigned int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Base-10 conversion of a wide text in the manner of the C runtime's wide
// strtol with a 32-bit long: leading white space, a sign, digits; clamps on
// overflow. *ppEnd is where it stopped (the start when no digit was found).
int WideToInt(const char16_t* pwsz, const char16_t** ppEnd)
{
    const char16_t* p = pwsz;
    while (IsAsciiSpace(*p))
        ++p;
    bool bNegative = false;
    if (*p == u'-' || *p == u'+')
    {
        bNegative = *p == u'-';
        ++p;
    }
    const char16_t* pDigits = p;
    long long value = 0;
    bool bOverflow = false;
    while (*p >= u'0' && *p <= u'9')
    {
        if (!bOverflow)
        {
            value = value * 10 + (*p - u'0');
            if (value > 2147483648LL) bOverflow = true;
        }
        ++p;
    }
    if (p == pDigits)
    {
        *ppEnd = pwsz;
        return 0;
    }
    *ppEnd = p;
    if (bNegative) return (bOverflow || value > 2147483648LL) ? INT_MIN : (int)-value;
    return (bOverflow || value > INT_MAX) ? INT_MAX : (int)value;
}

// Whole-text comparison of a wide text with an ASCII word, ignoring ASCII case.
bool WideEqualsNoCase(const char16_t* pwsz, const char* pszWord)
{
    for (;; ++pwsz, ++pszWord)
    {
        char16_t a = *pwsz;
        char16_t b = (unsigned char)*pszWord;
        if (a >= u'a' && a <= u'z') a = (char16_t)(a - 32);
        if (b >= u'a' && b <= u'z') b = (char16_t)(b - 32);
        if (a != b) return false;
        if (!a) return true;
    }
}

bool TextEqualsNoCase(const char* psz, const char* pszWord)
{
    return V_CompareNoCaseCount(psz, pszWord, 0x7FFFFFFF) == 0;
}

// Truncation toward zero as the x86 conversion instruction does it: values it
// cannot represent (NaN, out of range) give INT_MIN.
int TruncateFloat(float flValue)
{
    if (!(flValue > -2147483904.0f && flValue < 2147483648.0f)) return INT_MIN;
    return (int)flValue;
}
} // namespace

//-----------------------------------------------------------------------------
// Construction and names
//-----------------------------------------------------------------------------

void* KeyValues::operator new(size_t nSize)
{
    return MemAlloc_AllocTagged(nSize, KEYVALUES_ALLOC_SOURCE, __LINE__);
}

void KeyValues::operator delete(void* pMem)
{
    MemAlloc_FreeTagged(pMem, KEYVALUES_ALLOC_SOURCE, __LINE__);
}

KeyValues::KeyValues(const char* pszName) : m_nKeyNameAndFlags(0), m_pPeer(nullptr)
{
    ZeroValue();
    SetName(pszName);
}

KeyValues::KeyValues(HKeySymbol nameSymbol) : m_nKeyNameAndFlags(0), m_pPeer(nullptr)
{
    ZeroValue();
    SetNameSymbol(nameSymbol);
}

const char* KeyValues::GetName() const
{
    return KeyValuesSystem()->NameForSymbol(GetNameSymbol());
}

void KeyValues::SetName(const char* pszName)
{
    char** ppScratch = nullptr;
    SetNameSymbol(KeyValuesSystem()->SymbolForNameWithTable(pszName, &ppScratch));
}

//-----------------------------------------------------------------------------
// Structure
//-----------------------------------------------------------------------------

KeyValues* KeyValues::LastChild() const
{
    KeyValues* pChild = GetFirstSubKey();
    if (!pChild) return nullptr;
    while (pChild->m_pPeer)
        pChild = pChild->m_pPeer;
    return pChild;
}

KeyValues* KeyValues::LinkChildAfter(KeyValues* pLast, KeyValues* pChild)
{
    if (GetDataType() != TYPE_NONE) MakeEmptyBlock();
    if (pLast)
        pLast->m_pPeer = pChild;
    else
        m_Value.m_pSub = pChild;
    return pChild;
}

void KeyValues::MakeEmptyBlock()
{
    ClearValue();
    ZeroValue();
    SetAllocatedFlag(false);
    SetDataType(TYPE_NONE);
}

KeyValues* KeyValues::AddChild(const char* pszName)
{
    KeyValues* pChild = new KeyValues(pszName);
    pChild->CopyEscapeFlagFrom(this);
    // A node that held a value has no children; it becomes a block first.
    if (GetDataType() != TYPE_NONE) MakeEmptyBlock();
    return LinkChildAfter(LastChild(), pChild);
}

KeyValues* KeyValues::LookupKeySymbol(HKeySymbol symbol)
{
    if (symbol == 0) return this;
    for (KeyValues* pChild = GetFirstSubKey(); pChild; pChild = pChild->m_pPeer)
    {
        if (pChild->GetNameSymbol() == symbol) return pChild;
    }
    return nullptr;
}

KeyValues* KeyValues::LookupKey(const char* pszPath, bool bCreate)
{
    KeyValues* pNode = this;
    while (pszPath && pszPath[0])
    {
        const char* pszSlash = std::strchr(pszPath, '/');
        char szSegment[1024];
        const char* pszName = pszPath;
        if (pszSlash)
        {
            size_t nLen = (size_t)(pszSlash - pszPath);
            if (nLen > sizeof(szSegment) - 1) nLen = sizeof(szSegment) - 1;
            std::memcpy(szSegment, pszPath, nLen);
            szSegment[nLen] = 0;
            pszName = szSegment;
        }

        HKeySymbol symbol;
        if (bCreate)
        {
            char** ppScratch = nullptr;
            symbol = KeyValuesSystem()->SymbolForNameWithTable(pszName, &ppScratch);
        }
        else
        {
            symbol = KeyValuesSystem()->SymbolForName(pszName, false);
        }
        if (symbol == 0) return nullptr;

        KeyValues* pFound = nullptr;
        KeyValues* pLast = nullptr;
        for (KeyValues* pChild = pNode->GetFirstSubKey(); pChild; pChild = pChild->m_pPeer)
        {
            if (pChild->GetNameSymbol() == symbol)
            {
                pFound = pChild;
                break;
            }
            pLast = pChild;
        }

        if (!pFound)
        {
            if (!bCreate) return nullptr;
            KeyValues* pNew = new KeyValues(symbol);
            pNew->CopyEscapeFlagFrom(pNode);
            // A value is dropped when the node turns into a block.
            if (pNode->GetDataType() != TYPE_NONE)
            {
                pNode->MakeEmptyBlock();
                pLast = nullptr;
            }
            pFound = pNode->LinkChildAfter(pLast, pNew);
        }

        if (!pszSlash) return pFound;
        pNode = pFound;
        pszPath = pszSlash + 1;
    }
    return pNode;
}

KeyValues* KeyValues::FirstValueChild()
{
    for (KeyValues* pChild = GetFirstSubKey(); pChild; pChild = pChild->m_pPeer)
    {
        if (pChild->GetDataType() != TYPE_NONE) return pChild;
    }
    return nullptr;
}

KeyValues* KeyValues::NextValuePeer()
{
    for (KeyValues* pPeer = m_pPeer; pPeer; pPeer = pPeer->m_pPeer)
    {
        if (pPeer->GetDataType() != TYPE_NONE) return pPeer;
    }
    return nullptr;
}

KeyValues* KeyValues::DetachChild(KeyValues* pChild)
{
    if (!pChild) return nullptr;
    KeyValues* pPrev = nullptr;
    for (KeyValues* p = GetFirstSubKey(); p; pPrev = p, p = p->m_pPeer)
    {
        if (p != pChild) continue;
        if (pPrev)
            pPrev->m_pPeer = pChild->m_pPeer;
        else
            m_Value.m_pSub = pChild->m_pPeer;
        pChild->m_pPeer = nullptr;
        break;
    }
    // A node that is not one of our children keeps its own peers: cutting
    // them off would orphan them.
    return pChild;
}

void KeyValues::ClearValue()
{
    switch (GetDataType())
    {
    case TYPE_BLOB:
        MemAlloc_FreeTagged(m_Value.m_Blob.m_pubData, KEYVALUES_ALLOC_SOURCE, __LINE__);
        ZeroValue();
        SetAllocatedFlag(false);
        break;
    case TYPE_NONE:
        DeleteTree(m_Value.m_pSub);
        ZeroValue();
        break;
    default:
        if (IsValueAllocated())
        {
            MemAlloc_FreeTagged(m_Value.m_pszAllocated, KEYVALUES_ALLOC_SOURCE, __LINE__);
            SetAllocatedFlag(false);
            // Leaves an empty inline text rather than a stale pointer.
            ZeroValue();
        }
        break;
    }
}

void KeyValues::DeleteTree(KeyValues* pNode)
{
    while (pNode)
    {
        KeyValues* pNext = pNode->m_pPeer;
        pNode->ClearValue();
        delete pNode;
        pNode = pNext;
    }
}

//-----------------------------------------------------------------------------
// Writes
//-----------------------------------------------------------------------------

void KeyValues::StoreText(const void* pText, size_t nBytes)
{
    // Copy before clearing: the text may live in this node's own value.
    if (nBytes <= (size_t)k_nInlineBytes)
    {
        char inlineCopy[k_nInlineBytes];
        std::memcpy(inlineCopy, pText, nBytes);
        ClearValue();
        ZeroValue();
        std::memcpy(m_Value.m_szInline, inlineCopy, nBytes);
        SetAllocatedFlag(false);
        return;
    }
    char* pCopy = (char*)MemAlloc_AllocTagged(nBytes, KEYVALUES_ALLOC_SOURCE, __LINE__);
    std::memcpy(pCopy, pText, nBytes);
    ClearValue();
    ZeroValue();
    m_Value.m_pszAllocated = pCopy;
    SetAllocatedFlag(true);
}

void KeyValues::AssignString(KeyValues* pNode, const char* pszText)
{
    if (!pNode) return;
    if (!pszText) pszText = "";
    pNode->StoreText(pszText, std::strlen(pszText) + 1);
    pNode->SetDataType(TYPE_STRING);
}

void KeyValues::SetInt(int nValue)
{
    MakeEmptyBlock();
    m_Value.m_nInt = nValue;
    SetDataType(TYPE_INT);
}

void KeyValues::SetFloat(float flValue)
{
    MakeEmptyBlock();
    m_Value.m_flFloat = flValue;
    SetDataType(TYPE_FLOAT);
}

void KeyValues::SetPtr(void* pValue)
{
    MakeEmptyBlock();
    m_Value.m_pPtr = pValue;
    SetDataType(TYPE_PTR);
}

void KeyValues::SetColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    MakeEmptyBlock();
    m_Value.m_Color[0] = r;
    m_Value.m_Color[1] = g;
    m_Value.m_Color[2] = b;
    m_Value.m_Color[3] = a;
    SetDataType(TYPE_COLOR);
}

void KeyValues::SetUint64(uint64_t ulValue)
{
    MakeEmptyBlock();
    m_Value.m_U64.m_nLow = (uint32_t)ulValue;
    m_Value.m_U64.m_nHigh = (uint32_t)(ulValue >> 32);
    SetDataType(TYPE_UINT64);
}

void KeyValues::SetInt64(int64_t lValue)
{
    SetUint64((uint64_t)lValue);
    SetDataType(TYPE_INT64);
}

void KeyValues::SetWString(const char16_t* pwszText)
{
    static const char16_t kEmpty[1] = {0};
    if (!pwszText) pwszText = kEmpty;
    StoreText(pwszText, (WideLength(pwszText) + 1) * sizeof(char16_t));
    SetDataType(TYPE_WSTRING);
}

void KeyValues::SetBlob(const void* pData, uint32_t cubData)
{
    // One extra NUL so that the bytes can be read as text safely.
    uint8_t* pCopy =
        (uint8_t*)MemAlloc_AllocTagged((size_t)cubData + 1, KEYVALUES_ALLOC_SOURCE, __LINE__);
    if (cubData && pData)
        std::memcpy(pCopy, pData, cubData);
    else
        cubData = 0;
    pCopy[cubData] = 0;
    MakeEmptyBlock();
    m_Value.m_Blob.m_cubData = cubData;
    m_Value.m_Blob.m_pubData = pCopy;
    SetDataType(TYPE_BLOB);
}

//-----------------------------------------------------------------------------
// Typed reads
//-----------------------------------------------------------------------------

const char* KeyValues::GetStringPtr() const
{
    return IsValueAllocated() ? m_Value.m_pszAllocated : m_Value.m_szInline;
}

const char16_t* KeyValues::GetWStringPtr() const
{
    return IsValueAllocated() ? (const char16_t*)m_Value.m_pszAllocated : m_Value.m_wszInline;
}

uint64_t KeyValues::GetUint64Raw() const
{
    return ((uint64_t)m_Value.m_U64.m_nHigh << 32) | m_Value.m_U64.m_nLow;
}

void KeyValues::ValueText(char* pszBuffer, int nBufferSize, const KeyValues* pNode)
{
    if (!pszBuffer || nBufferSize <= 0) return;
    pszBuffer[0] = 0;
    if (!pNode) return;
    switch (pNode->GetDataType())
    {
    case TYPE_INT:
        V_BoundedFormat(pszBuffer, nBufferSize, "%d", pNode->m_Value.m_nInt);
        break;
    case TYPE_PTR:
        V_BoundedFormat(pszBuffer, nBufferSize, "%d", (int)(intptr_t)pNode->m_Value.m_pPtr);
        break;
    case TYPE_FLOAT:
        V_BoundedFormat(pszBuffer, nBufferSize, "%f", (double)pNode->m_Value.m_flFloat);
        break;
    case TYPE_UINT64:
        V_BoundedFormat(pszBuffer, nBufferSize, "%llu", (unsigned long long)pNode->GetUint64Raw());
        break;
    case TYPE_INT64:
        V_BoundedFormat(pszBuffer, nBufferSize, "%lld", (long long)(int64_t)pNode->GetUint64Raw());
        break;
    default:
        break;
    }
}

const char* KeyValues::StringValue(KeyValues* pNode, const char* pszDefault)
{
    if (!pNode) return pszDefault;
    switch (pNode->GetDataType())
    {
    case TYPE_STRING:
        return pNode->GetStringPtr();
    case TYPE_INT:
    case TYPE_FLOAT:
    case TYPE_PTR:
    case TYPE_UINT64:
    case TYPE_INT64:
    {
        char szText[64];
        ValueText(szText, sizeof(szText), pNode);
        AssignString(pNode, szText);
        return pNode->GetStringPtr();
    }
    case TYPE_WSTRING:
    {
        char szText[512];
        if (V_UTF16ToUTF8(pNode->GetWStringPtr(), szText, sizeof(szText), 0) == 0)
            return pszDefault;
        AssignString(pNode, szText);
        return pNode->GetStringPtr();
    }
    case TYPE_BLOB:
        return (const char*)pNode->m_Value.m_Blob.m_pubData;
    default:
        return pszDefault;
    }
}

int KeyValues::GetIntFromString(const char* pszText, int nDefault, ConversionStatus* pStatus)
{
    ConversionStatus localStatus;
    if (!pStatus)
    {
        AssertMsgFailed(false, KEYVALUES_SOURCE, __LINE__, "%s",
                        "GetIntFromString() did not get correct peCS parameter");
        pStatus = &localStatus;
    }
    if (!pszText || !pszText[0])
    {
        *pStatus = CONVERSION_EMPTY;
        return nDefault;
    }
    const char* pszEnd = nullptr;
    int nValue = V_atoi(pszText, &pszEnd);
    *pStatus = (pszEnd && *pszEnd == 0) ? CONVERSION_OK : CONVERSION_TRAILING_TEXT;
    return nValue;
}

int KeyValues::IntValue(KeyValues* pNode, int nDefault, ConversionStatus* pStatus)
{
    ConversionStatus status = CONVERSION_OK;
    int nResult = nDefault;
    if (!pNode)
    {
        status = CONVERSION_NO_KEY;
    }
    else
    {
        switch (pNode->GetDataType())
        {
        case TYPE_STRING:
            nResult = GetIntFromString(pNode->GetStringPtr(), nDefault, &status);
            break;
        case TYPE_FLOAT:
            nResult = TruncateFloat(pNode->m_Value.m_flFloat);
            break;
        case TYPE_WSTRING:
        {
            const char16_t* pwsz = pNode->GetWStringPtr();
            if (!pwsz[0])
            {
                status = CONVERSION_EMPTY;
                break;
            }
            const char16_t* pEnd = pwsz;
            nResult = WideToInt(pwsz, &pEnd);
            if (*pEnd) status = CONVERSION_TRAILING_TEXT;
            break;
        }
        case TYPE_UINT64:
            if (pNode->m_Value.m_U64.m_nHigh != 0)
                AssertMsgFailed(false, KEYVALUES_SOURCE, __LINE__, "%s",
                                "can't convert uint64 to int32 (data loss)");
            else
                nResult = (int)pNode->m_Value.m_U64.m_nLow;
            break;
        case TYPE_INT64:
        {
            int64_t lValue = (int64_t)pNode->GetUint64Raw();
            if (lValue < INT_MIN || lValue > INT_MAX)
                AssertMsgFailed(false, KEYVALUES_SOURCE, __LINE__, "%s",
                                "can't convert uint64 to int32 (data loss)");
            else
                nResult = (int)lValue;
            break;
        }
        case TYPE_BLOB:
            nResult =
                GetIntFromString((const char*)pNode->m_Value.m_Blob.m_pubData, nDefault, &status);
            break;
        case TYPE_INT:
        case TYPE_COLOR:
            nResult = pNode->m_Value.m_nInt;
            break;
        case TYPE_PTR:
            nResult = (int)(intptr_t)pNode->m_Value.m_pPtr;
            break;
        case TYPE_NONE:
            // An empty block reads as 0; a block with children has no number.
            nResult = pNode->m_Value.m_pSub ? nDefault : 0;
            break;
        default:
            break;
        }
    }
    if (pStatus) *pStatus = status;
    return nResult;
}

bool KeyValues::BoolValue(KeyValues* pNode, bool bDefault, ConversionStatus* pStatus)
{
    if (!pNode)
    {
        if (pStatus) *pStatus = CONVERSION_NO_KEY;
        return bDefault;
    }
    switch (pNode->GetDataType())
    {
    case TYPE_STRING:
    case TYPE_BLOB:
    {
        const char* psz = pNode->GetDataType() == TYPE_STRING
                              ? pNode->GetStringPtr()
                              : (const char*)pNode->m_Value.m_Blob.m_pubData;
        if (TextEqualsNoCase(psz, "true"))
        {
            if (pStatus) *pStatus = CONVERSION_OK;
            return true;
        }
        if (TextEqualsNoCase(psz, "false"))
        {
            if (pStatus) *pStatus = CONVERSION_OK;
            return false;
        }
        break;
    }
    case TYPE_WSTRING:
    {
        const char16_t* pwsz = pNode->GetWStringPtr();
        if (WideEqualsNoCase(pwsz, "true") || WideEqualsNoCase(pwsz, "false"))
        {
            if (pStatus) *pStatus = CONVERSION_OK;
            return WideEqualsNoCase(pwsz, "true");
        }
        break;
    }
    default:
        break;
    }
    return IntValue(pNode, bDefault ? 1 : 0, pStatus) != 0;
}
