// Collects the assertion lines the containers write to the debugger output on
// the calling thread.
#pragma once

#include "plinth/platform_debug.h"

#include <string>

class CUtlAssertCapture
{
public:
    CUtlAssertCapture() { m_pfnPrev = Plat_SetDebugOutputObserver(&Observe, this); }
    ~CUtlAssertCapture() { Plat_SetDebugOutputObserver(m_pfnPrev, nullptr); }

    // True when "<source> (<line>) : <message>\n" was written for some line.
    bool HasLine(const char* pszSource, const std::string& message) const
    {
        const std::string head = std::string(pszSource) + " (";
        const std::string tail = ") : " + message + "\n";
        for (size_t pos = m_output.find(head); pos != std::string::npos;
             pos = m_output.find(head, pos + 1))
        {
            size_t eol = m_output.find('\n', pos);
            size_t close = m_output.find(tail, pos);
            if (close != std::string::npos && close + tail.size() - 1 == eol) return true;
        }
        return false;
    }
    bool Has(const char* pszSource, const char* pszExpression) const
    {
        return HasLine(pszSource, std::string("Assertion Failed: ") + pszExpression);
    }
    bool Empty() const { return m_output.empty(); }
    const std::string& Output() const { return m_output; }
    void Clear() { m_output.clear(); }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        static_cast<CUtlAssertCapture*>(pContext)->m_output += pszText;
    }

    PlatDebugOutputObserver m_pfnPrev;
    std::string m_output;
};

#define UTL_SRC_MEMORY "..\\trestle\\utlmemory"
#define UTL_SRC_VECTOR "..\\trestle\\utlvector"
#define UTL_SRC_RBTREE "..\\trestle\\utlrbtree"
#define UTL_SRC_STRING "..\\trestle\\utlstring"
