// Protected calls: runs a function so that a structured exception inside it
// can be written to a crash dump before it is rethrown, swallowed or ends the
// process. Worker threads run their bodies through here.
#pragma once

#include <cstdint>

struct CatchAndWriteContext_t
{
    enum Kind_t
    {
        KIND_ARGC_ARGV = 1,     // fn(argc, argv), no result
        KIND_ARGC_ARGV_INT = 2, // fn(argc, argv), its int result
        KIND_POINTER = 3,       // fn(ptr), no result
    };
    enum AfterException_t
    {
        AFTER_EXCEPTION_EXIT = 0, // any value other than 1 and 2 ends the process
        AFTER_EXCEPTION_RETHROW = 1,
        AFTER_EXCEPTION_SWALLOW = 2, // return 0
    };

    typedef int (*ArgcArgvFn_t)(int argc, char** argv);
    typedef void (*PointerFn_t)(void* pv);

    int32_t m_nKind;
    void* m_pfn;
    int* m_pArgc;
    char*** m_pArgv;
    void** m_ppvArg;
    int32_t m_nAfterException;

    // Kind 3: fills the context (rethrow unless bExitOnException) and runs it
    // through RunWithDumpOnException, returning its result.
    int Set(PointerFn_t pfn, void** ppvArg, bool bExitOnException);
    // Performs the call the context describes.
    int Invoke();
};

// Installs the exception-dump translator for the calling thread and returns
// the context's Invoke() result.
int RunWithDumpOnException(CatchAndWriteContext_t& context);
