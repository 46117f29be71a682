// UTF-8 / UTF-16 / UTF-32 conversions. Each conversion decodes one character
// at a time into a code point (or an error mark) and encodes it; measuring,
// skipping, failing and overflow are handled once in ConvertString.
#include "trestle/strtools_unicode.h"

#include "plinth/dbg.h"

namespace
{

const uint32_t kReplacementChar = '?';

struct DecodedChar
{
    uint32_t m_codePoint;
    int m_nConsumed; // input units
    bool m_bError;
};

DecodedChar MakeError(int consumed)
{
    return DecodedChar{kReplacementChar, consumed, true};
}

inline bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

DecodedChar DecodeUTF8(const char* pIn)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pIn);
    unsigned char lead = p[0];
    if (lead < 0x80) return DecodedChar{lead, 1, false};
    if (lead < 0xC0 || lead > 0xF7) return MakeError(1);

    int len;
    uint32_t value;
    if (lead < 0xE0)
    {
        len = 2;
        value = lead & 0x1F;
    }
    else if (lead < 0xF0)
    {
        len = 3;
        value = lead & 0x0F;
    }
    else
    {
        len = 4;
        value = lead & 0x07;
    }
    // A missing continuation byte (the terminator included) ends the sequence
    // before it, so decoding resumes at the bad byte.
    for (int i = 1; i < len; ++i)
    {
        if (!IsContinuation(p[i])) return MakeError(i);
        value = (value << 6) | (p[i] & 0x3F);
    }

    uint32_t minValue = (len == 2) ? 0x80 : (len == 3) ? 0x800 : 0x10000;
    // A surrogate pair written as two 3-byte sequences stands for one
    // supplementary character.
    if (len == 3 && value >= 0xD800 && value <= 0xDBFF && p[3] == 0xED && p[4] >= 0xB0 &&
        p[4] <= 0xBF && IsContinuation(p[5]))
    {
        uint32_t low = 0xD000 | (static_cast<uint32_t>(p[4] & 0x3F) << 6) | (p[5] & 0x3F);
        value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
        len = 6;
        minValue = 0x10000;
    }
    if (value < minValue || !V_IsValidCodePoint(value)) return MakeError(len);
    return DecodedChar{value, len, false};
}

inline bool IsNonCharacterUnit(uint32_t u)
{
    return u >= 0xFFFE || (u >= 0xFDD0 && u <= 0xFDEF);
}

DecodedChar DecodeUTF16(const char16_t* p)
{
    uint32_t unit = p[0];
    if ((unit < 0xD800 || unit > 0xDFFF) && !IsNonCharacterUnit(unit))
        return DecodedChar{unit, 1, false};
    if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF)
    {
        uint32_t value = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
        if (!V_IsValidCodePoint(value)) return MakeError(2);
        return DecodedChar{value, 2, false};
    }
    return MakeError(1);
}

DecodedChar DecodeUTF32(const char32_t* p)
{
    uint32_t value = p[0];
    if (!V_IsValidCodePoint(value)) return MakeError(1);
    return DecodedChar{value, 1, false};
}

struct UTF8Out
{
    typedef char Unit;
    static int Units(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c <= 0xFFFF ? 3 : 4; }
    static void Write(Unit* p, uint32_t c)
    {
        if (c < 0x80)
        {
            p[0] = static_cast<char>(c);
        }
        else if (c < 0x800)
        {
            p[0] = static_cast<char>(0xC0 | (c >> 6));
            p[1] = static_cast<char>(0x80 | (c & 0x3F));
        }
        else if (c <= 0xFFFF)
        {
            p[0] = static_cast<char>(0xE0 | (c >> 12));
            p[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            p[2] = static_cast<char>(0x80 | (c & 0x3F));
        }
        else
        {
            p[0] = static_cast<char>(0xF0 | (c >> 18));
            p[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            p[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            p[3] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
};

struct UTF16Out
{
    typedef char16_t Unit;
    static int Units(uint32_t c) { return c > 0xFFFF ? 2 : 1; }
    static void Write(Unit* p, uint32_t c)
    {
        if (c > 0xFFFF)
        {
            p[0] = static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10));
            p[1] = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        }
        else
        {
            p[0] = static_cast<char16_t>(c);
        }
    }
};

// Bytes the rest of the input needs as output, terminator included; 0 when
// ConvertFailOnInvalid meets an invalid sequence.
template <typename In, typename Out, DecodedChar (*Decode)(const In*)>
int MeasureString(const In* pIn, int flags)
{
    const int unitSize = static_cast<int>(sizeof(typename Out::Unit));
    int64_t total = unitSize;
    while (*pIn)
    {
        DecodedChar ch = Decode(pIn);
        pIn += ch.m_nConsumed;
        if (ch.m_bError)
        {
            if (flags & ConvertSkipInvalid) continue;
            if (flags & ConvertFailOnInvalid) return 0;
        }
        total += static_cast<int64_t>(Out::Units(ch.m_codePoint)) * unitSize;
        // Sizes are 32-bit; a text this large cannot be described.
        if (total > 0x7FFFFFFF) return 0;
    }
    return static_cast<int>(total);
}

template <typename In, typename Out, DecodedChar (*Decode)(const In*)>
int ConvertString(const In* pIn, typename Out::Unit* pOut, int outSizeBytes, int flags)
{
    typedef typename Out::Unit Unit;
    const int unitSize = static_cast<int>(sizeof(Unit));
    if (!pIn)
    {
        AssertFailed("strtools_unicode", __LINE__, "invalid input pointer");
        if (pOut && outSizeBytes >= unitSize) pOut[0] = 0;
        return 0;
    }
    if (!pOut) return MeasureString<In, Out, Decode>(pIn, flags);
    if (outSizeBytes < unitSize) return 0;

    const int capacity = outSizeBytes / unitSize - 1; // one place for the terminator
    int used = 0;
    while (*pIn)
    {
        DecodedChar ch = Decode(pIn);
        pIn += ch.m_nConsumed;
        if (ch.m_bError)
        {
            if (flags & ConvertSkipInvalid) continue;
            // Judged before the room for its '?' is: the flag fails the whole
            // conversion on an invalid sequence, also one that meets an
            // output already full ("abc" and a lone surrogate into 4 bytes
            // give 0, not 4); the '?' it would have become never counts.
            if (flags & ConvertFailOnInvalid)
            {
                pOut[0] = 0;
                return 0;
            }
        }
        int units = Out::Units(ch.m_codePoint);
        if (used + units > capacity)
        {
            pOut[used] = 0;
            if (!(flags & ConvertMeasureOnOverflow)) return (used + 1) * unitSize;
            int rest = MeasureString<In, Out, Decode>(pIn, flags);
            if (rest == 0)
            {
                // The whole conversion would fail, so the cut output must not
                // stand either.
                pOut[0] = 0;
                return 0;
            }
            return (used + units) * unitSize + rest;
        }
        Out::Write(pOut + used, ch.m_codePoint);
        used += units;
    }
    pOut[used] = 0;
    return (used + 1) * unitSize;
}

} // namespace

bool V_IsValidCodePoint(uint32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF) && (c & 0xFFFE) != 0xFFFE &&
           (c < 0xFDD0 || c > 0xFDEF);
}

int V_UTF8ToUTF16(const char* pUTF8, char16_t* pUTF16, int outSizeBytes, int flags)
{
    return ConvertString<char, UTF16Out, DecodeUTF8>(pUTF8, pUTF16, outSizeBytes, flags);
}

int V_UTF16ToUTF8(const char16_t* pUTF16, char* pUTF8, int outSizeBytes, int flags)
{
    return ConvertString<char16_t, UTF8Out, DecodeUTF16>(pUTF16, pUTF8, outSizeBytes, flags);
}

int V_UTF32ToUTF8(const char32_t* pUTF32, char* pUTF8, int outSizeBytes, int flags)
{
    return ConvertString<char32_t, UTF8Out, DecodeUTF32>(pUTF32, pUTF8, outSizeBytes, flags);
}

int V_UTF32ToUTF16(const char32_t* pUTF32, char16_t* pUTF16, int outSizeBytes, int flags)
{
    return ConvertString<char32_t, UTF16Out, DecodeUTF32>(pUTF32, pUTF16, outSizeBytes, flags);
}
