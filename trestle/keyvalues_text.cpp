// KeyValues text form: tokenizer, reader with conditions, writer.
#include "trestle/keyvalues.h"
#include "trestle/keyvalues_textparser.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "plinth/platform/platform_debug.h"
#include "trestle/fileio.h"
#include "trestle/strtools.h"
#include "trestle/utlbuffer.h"
#include "trestle/utlstring.h"

#include <cmath>
#include <cstring>

#define KEYVALUES_SOURCE "KeyValues"
#define KEYVALUES_ALLOC_SOURCE "..\\trestle\\KeyValues"

void (KeyValues::*g_pfnKeyValuesDebugDump)() const = &KeyValues::DebugDump;

namespace
{
// The C runtime's isspace set in the "C" locale.
inline bool IsTextSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The buffer's error state for readers: a get ran past the readable bytes.
inline bool ReadPastEnd(const CUtlBuffer& buf)
{
    return (buf.GetError() & CUtlBuffer::GET_OVERFLOW) != 0;
}

// The bytes from the read position that a checked get allows. The readable
// size can run past the memory (a seek of the put position beyond it), so
// only what is really there is handed out.
int ReadableBytes(CUtlBuffer& buf, const char** ppText)
{
    *ppText = nullptr;
    int nAvail = buf.TellMaxPut() - buf.TellGet();
    if (nAvail <= 0) return 0;
    const void* p = buf.PeekGet(nAvail, 0);
    if (!p)
    {
        int nInMemory = buf.Size() - buf.TellGet();
        if (nInMemory < nAvail) nAvail = nInMemory;
        p = nAvail > 0 ? buf.PeekGet(nAvail, 0) : nullptr;
        if (!p) return 0;
    }
    *ppText = static_cast<const char*>(p);
    return nAvail;
}

inline bool EndsBareToken(char c)
{
    return IsTextSpace(c) || c == '"' || c == '{' || c == '}' || c == '=';
}

// A value that is entirely digits, signs, commas, dots and spaces may be an
// integer: only a plain base-10 32-bit number without leading zero is.
bool ParseIntValue(const char* pszText, int* pnValue)
{
    if (!pszText[0]) return false;
    for (const char* p = pszText; *p; ++p)
    {
        char c = *p;
        if (!((c >= '0' && c <= '9') || c == '+' || c == ',' || c == '-' || c == '.' || c == ' '))
            return false;
    }
    if (pszText[0] == '0' && pszText[1] == 0)
    {
        *pnValue = 0;
        return true;
    }
    if (pszText[0] == '0') return false;

    const char* p = pszText;
    while (IsTextSpace(*p))
        ++p;
    bool bNegative = false;
    if (*p == '-' || *p == '+')
    {
        bNegative = *p == '-';
        ++p;
    }
    const char* pDigits = p;
    long long value = 0;
    while (*p >= '0' && *p <= '9')
    {
        value = value * 10 + (*p - '0');
        if (value > 2147483648LL) return false; // overflow
        ++p;
    }
    if (p == pDigits || *p) return false;
    if (bNegative) value = -value;
    if (value > 2147483647LL) return false;
    *pnValue = (int)value;
    return true;
}

void SetValueFromText(KeyValues* pNode, const char* pszText)
{
    int nValue;
    if (ParseIntValue(pszText, &nValue))
        pNode->SetInt(nValue);
    else
        KeyValues::AssignString(pNode, pszText);
}

// The first child other than pChild that has pChild's name.
KeyValues* FindEarlierDuplicate(KeyValues* pParent, KeyValues* pChild)
{
    for (KeyValues* p = pParent->GetFirstSubKey(); p; p = p->GetNextKey())
    {
        if (p != pChild && p->GetNameSymbol() == pChild->GetNameSymbol()) return p;
    }
    return nullptr;
}

void DestroyChild(KeyValues* pParent, KeyValues* pChild)
{
    if (!pChild) return;
    pParent->DetachChild(pChild);
    KeyValues::DeleteTree(pChild);
}

// Consumes tokens up to and including the "}" that closes the current block.
void SkipBlock(CUtlBuffer& buf, KeyValuesTextParser& parser)
{
    int nDepth = 0;
    while (parser.ReadToken(buf))
    {
        if (parser.TokenIs('{'))
        {
            ++nDepth;
        }
        else if (parser.TokenIs('}'))
        {
            if (nDepth == 0) return;
            --nDepth;
        }
    }
}

void PutTabs(CUtlBuffer& buf, int nCount)
{
    static const char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    while (nCount > 0)
    {
        int n = nCount < 16 ? nCount : 16;
        buf.Put(kTabs, n);
        nCount -= n;
    }
}

// Writes text with a backslash before every double quote.
void PutEscaped(CUtlBuffer& buf, const char* pszText, bool bLowerCase)
{
    char chunk[512];
    int n = 0;
    for (const char* p = pszText; *p; ++p)
    {
        if (n > (int)sizeof(chunk) - 2)
        {
            buf.Put(chunk, n);
            n = 0;
        }
        char c = *p;
        if (c == '"') chunk[n++] = '\\';
        chunk[n++] = bLowerCase ? V_ToLowerAscii(c) : c;
    }
    if (n) buf.Put(chunk, n);
}

// The reader has no escapes: a double quote ends a quoted token and 0x7F
// reads as its end, so text holding either cannot come back as written.
bool ReadsBackAsWritten(const char* pszText)
{
    return !std::strpbrk(pszText, "\"\x7F");
}

void PutText(CUtlBuffer& buf, const char* pszText)
{
    buf.Put(pszText, (int)std::strlen(pszText));
}
} // namespace

//-----------------------------------------------------------------------------
// KeyValuesTextParser
//-----------------------------------------------------------------------------

KeyValuesTextParser::KeyValuesTextParser(const char* pszResourceName)
    : m_nBlockDepth(0), m_pszResourceName(pszResourceName ? pszResourceName : "NULL"),
      m_errorIndex(0), m_errorIndexPeak(0), m_nTokenBufferSize(k_nTokenBufferSize), m_nErrors(0),
      m_bPrintFirstError(true), m_bFirstErrorPrinted(false), m_bWasQuoted(false),
      m_bWasConditional(false)
{
    for (int i = 0; i < k_nMaxStack; ++i)
        m_KeyStack[i] = 0;
    m_pTokenBuffer =
        (char*)MemAlloc_AllocTagged(k_nTokenBufferSize, KEYVALUES_ALLOC_SOURCE, __LINE__);
    m_pTokenBuffer[0] = 0;
}

KeyValuesTextParser::~KeyValuesTextParser()
{
    MemAlloc_FreeTagged(m_pTokenBuffer, KEYVALUES_ALLOC_SOURCE, __LINE__);
}

bool KeyValuesTextParser::ReadToken(CUtlBuffer& buf)
{
    m_bWasQuoted = false;
    m_bWasConditional = false;
    m_pTokenBuffer[0] = 0;
    if (ReadPastEnd(buf)) return false;

    int nStart = buf.TellGet();
    const char* p;
    int nAvail = ReadableBytes(buf, &p);
    if (nAvail <= 0) return false;
    int i = 0;

    // White space and line comments.
    for (;;)
    {
        while (i < nAvail && IsTextSpace(p[i]))
            ++i;
        if (i + 1 < nAvail && p[i] == '/' && p[i + 1] == '/')
        {
            i += 2;
            while (i < nAvail && p[i] != '\n')
                ++i;
            if (i < nAvail) ++i;
            continue;
        }
        break;
    }
    if (i >= nAvail)
    {
        buf.SeekGet(CUtlBuffer::SEEK_HEAD, nStart + nAvail);
        return false;
    }

    int nMax = m_nTokenBufferSize - 1;
    int nLen = 0;
    char c = p[i];
    if (c == '"')
    {
        // No escapes: the token runs to the next double quote. 0x7F reads as
        // the end of the text, as the no-escape conversion decodes it.
        m_bWasQuoted = true;
        ++i;
        while (i < nAvail && p[i] != '"')
        {
            if (nLen < nMax) m_pTokenBuffer[nLen++] = (p[i] == 0x7F) ? 0 : p[i];
            ++i;
        }
        if (i < nAvail) ++i;
        m_pTokenBuffer[nLen] = 0;
        buf.SeekGet(CUtlBuffer::SEEK_HEAD, nStart + i);
        return true;
    }

    if (c == '{' || c == '}' || c == '=')
    {
        m_pTokenBuffer[0] = c;
        m_pTokenBuffer[1] = 0;
        buf.SeekGet(CUtlBuffer::SEEK_HEAD, nStart + i + 1);
        return true;
    }

    bool bInCondition = false;
    bool bOverflowReported = false;
    while (i < nAvail && !EndsBareToken(p[i]))
    {
        c = p[i];
        if (c == '[')
            bInCondition = true;
        else if (c == ']' && bInCondition)
            m_bWasConditional = true;
        if (nLen < nMax)
        {
            m_pTokenBuffer[nLen++] = c;
        }
        else if (!bOverflowReported)
        {
            bOverflowReported = true;
            m_pTokenBuffer[nLen] = 0;
            buf.SeekGet(CUtlBuffer::SEEK_HEAD, nStart + i);
            ReportError(buf, " ReadToken overflow");
        }
        ++i;
    }
    m_pTokenBuffer[nLen] = 0;
    buf.SeekGet(CUtlBuffer::SEEK_HEAD, nStart + i);
    return true;
}

bool KeyValuesTextParser::EvaluateTokenCondition() const
{
    const char* pszOpen = std::strchr(m_pTokenBuffer, '[');
    return EvaluateExpression(pszOpen ? pszOpen + 1 : m_pTokenBuffer);
}

void KeyValuesTextParser::PushKey(HKeySymbol symbol)
{
    if (m_errorIndex >= 0 && m_errorIndex < k_nMaxStack) m_KeyStack[m_errorIndex] = symbol;
    if (m_errorIndex > m_errorIndexPeak) m_errorIndexPeak = m_errorIndex;
    ++m_errorIndex;
}

void KeyValuesTextParser::PopKey()
{
    if (m_errorIndex - 1 < 0)
    {
        AssertFailed(KEYVALUES_SOURCE, __LINE__, "m_errorIndex>=0");
        return;
    }
    --m_errorIndex;
}

void KeyValuesTextParser::SetCurrentKey(HKeySymbol symbol)
{
    int i = m_errorIndex - 1;
    if (i >= 0 && i < k_nMaxStack) m_KeyStack[i] = symbol;
}

void KeyValuesTextParser::ReportError(CUtlBuffer& buf, const char* pszMessage)
{
    ++m_nErrors;
    // Only the first error is shown; the count alone decides the result.
    if (!m_bPrintFirstError || m_bFirstErrorPrinted) return;
    m_bFirstErrorPrinted = true;

    char szLine[512];
    V_BoundedFormat(szLine, sizeof(szLine), "KeyValues Error: %s in file %s [offset: %d]\n",
                    pszMessage, m_pszResourceName, buf.TellGet());
    CUtlOwnedString text;
    text.Set(szLine);
    int nSlots = m_errorIndexPeak < k_nMaxStack ? m_errorIndexPeak : k_nMaxStack;
    for (int i = 0; i < nSlots; ++i)
    {
        if (m_KeyStack[i] == 0) continue;
        const char* pszName = KeyValuesSystem()->NameForSymbol(m_KeyStack[i]);
        if (i < m_errorIndex)
        {
            text.Append(pszName);
            text.Append(", ");
        }
        else
        {
            text.Append("(*");
            text.Append(pszName);
            text.Append("*), ");
        }
    }
    text.Append("\n");
    SpewWarning("%s", text.Get());
}

//-----------------------------------------------------------------------------
// Reader
//-----------------------------------------------------------------------------

bool KeyValues::LoadFromBuffer(const char* pszResourceName, CUtlBuffer& buf)
{
    MakeEmptyBlock();

    KeyValuesTextParser parser(pszResourceName);
    if (!(buf.GetFlags() & CUtlBuffer::TEXT_BUFFER))
        AssertFailed(KEYVALUES_SOURCE, __LINE__, "buf.GetFlags() & CUtlBuffer::TEXT_BUFFER");

    const char* pBom = ReadPastEnd(buf) ? nullptr : static_cast<const char*>(buf.PeekGet(3, 0));
    if (pBom && std::memcmp(pBom, "\xEF\xBB\xBF", 3) == 0) buf.SeekGet(CUtlBuffer::SEEK_CURRENT, 3);

    // The first key names this node; every further top-level key becomes a
    // new peer after the previous one.
    KeyValues* pCurrent = this;
    KeyValues* pPrevious = nullptr;
    do
    {
        if (!parser.ReadToken(buf) || ReadPastEnd(buf)) break;
        if (!parser.Token()[0] && !parser.TokenWasQuoted()) break;

        if (V_CompareNoCaseCount(parser.Token(), "#include", 0x7FFFFFFF) == 0)
        {
            if (parser.ReadToken(buf) && parser.Token()[0])
                AssertMsgFailed(false, KEYVALUES_SOURCE, __LINE__,
                                "KeyValues don't support #include anymore, file \"%s\"",
                                parser.ResourceName());
            else
                parser.ReportError(buf, "#include is NULL ");
            continue;
        }

        if (!pCurrent)
        {
            pCurrent = new KeyValues(parser.Token());
            pCurrent->CopyEscapeFlagFrom(pPrevious);
        }
        else
        {
            pCurrent->SetName(parser.Token());
        }
        if (pCurrent != this)
        {
            pCurrent->m_pPeer = pPrevious->m_pPeer;
            pPrevious->m_pPeer = pCurrent;
        }

        bool bCondition = true;
        bool bHaveToken = parser.ReadToken(buf);
        if (bHaveToken && parser.TokenWasConditional())
        {
            bCondition = parser.EvaluateTokenCondition();
            bHaveToken = parser.ReadToken(buf);
        }

        if (bHaveToken && parser.TokenIs('{'))
        {
            pCurrent->RecursiveLoadFromBuffer(pszResourceName, buf, parser);
        }
        else
        {
            char szMessage[1200];
            V_BoundedFormat(szMessage, sizeof(szMessage),
                            "LoadFromBuffer: missing {   (current key: '%s')", pCurrent->GetName());
            parser.ReportError(buf, szMessage);
        }

        if (!bCondition)
        {
            // Dropped: the node is emptied and the next key reuses it.
            pCurrent->MakeEmptyBlock();
            if (pCurrent != this)
            {
                pPrevious->m_pPeer = pCurrent->m_pPeer;
                pCurrent->m_pPeer = nullptr;
            }
        }
        else
        {
            pPrevious = pCurrent;
            pCurrent = nullptr;
        }
    } while (!ReadPastEnd(buf));

    // A dropped node that no later key reused is unlinked: free it.
    if (pCurrent && pCurrent != this) DeleteTree(pCurrent);

    if (parser.ErrorCount())
        AssertMsgFailed(false, KEYVALUES_SOURCE, __LINE__,
                        "Error while parsing text KeyValues for resource %s",
                        parser.ResourceName());
    return parser.ErrorCount() == 0;
}

void KeyValues::RecursiveLoadFromBuffer(const char* pszResourceName, CUtlBuffer& buf,
                                        KeyValuesTextParser& parser)
{
    parser.PushKey(GetNameSymbol());
    parser.PushKey(0);
    ++parser.m_nBlockDepth;

    if (parser.m_nBlockDepth > KeyValuesTextParser::k_nMaxBlockDepth)
    {
        parser.ReportError(buf, "RecursiveLoadFromBuffer:  blocks nested deeper than 256 levels, "
                                "block skipped");
        SkipBlock(buf, parser);
    }
    else
    {
        KeyValues* pLast = LastChild();
        for (;;)
        {
            if (!parser.ReadToken(buf))
            {
                parser.ReportError(buf, "RecursiveLoadFromBuffer:  got EOF instead of keyname");
                break;
            }
            if (!parser.Token()[0])
            {
                parser.ReportError(buf, "RecursiveLoadFromBuffer:  got empty keyname");
                break;
            }
            if (parser.TokenIs('}')) break;

            KeyValues* pChild = new KeyValues(parser.Token());
            pChild->CopyEscapeFlagFrom(this);
            pLast = LinkChildAfter(pLast, pChild);
            parser.SetCurrentKey(pChild->GetNameSymbol());

            bool bCondition = true;
            bool bHaveToken = parser.ReadToken(buf);
            if (bHaveToken && parser.TokenWasConditional())
            {
                bCondition = parser.EvaluateTokenCondition();
                bHaveToken = parser.ReadToken(buf);
                if (!bHaveToken)
                {
                    parser.ReportError(buf, "RecursiveLoadFromBuffer:  got NULL key");
                    break;
                }
            }

            if (bHaveToken && parser.TokenIs('='))
            {
                bHaveToken = parser.ReadToken(buf);
                if (bHaveToken && parser.TokenWasConditional())
                {
                    bCondition = parser.EvaluateTokenCondition();
                    bHaveToken = parser.ReadToken(buf);
                }
                if (bCondition) DestroyChild(this, FindEarlierDuplicate(this, pChild));
            }

            if (!bHaveToken)
            {
                parser.ReportError(buf, "RecursiveLoadFromBuffer:  got NULL key");
                break;
            }
            if (parser.TokenIs('}'))
            {
                parser.ReportError(buf, "RecursiveLoadFromBuffer:  got } in key");
                break;
            }

            if (parser.TokenIs('{'))
            {
                parser.SetCurrentKey(0);
                pChild->RecursiveLoadFromBuffer(pszResourceName, buf, parser);
                if (!bCondition)
                {
                    DestroyChild(this, pChild);
                    pLast = LastChild();
                }
                continue;
            }

            if (parser.TokenWasConditional())
            {
                parser.ReportError(
                    buf, "RecursiveLoadFromBuffer:  got conditional between key and value");
                break;
            }

            SetValueFromText(pChild, parser.Token());

            // A condition may follow the value; anything else is put back.
            int nBeforeNext = buf.TellGet();
            if (parser.ReadToken(buf) && parser.TokenWasConditional())
            {
                if (parser.EvaluateTokenCondition())
                {
                    DestroyChild(this, FindEarlierDuplicate(this, pChild));
                }
                else
                {
                    DestroyChild(this, pChild);
                    pLast = LastChild();
                }
            }
            else
            {
                buf.SeekGet(CUtlBuffer::SEEK_HEAD, nBeforeNext);
                if (!bCondition)
                {
                    DestroyChild(this, pChild);
                    pLast = LastChild();
                }
            }
        }
    }

    --parser.m_nBlockDepth;
    parser.PopKey();
    parser.PopKey();
}

bool KeyValues::LoadFromFile(const char* pszPath)
{
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    if (!pszPath || !LoadFileIntoBuffer(pszPath, 0, 0xFFFFFFFFu, buf, true)) return false;
    return LoadFromBuffer(pszPath, buf);
}

//-----------------------------------------------------------------------------
// Writer
//-----------------------------------------------------------------------------

bool KeyValues::RecursiveSaveToFile(CUtlBuffer& buf, int nIndentLevel, int nFlags) const
{
    bool bLowerNames = (nFlags & 1) != 0;
    bool bComplete = ReadsBackAsWritten(GetName());

    PutTabs(buf, nIndentLevel);
    PutText(buf, "\"");
    PutEscaped(buf, GetName(), bLowerNames);
    PutText(buf, "\"\n");
    PutTabs(buf, nIndentLevel);
    PutText(buf, "{\n");

    for (const KeyValues* pChild = GetFirstSubKey(); pChild; pChild = pChild->m_pPeer)
    {
        types_t type = pChild->GetDataType();
        if (type == TYPE_NONE)
        {
            if (!pChild->RecursiveSaveToFile(buf, nIndentLevel + 1, nFlags)) bComplete = false;
            continue;
        }

        char szNumber[64];
        char* pszAllocated = nullptr;
        const char* pszValue = szNumber;
        bool bEscape = false;
        switch (type)
        {
        case TYPE_STRING:
            pszValue = pChild->GetStringPtr();
            bEscape = true;
            break;
        case TYPE_WSTRING:
        {
            // Invalid UTF-16 is written as '?', which changes the text.
            if (!V_UTF16ToUTF8(pChild->GetWStringPtr(), nullptr, 0, ConvertFailOnInvalid))
                bComplete = false;
            int nBytes = V_UTF16ToUTF8(pChild->GetWStringPtr(), nullptr, 0, 0);
            if (nBytes <= 0) nBytes = 1;
            pszAllocated = (char*)MemAlloc_AllocTagged(nBytes, KEYVALUES_ALLOC_SOURCE, __LINE__);
            pszAllocated[0] = 0;
            V_UTF16ToUTF8(pChild->GetWStringPtr(), pszAllocated, nBytes, 0);
            pszValue = pszAllocated;
            bEscape = true;
            break;
        }
        case TYPE_INT:
            V_BoundedFormat(szNumber, sizeof(szNumber), "%d", pChild->GetIntRaw());
            break;
        case TYPE_FLOAT:
        {
            float flValue = pChild->GetFloatRaw();
            if (flValue == 0.0f && !std::signbit(flValue))
                V_BoundedCopy(szNumber, "0", sizeof(szNumber));
            else if (flValue == 1.0f)
                V_BoundedCopy(szNumber, "1", sizeof(szNumber));
            else
                V_BoundedFormat(szNumber, sizeof(szNumber), "%.18g", (double)flValue);
            break;
        }
        case TYPE_UINT64:
            if (nFlags & 2)
                V_BoundedFormat(szNumber, sizeof(szNumber), "%llu",
                                (unsigned long long)pChild->GetUint64Raw());
            else
                V_BoundedFormat(szNumber, sizeof(szNumber), "%lld",
                                (long long)(int64_t)pChild->GetUint64Raw());
            break;
        case TYPE_INT64:
            V_BoundedFormat(szNumber, sizeof(szNumber), "%lld",
                            (long long)(int64_t)pChild->GetUint64Raw());
            break;
        case TYPE_BLOB:
        {
            uint32_t cub = pChild->GetBlobSize();
            size_t nBytes = (size_t)cub * 2 + 1;
            pszAllocated = (char*)MemAlloc_AllocTagged(nBytes, KEYVALUES_ALLOC_SOURCE, __LINE__);
            pszAllocated[0] = 0;
            V_BytesToHex(pChild->GetBlobData(), (int)cub, pszAllocated, (int)nBytes);
            pszValue = pszAllocated;
            break;
        }
        case TYPE_COLOR:
            SpewMessage("KeyValues::RecursiveSaveToFile: TODO, missing code for TYPE_COLOR.\n");
            bComplete = false;
            continue;
        default:
            // Pointers (and codes no value uses) have no text form.
            bComplete = false;
            continue;
        }

        if (!ReadsBackAsWritten(pChild->GetName()) || (bEscape && !ReadsBackAsWritten(pszValue)))
            bComplete = false;

        PutTabs(buf, nIndentLevel + 1);
        PutText(buf, "\"");
        PutEscaped(buf, pChild->GetName(), bLowerNames);
        PutText(buf, "\"\t\t\"");
        if (bEscape)
            PutEscaped(buf, pszValue, false);
        else
            PutText(buf, pszValue);
        PutText(buf, "\"\n");
        if (pszAllocated) MemAlloc_FreeTagged(pszAllocated, KEYVALUES_ALLOC_SOURCE, __LINE__);
    }

    PutTabs(buf, nIndentLevel);
    PutText(buf, "}\n");
    return bComplete;
}

void KeyValues::DebugDump() const
{
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    RecursiveSaveToFile(buf, 0, 0);
    if (buf.TellPut() <= 0)
    {
        Plat_OutputDebugString("<empty>\n");
        return;
    }
    buf.PutChar(0);
    Plat_OutputDebugString(buf.Base());
}
