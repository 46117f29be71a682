// Captures the debugger output of the calling thread so tests can check the
// exact assertion lines the string functions report.
#pragma once

#include <string>

#include "plinth/platform_debug.h"

class CStrtoolsAssertCapture
{
public:
    CStrtoolsAssertCapture() { m_pfnPrev = Plat_SetDebugOutputObserver(&Observe, this); }
    ~CStrtoolsAssertCapture() { Plat_SetDebugOutputObserver(m_pfnPrev, nullptr); }

    // True when an assertion line "<source> (<line>) : Assertion Failed: <text>"
    // was written.
    bool Has(const char* pszSource, const char* pszText) const
    {
        const std::string head = std::string(pszSource) + " (";
        const std::string tail = ") : Assertion Failed: " + std::string(pszText) + "\n";
        size_t pos = 0;
        while ((pos = m_output.find(head, pos)) != std::string::npos)
        {
            size_t close = m_output.find(tail, pos);
            size_t eol = m_output.find('\n', pos);
            if (close != std::string::npos && close + tail.size() - 1 == eol) return true;
            ++pos;
        }
        return false;
    }
    const std::string& Output() const { return m_output; }
    void Clear() { m_output.clear(); }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        static_cast<CStrtoolsAssertCapture*>(pContext)->m_output += pszText;
    }

    PlatDebugOutputObserver m_pfnPrev;
    std::string m_output;
};
