// Conversions between UTF-8, UTF-16 and UTF-32.
//
// Every conversion takes the NUL-terminated input, an output buffer (null to
// measure), the output size in BYTES (also for UTF-16 output) and flags, and
// returns the bytes used or needed including the terminator, or 0 on failure.
// Invalid sequences become '?' unless the flags say otherwise.
#pragma once

#include <cstdint>
#include <type_traits>

enum EStringConvertFlags
{
    // An invalid sequence produces no output.
    ConvertSkipInvalid = 1,
    // An invalid sequence fails the conversion: empty output, result 0.
    ConvertFailOnInvalid = 2,
    // On a too-small buffer the output is cut but the result is the full size
    // needed; compare it with the buffer size to detect the overflow.
    ConvertMeasureOnOverflow = 8,
};

int V_UTF8ToUTF16(const char* pUTF8, char16_t* pUTF16, int outSizeBytes, int flags);
int V_UTF16ToUTF8(const char16_t* pUTF16, char* pUTF8, int outSizeBytes, int flags);
int V_UTF32ToUTF8(const char32_t* pUTF32, char* pUTF8, int outSizeBytes, int flags);
int V_UTF32ToUTF16(const char32_t* pUTF32, char16_t* pUTF16, int outSizeBytes, int flags);

// True for code points the conversions accept: at most 0x10FFFF, no
// surrogates, no non-characters (xxFFFE/xxFFFF, U+FDD0..U+FDEF).
bool V_IsValidCodePoint(uint32_t codePoint);

#if defined(_WIN32)
// Windows wide strings are UTF-16; let platform code pass them directly. These
// are templates so that a literal nullptr (measuring) still picks the char16_t
// form without ambiguity.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be 16-bit on Windows");
template <typename W, typename = typename std::enable_if<std::is_same<W, wchar_t>::value>::type>
inline int V_UTF8ToUTF16(const char* pUTF8, W* pUTF16, int outSizeBytes, int flags)
{
    return V_UTF8ToUTF16(pUTF8, reinterpret_cast<char16_t*>(pUTF16), outSizeBytes, flags);
}
template <typename W, typename = typename std::enable_if<std::is_same<W, wchar_t>::value>::type>
inline int V_UTF16ToUTF8(const W* pUTF16, char* pUTF8, int outSizeBytes, int flags)
{
    return V_UTF16ToUTF8(reinterpret_cast<const char16_t*>(pUTF16), pUTF8, outSizeBytes, flags);
}
template <typename W, typename = typename std::enable_if<std::is_same<W, wchar_t>::value>::type>
inline int V_UTF32ToUTF16(const char32_t* pUTF32, W* pUTF16, int outSizeBytes, int flags)
{
    return V_UTF32ToUTF16(pUTF32, reinterpret_cast<char16_t*>(pUTF16), outSizeBytes, flags);
}
#endif
