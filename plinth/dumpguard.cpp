// Protected calls: the context runs under the fault guard, faults and
// exceptions are written to a crash dump, then rethrown, swallowed or end the
// process as the context asks.
#include "plinth/dumpguard.h"

#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_faultguard.h"
#include "plinth/minidump_internal.h"

#include <exception>

namespace
{
// The exception code C++ exceptions carry on the hosts' own compiler.
const uint32_t kCppExceptionCode = 0xE06D7363u;

struct GuardedCall_t
{
    CatchAndWriteContext_t* m_pContext;
    int m_nResult;
    std::exception_ptr m_pException;
};

PlatFaultAction OnGuardedFault(uint32_t nCode, void* pExceptionPointers, void* pvCall)
{
    GuardedCall_t* pCall = (GuardedCall_t*)pvCall;
    WriteExceptionDump(nCode, pExceptionPointers);
    switch (pCall->m_pContext->m_nAfterException)
    {
    case CatchAndWriteContext_t::AFTER_EXCEPTION_RETHROW:
        return PLAT_FAULT_PASS_ON;
    case CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW:
        return PLAT_FAULT_RECOVER;
    default:
        DbgTerminateProcess(1);
    }
}

void RunGuarded(void* pvCall)
{
    GuardedCall_t* pCall = (GuardedCall_t*)pvCall;
    // Nothing may unwind through the guard: exceptions are kept and dealt
    // with once it is left.
    try
    {
        pCall->m_nResult = pCall->m_pContext->Invoke();
    }
    catch (...)
    {
        pCall->m_pException = std::current_exception();
    }
}
} // namespace

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
    DumpSink_Load();
    GuardedCall_t call = {&context, 0, nullptr};
    if (!Plat_CallWithFaultGuard(&RunGuarded, &call, &OnGuardedFault, &call)) return 0;
    if (!call.m_pException) return call.m_nResult;
    WriteExceptionDump(kCppExceptionCode, nullptr);
    switch (context.m_nAfterException)
    {
    case CatchAndWriteContext_t::AFTER_EXCEPTION_RETHROW:
        std::rethrow_exception(call.m_pException);
    case CatchAndWriteContext_t::AFTER_EXCEPTION_SWALLOW:
        return 0;
    default:
        DbgTerminateProcess(1);
    }
}
