// Protected calls. Until the crash-handler hookup is in place the context is
// simply invoked; the dump translator and the after-exception modes belong to
// the crash-dump writer.
#include "plinth/dumpguard.h"

#include "plinth/dbg.h"

int CatchAndWriteContext_t::Set(PointerFn_t pfn, void** ppvArg, bool bExitOnException)
{
    if (!pfn) SpewError("CatchAndWriteContext_t::Set w/o a function pointer!");
    m_nKind = KIND_POINTER;
    m_pfn = (void*)pfn;
    m_pArgc = nullptr;
    m_pArgv = nullptr;
    m_ppvArg = ppvArg;
    m_nAfterException = bExitOnException ? AFTER_EXCEPTION_EXIT : AFTER_EXCEPTION_RETHROW;
    return RunWithDumpOnException(*this);
}

int CatchAndWriteContext_t::Invoke()
{
    switch (m_nKind)
    {
    case KIND_ARGC_ARGV:
    case KIND_ARGC_ARGV_INT:
    {
        if (!m_pArgc || !m_pArgv)
        {
            SpewError("CatchAndWriteContext_t::Invoke with bogus argc/argv");
            return 0;
        }
        int nResult = ((ArgcArgvFn_t)m_pfn)(*m_pArgc, *m_pArgv);
        return m_nKind == KIND_ARGC_ARGV_INT ? nResult : 0;
    }
    case KIND_POINTER:
        if (!m_ppvArg)
        {
            SpewError("CatchAndWriteContext_t::Invoke with bogus void *ptr");
            return 0;
        }
        ((PointerFn_t)m_pfn)(*m_ppvArg);
        return 0;
    default:
        return 0;
    }
}

int RunWithDumpOnException(CatchAndWriteContext_t& context)
{
    return context.Invoke();
}
