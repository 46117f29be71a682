// Command-line switches, parsed once and published atomically.
#include "plinth/dbg.h"
#include "plinth/asciicase.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_env.h"

#include <atomic>

namespace
{
std::atomic<PlatCommandLineArgs*> g_pCommandLineArgs{nullptr};

const PlatCommandLineArgs* CommandLineArgs()
{
    PlatCommandLineArgs* pArgs = g_pCommandLineArgs.load(std::memory_order_acquire);
    if (pArgs) return pArgs;
    PlatCommandLineArgs* pParsed = Plat_ParseCommandLineArgs();
    if (!pParsed) return nullptr;
    if (g_pCommandLineArgs.compare_exchange_strong(pArgs, pParsed, std::memory_order_acq_rel))
        return pParsed;
    // Another thread published first; use its block.
    Plat_FreeCommandLineArgs(pParsed);
    return pArgs;
}

} // namespace

bool CommandLineArgsHaveSwitch(int nArgs, const char* const* ppArgs, const char* pszName)
{
    if (!pszName || !*pszName || !ppArgs) return false;
    for (int i = 1; i < nArgs; ++i)
    {
        const char* pszArg = ppArgs[i];
        if (!pszArg) continue;
        int len = 0;
        while (pszName[len] && LowerAscii(pszName[len]) == LowerAscii(pszArg[len]))
            ++len;
        if (pszName[len]) continue;
        // "-name", "-name=value", or a name that carries its own '='.
        if (pszName[len - 1] == '=' || pszArg[len] == 0 || pszArg[len] == '=') return true;
    }
    return false;
}

PlatCommandLineArgs* SwapCommandLineArgs(PlatCommandLineArgs* pArgs)
{
    return g_pCommandLineArgs.exchange(pArgs, std::memory_order_acq_rel);
}

bool HasCommandLineSwitch(const char* name)
{
    if (!name || !*name) return false;
    const PlatCommandLineArgs* pArgs = CommandLineArgs();
    if (!pArgs) return false;
    return CommandLineArgsHaveSwitch(pArgs->m_nArgs, pArgs->m_ppArgs, name);
}
