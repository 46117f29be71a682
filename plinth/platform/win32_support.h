// What every Windows file of the platform layer shares. Only the *_win32.cpp
// files of this folder include it.
#pragma once

#include "plinth/platform/platform_env_unicode.h"

// The caller's UTF-8 as a wide argument for the W calls, converted strictly:
// text that is not valid UTF-8 gives no wide text rather than a guessed one.
class WideText
{
public:
    explicit WideText(const char* pszText)
        : m_pText(pszText ? Plat_Utf8ToUtf16Alloc(pszText) : nullptr),
          m_bFailed(pszText && !m_pText)
    {
    }
    ~WideText() { Plat_FreeConverted(m_pText); }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    // Null for a null or invalid text.
    const wchar_t* Get() const { return reinterpret_cast<const wchar_t*>(m_pText); }
    wchar_t* Get() { return reinterpret_cast<wchar_t*>(m_pText); }
    // True when a text was given but could not be converted.
    bool Failed() const { return m_bFailed; }

private:
    char16_t* m_pText;
    bool m_bFailed;
};
