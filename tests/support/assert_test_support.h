// Test support: collects what the code under test writes to the debugger
// output on this process (assertion lines among it), so tests can check the
// exact texts.
#pragma once

#include "plinth/platform/platform_debug.h"

#include <cstddef>
#include <string>

class CAssertCapture
{
public:
    CAssertCapture() { m_pfnPrev = Plat_SetDebugOutputObserver(&Observe, this); }
    ~CAssertCapture() { Plat_SetDebugOutputObserver(m_pfnPrev, nullptr); }
    CAssertCapture(const CAssertCapture&) = delete;
    CAssertCapture& operator=(const CAssertCapture&) = delete;

    // True when a whole line "<source> (<line>) : <message>" was written.
    bool HasLine(const char* pszSource, const std::string& message) const
    {
        const std::string head = std::string(pszSource) + " (";
        const std::string tail = ") : " + message + "\n";
        for (size_t pos = m_output.find(head); pos != std::string::npos;
             pos = m_output.find(head, pos + 1))
        {
            const size_t eol = m_output.find('\n', pos);
            const size_t close = m_output.find(tail, pos);
            if (close != std::string::npos && close + tail.size() - 1 == eol) return true;
        }
        return false;
    }
    // True when the assertion "Assertion Failed: <expression>" was reported.
    bool Has(const char* pszSource, const std::string& expression) const
    {
        return HasLine(pszSource, "Assertion Failed: " + expression);
    }
    size_t Count(const std::string& text) const
    {
        size_t n = 0;
        for (size_t pos = m_output.find(text); pos != std::string::npos;
             pos = m_output.find(text, pos + 1))
            ++n;
        return n;
    }
    bool Contains(const std::string& text) const
    {
        return m_output.find(text) != std::string::npos;
    }
    bool Empty() const { return m_output.empty(); }
    const std::string& Output() const { return m_output; }
    void Clear() { m_output.clear(); }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        static_cast<CAssertCapture*>(pContext)->m_output += pszText;
    }

    PlatDebugOutputObserver m_pfnPrev;
    std::string m_output;
};
