// Strict UTF-8 / UTF-16 conversion: overlong forms, surrogates encoded in
// UTF-8 and unpaired surrogates in UTF-16 are rejected, as the system
// converters do with their error flag.
#include "plinth/platform/platform_env_unicode.h"

#include <cstdint>
#include <cstdlib>

static bool DecodeUtf8(const unsigned char*& p, uint32_t& cp)
{
    unsigned char c = *p;
    int nMore;
    uint32_t minValue;
    if (c < 0x80)
    {
        cp = c;
        ++p;
        return true;
    }
    if ((c & 0xE0) == 0xC0)
    {
        cp = c & 0x1F;
        nMore = 1;
        minValue = 0x80;
    }
    else if ((c & 0xF0) == 0xE0)
    {
        cp = c & 0x0F;
        nMore = 2;
        minValue = 0x800;
    }
    else if ((c & 0xF8) == 0xF0)
    {
        cp = c & 0x07;
        nMore = 3;
        minValue = 0x10000;
    }
    else
        return false;
    ++p;
    for (int i = 0; i < nMore; ++i, ++p)
    {
        if ((*p & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (*p & 0x3F);
    }
    if (cp < minValue || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    return true;
}

int Plat_Utf8ToUtf16(const char* pszIn, char16_t* pOut, int cOutUnits)
{
    if (!pszIn) return 0;
    bool bMeasure = !pOut || cOutUnits <= 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszIn);
    int n = 0;
    for (;;)
    {
        uint32_t cp;
        if (!DecodeUtf8(p, cp)) return 0;
        int units = cp >= 0x10000 ? 2 : 1;
        if (!bMeasure && n + units > cOutUnits) return 0;
        if (!bMeasure)
        {
            if (units == 2)
            {
                cp -= 0x10000;
                pOut[n] = (char16_t)(0xD800 + (cp >> 10));
                pOut[n + 1] = (char16_t)(0xDC00 + (cp & 0x3FF));
            }
            else
                pOut[n] = (char16_t)cp;
        }
        n += units;
        if (cp == 0) return n;
    }
}

int Plat_Utf16ToUtf8(const char16_t* pIn, char* pszOut, int cbOut)
{
    if (!pIn) return 0;
    bool bMeasure = !pszOut || cbOut <= 0;
    int n = 0;
    for (;;)
    {
        uint32_t cp = *pIn++;
        if (cp >= 0xD800 && cp <= 0xDBFF)
        {
            uint32_t lo = *pIn;
            if (lo < 0xDC00 || lo > 0xDFFF) return 0;
            ++pIn;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        }
        else if (cp >= 0xDC00 && cp <= 0xDFFF)
            return 0;
        unsigned char buf[4];
        int len;
        if (cp < 0x80)
        {
            buf[0] = (unsigned char)cp;
            len = 1;
        }
        else if (cp < 0x800)
        {
            buf[0] = (unsigned char)(0xC0 | (cp >> 6));
            buf[1] = (unsigned char)(0x80 | (cp & 0x3F));
            len = 2;
        }
        else if (cp < 0x10000)
        {
            buf[0] = (unsigned char)(0xE0 | (cp >> 12));
            buf[1] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            buf[2] = (unsigned char)(0x80 | (cp & 0x3F));
            len = 3;
        }
        else
        {
            buf[0] = (unsigned char)(0xF0 | (cp >> 18));
            buf[1] = (unsigned char)(0x80 | ((cp >> 12) & 0x3F));
            buf[2] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            buf[3] = (unsigned char)(0x80 | (cp & 0x3F));
            len = 4;
        }
        if (!bMeasure)
        {
            if (n + len > cbOut) return 0;
            for (int i = 0; i < len; ++i)
                pszOut[n + i] = (char)buf[i];
        }
        n += len;
        if (cp == 0) return n;
    }
}

char16_t* Plat_Utf8ToUtf16Alloc(const char* pszIn)
{
    int n = Plat_Utf8ToUtf16(pszIn, nullptr, 0);
    if (n <= 0) return nullptr;
    char16_t* pOut = (char16_t*)malloc(sizeof(char16_t) * (size_t)n);
    if (pOut && Plat_Utf8ToUtf16(pszIn, pOut, n) != n)
    {
        free(pOut);
        return nullptr;
    }
    return pOut;
}

char* Plat_Utf16ToUtf8Alloc(const char16_t* pIn)
{
    int n = Plat_Utf16ToUtf8(pIn, nullptr, 0);
    if (n <= 0) return nullptr;
    char* pOut = (char*)malloc((size_t)n);
    if (pOut && Plat_Utf16ToUtf8(pIn, pOut, n) != n)
    {
        free(pOut);
        return nullptr;
    }
    return pOut;
}

void Plat_FreeConverted(void* pBlock)
{
    free(pBlock);
}
