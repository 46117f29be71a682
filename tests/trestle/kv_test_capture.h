// Captures what the block pool and key-values code write: assertion lines on
// the debugger output of the calling thread, and spew messages/warnings on
// standard output.
#pragma once

#include "plinth/platform_debug.h"

#include <gtest/gtest.h>

#include <string>

class CKvDebugCapture
{
public:
    CKvDebugCapture() { m_pfnPrev = Plat_SetDebugOutputObserver(&Observe, this); }
    ~CKvDebugCapture() { Plat_SetDebugOutputObserver(m_pfnPrev, nullptr); }

    // True when "<source> (<line>) : <message>\n" was written for some line.
    bool HasAssert(const char* pszSource, const std::string& message) const
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
    bool Contains(const std::string& text) const
    {
        return m_output.find(text) != std::string::npos;
    }
    const std::string& Output() const { return m_output; }
    void Clear() { m_output.clear(); }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        static_cast<CKvDebugCapture*>(pContext)->m_output += pszText;
    }

    PlatDebugOutputObserver m_pfnPrev;
    std::string m_output;
};

// Standard output between construction and Take().
class CKvStdoutCapture
{
public:
    CKvStdoutCapture() { testing::internal::CaptureStdout(); }
    ~CKvStdoutCapture()
    {
        if (!m_bTaken) testing::internal::GetCapturedStdout();
    }
    std::string Take()
    {
        m_bTaken = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    bool m_bTaken = false;
};

#define KV_SRC_MEMPOOL "..\\trestle\\mempool"
#define KV_SRC_SYSTEM "keyvaluessystem"
#define KV_SRC_KEYVALUES "KeyValues"
