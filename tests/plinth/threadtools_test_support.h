// Helpers for the thread tests: collects assertion texts written to the
// debugger output and runs small lambdas on CThreads.
#pragma once

#include "plinth/platform/platform_debug.h"
#include "plinth/threadtools.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CDebugOutputCapture
{
public:
    CDebugOutputCapture() { m_pfnPrev = Plat_SetDebugOutputObserver(&Observe, this); }
    ~CDebugOutputCapture() { Plat_SetDebugOutputObserver(m_pfnPrev, nullptr); }

    std::vector<std::string> Texts()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_texts;
    }
    // Number of captured lines that contain `needle`.
    int Count(const std::string& needle)
    {
        int n = 0;
        for (const std::string& text : Texts())
            n += text.find(needle) != std::string::npos;
        return n;
    }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        CDebugOutputCapture* pSelf = (CDebugOutputCapture*)pContext;
        std::lock_guard<std::mutex> guard(pSelf->m_mutex);
        pSelf->m_texts.push_back(pszText ? pszText : "");
    }

    PlatDebugOutputObserver m_pfnPrev;
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

// A CThread that runs a function object.
class CLambdaThread : public CThread
{
public:
    explicit CLambdaThread(std::function<int()> body, std::function<bool()> prepare = nullptr)
        : m_body(std::move(body)), m_prepare(std::move(prepare))
    {
    }
    ~CLambdaThread() override { WaitForExit(); }

    bool Prepare() override { return m_prepare ? m_prepare() : true; }
    int Body() override { return m_body(); }

private:
    std::function<int()> m_body;
    std::function<bool()> m_prepare;
};
