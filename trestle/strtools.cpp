// Bounded copies, formatting, comparisons, number parsing and hashing.
#include "trestle/strtools.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "plinth/dbg.h"

// Stringified here, not through QAssertAt, so NULL in the text stays "NULL".
#define STR_ASSERT(cond) ((cond) ? true : (AssertFailed("strtools", __LINE__, #cond), false))

// Length of a string that is expected to end within bufSize bytes; returns
// bufSize when it does not, so callers never read past the buffer.
static int BoundedLength(const char* pStr, int bufSize)
{
    const void* pNul = memchr(pStr, 0, static_cast<size_t>(bufSize));
    return pNul ? static_cast<int>(static_cast<const char*>(pNul) - pStr) : bufSize;
}

void V_BoundedCopy(char* pDest, const char* pSrc, int maxLen)
{
    if (!STR_ASSERT(maxLen == 0 || pDest != NULL) || !STR_ASSERT(maxLen >= 0) || maxLen == 0)
        return;
    if (!STR_ASSERT(pSrc != NULL))
    {
        pDest[0] = '\0';
        return;
    }
    int i = 0;
    while (i < maxLen - 1 && pSrc[i] != '\0')
    {
        pDest[i] = pSrc[i];
        ++i;
    }
    pDest[i] = '\0';
}

void V_BoundedAppend(char* pDest, const char* pSrc, int maxLen)
{
    if (!STR_ASSERT(pDest != NULL) || !STR_ASSERT(pSrc != NULL) || !STR_ASSERT(maxLen >= 0)) return;
    if (maxLen == 0) return;
    int destLen = BoundedLength(pDest, maxLen);
    if (destLen >= maxLen)
    {
        // Not terminated within its own buffer: keep what is there, terminated.
        pDest[maxLen - 1] = '\0';
        return;
    }
    V_BoundedCopy(pDest + destLen, pSrc, maxLen - destLen);
}

char* V_BoundedAppendCount(char* pDest, const char* pSrc, int destSize, int maxChars)
{
    if (!STR_ASSERT(pDest != NULL) || !STR_ASSERT(pSrc != NULL) || !STR_ASSERT(destSize >= 0))
        return pDest;
    if (destSize == 0) return pDest;
    int destLen = BoundedLength(pDest, destSize);
    if (destLen >= destSize)
    {
        pDest[destSize - 1] = '\0';
        return pDest;
    }
    size_t srcLen = strlen(pSrc);
    long long count = (maxChars < 0 || static_cast<size_t>(maxChars) > srcLen)
                          ? static_cast<long long>(srcLen)
                          : maxChars;
    long long room = static_cast<long long>(destSize) - destLen - 1;
    if (count > room) count = room;
    if (count <= 0) return pDest;
    memcpy(pDest + destLen, pSrc, static_cast<size_t>(count));
    pDest[destLen + count] = '\0';
    return pDest;
}

int V_BoundedFormatListTruncated(char* pDest, int bufferLen, const char* pFormat, va_list args,
                                 bool* pTruncated)
{
    if (pTruncated) *pTruncated = false;
    if (!STR_ASSERT(pDest != NULL) || !STR_ASSERT(bufferLen > 0)) return 0;
    if (!STR_ASSERT(pFormat != NULL))
    {
        pDest[0] = '\0';
        return 0;
    }
    int len = vsnprintf(pDest, static_cast<size_t>(bufferLen), pFormat, args);
    if (len < 0)
    {
        // A formatting error leaves the buffer's contents undefined: hand back
        // an empty string rather than bytes nobody wrote.
        len = 0;
        if (pTruncated) *pTruncated = true;
    }
    else if (len >= bufferLen)
    {
        len = bufferLen - 1;
        if (pTruncated) *pTruncated = true;
    }
    pDest[len] = '\0';
    return len;
}

int V_BoundedFormatList(char* pDest, int destSize, const char* pFormat, va_list args)
{
    return V_BoundedFormatListTruncated(pDest, destSize, pFormat, args, nullptr);
}

int V_BoundedFormat(char* pDest, int destSize, const char* pFormat, ...)
{
    va_list args;
    va_start(args, pFormat);
    int len = V_BoundedFormatListTruncated(pDest, destSize, pFormat, args, nullptr);
    va_end(args);
    return len;
}

// Null pointers order before everything else so a caller's sort stays sane.
static bool CheckComparable(const char* pStr1, const char* pStr2, int count, int* pResult)
{
    bool ok1 = STR_ASSERT(pStr1 != NULL);
    bool ok2 = STR_ASSERT(pStr2 != NULL);
    if (!ok1 || !ok2)
    {
        *pResult = (pStr1 == pStr2) ? 0 : (pStr1 ? 1 : -1);
        return false;
    }
    if (!STR_ASSERT(count >= 0))
    {
        *pResult = 0;
        return false;
    }
    return true;
}

int V_CompareCount(const char* pStr1, const char* pStr2, int count)
{
    int result;
    if (!CheckComparable(pStr1, pStr2, count, &result)) return result;
    for (; count > 0; --count, ++pStr1, ++pStr2)
    {
        signed char c1 = static_cast<signed char>(*pStr1);
        signed char c2 = static_cast<signed char>(*pStr2);
        if (c1 != c2) return c1 < c2 ? -1 : 1;
        if (c1 == 0) break;
    }
    return 0;
}

static inline signed char FoldUpperAscii(char c)
{
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return static_cast<signed char>(c);
}

int V_CompareNoCaseCount(const char* pStr1, const char* pStr2, int count)
{
    int result;
    if (!CheckComparable(pStr1, pStr2, count, &result)) return result;
    for (; count > 0; --count, ++pStr1, ++pStr2)
    {
        signed char c1 = FoldUpperAscii(*pStr1);
        signed char c2 = FoldUpperAscii(*pStr2);
        if (c1 != c2) return c1 < c2 ? -1 : 1;
        if (c1 == 0) break;
    }
    return 0;
}

static inline int LocaleLower(char c)
{
    return tolower(static_cast<unsigned char>(c));
}

const char* V_FindNoCase(const char* pStr, const char* pSearch)
{
    if (!STR_ASSERT(pStr != NULL) || !STR_ASSERT(pSearch != NULL) || pSearch[0] == '\0')
        return nullptr;
    int first = LocaleLower(pSearch[0]);
    for (; *pStr; ++pStr)
    {
        if (LocaleLower(*pStr) != first) continue;
        const char* s = pStr + 1;
        const char* t = pSearch + 1;
        while (*t && LocaleLower(*s) == LocaleLower(*t))
        {
            ++s;
            ++t;
        }
        if (*t == '\0') return pStr;
    }
    return nullptr;
}

char* V_FindNoCase(char* pStr, const char* pSearch)
{
    return const_cast<char*>(V_FindNoCase(const_cast<const char*>(pStr), pSearch));
}

const char* V_EndsWithNoCase(const char* pStr, const char* pSuffix)
{
    if (!STR_ASSERT(pStr != NULL) || !STR_ASSERT(pSuffix != NULL)) return nullptr;
    size_t len = strlen(pStr);
    size_t suffixLen = strlen(pSuffix);
    if (suffixLen > len) return nullptr;
    const char* pTail = pStr + (len - suffixLen);
    return V_CompareNoCaseCount(pTail, pSuffix, 0x7FFFFFFF) == 0 ? pTail : nullptr;
}

char* V_EndsWithNoCase(char* pStr, const char* pSuffix)
{
    return const_cast<char*>(V_EndsWithNoCase(const_cast<const char*>(pStr), pSuffix));
}

char V_ToLowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

char* V_LowerAscii(char* pStr)
{
    if (!STR_ASSERT(pStr != NULL)) return pStr;
    for (char* p = pStr; *p; ++p)
        *p = V_ToLowerAscii(*p);
    return pStr;
}

int V_atoi(const char* pText, const char** ppEnd)
{
    if (!pText)
    {
        AssertFailed("strtools", __LINE__, "NULL buffer passed to V_atoi()");
        if (ppEnd) *ppEnd = nullptr;
        return 0;
    }
    const char* p = pText;
    uint32_t sign = 1;
    if (*p == '-')
    {
        sign = static_cast<uint32_t>(-1);
        ++p;
    }
    else if (*p == '+')
    {
        ++p;
    }

    uint32_t value = 0;
    const char* pEnd;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
    {
        const char* pX = p + 1;
        p += 2;
        const char* pDigits = p;
        for (;; ++p)
        {
            char c = *p;
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t>(c - 'A' + 10);
            else
                break;
            value = (value << 4) + digit;
        }
        pEnd = (p == pDigits) ? pX : p;
    }
    else if (p[0] == '\'')
    {
        value = static_cast<uint32_t>(static_cast<int>(static_cast<signed char>(p[1])));
        // A quote at the very end has no character after it: stop at the
        // terminator instead of pointing past it.
        pEnd = (p[1] == '\0') ? p + 1 : p + 2;
    }
    else
    {
        const char* pDigits = p;
        while (*p >= '0' && *p <= '9')
        {
            value = value * 10 + static_cast<uint32_t>(*p - '0');
            ++p;
        }
        pEnd = (p == pDigits) ? pText : p;
    }
    if (ppEnd) *ppEnd = pEnd;
    return static_cast<int>(value * sign);
}

void V_BytesToHex(const void* pIn, int inputbytes, char* pOut, int outsize)
{
    static const char s_hexDigits[] = "0123456789abcdef";
    // clang-format off
    STR_ASSERT(outsize >= ( inputbytes * 2 ) + 1);
    // clang-format on
    if (!STR_ASSERT(pOut != NULL) || outsize <= 0) return;
    if (!STR_ASSERT(pIn != NULL || inputbytes <= 0)) inputbytes = 0;
    const unsigned char* pBytes = static_cast<const unsigned char*>(pIn);
    int room = outsize;
    char* p = pOut;
    for (int i = 0; i < inputbytes && room > 2; ++i, room -= 2)
    {
        *p++ = s_hexDigits[pBytes[i] >> 4];
        *p++ = s_hexDigits[pBytes[i] & 0xF];
    }
    *p = '\0';
}

static inline uint32_t Rotl32(uint32_t x, int r)
{
    return (x << r) | (x >> (32 - r));
}

static inline uint32_t MurmurMixK(uint32_t k)
{
    k *= 0xcc9e2d51u;
    k = Rotl32(k, 15);
    k *= 0x1b873593u;
    return k;
}

uint32_t V_HashMurmur3(const void* pData, int length, uint32_t seed, bool foldCase)
{
    if (!STR_ASSERT(length >= 0) || !STR_ASSERT(pData != NULL || length == 0)) length = 0;
    const uint32_t mask = foldCase ? 0xDFDFDFDFu : 0xFFFFFFFFu;
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    const int blocks = length / 4;
    uint32_t h = seed;

    for (int i = 0; i < blocks; ++i, p += 4)
    {
        uint32_t k = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        h ^= MurmurMixK(k & mask);
        h = Rotl32(h, 13);
        h = h * 5 + 0xe6546b64u;
    }

    uint32_t tail = 0;
    switch (length & 3)
    {
    case 3:
        tail ^= static_cast<uint32_t>(p[2]) << 16;
        [[fallthrough]];
    case 2:
        tail ^= static_cast<uint32_t>(p[1]) << 8;
        [[fallthrough]];
    case 1:
        tail ^= p[0];
        h ^= MurmurMixK(tail & mask);
        break;
    default:
        break;
    }

    h ^= static_cast<uint32_t>(length);
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}
