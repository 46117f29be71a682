// Test support: collects what the code under test writes to the debugger
// output, call by call.
//
//   DebugOutputCapture capture;                 // statically linked code
//   DebugOutputCapture capture(DebugOutputCapture::EXCEPTION_WATCH);
//                                               // a library loaded at run time
//                                               // (Windows; POSIX: none)
#pragma once

#include "plinth/platform/platform_debug.h"

#include <mutex>
#include <string>
#include <vector>

class DebugOutputCapture
{
public:
    enum Mode
    {
        OBSERVER,
        EXCEPTION_WATCH,
    };

    explicit DebugOutputCapture(Mode mode = OBSERVER) : m_mode(mode)
    {
        if (m_mode == OBSERVER)
            Plat_SetDebugOutputObserver(&DebugOutputCapture::Observe, this);
        else
            m_hWatcher = Plat_AddDebugOutputExceptionWatcher(&DebugOutputCapture::Observe, this);
    }
    ~DebugOutputCapture()
    {
        if (m_mode == OBSERVER)
            Plat_SetDebugOutputObserver(nullptr, nullptr);
        else
            Plat_RemoveDebugOutputExceptionWatcher(m_hWatcher);
    }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    // False when the watch could not be installed (EXCEPTION_WATCH on POSIX).
    bool Active() const { return m_mode == OBSERVER || m_hWatcher != nullptr; }

    std::vector<std::string> Calls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::string Text() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string text;
        for (const std::string& call : m_calls)
            text += call;
        return text;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        DebugOutputCapture* pSelf = static_cast<DebugOutputCapture*>(pContext);
        std::lock_guard<std::mutex> lock(pSelf->m_mutex);
        pSelf->m_calls.push_back(pszText);
    }

    Mode m_mode;
    void* m_hWatcher = nullptr;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};
