// Debugger output, debugger presence and breakpoints.
#pragma once

// OutputDebugStringA. POSIX: the text is appended to the file named by
// QUERN_DEBUG_OUTPUT ("-" for standard error), nothing when unset. On both
// platforms the installed observer sees the text first.
void Plat_OutputDebugString(const char* pszText);

// IsDebuggerPresent. POSIX: a tracer is attached (TracerPid in
// /proc/self/status is not 0).
bool Plat_IsDebuggerPresent();

// Executes a breakpoint instruction (DebugBreak; POSIX: SIGTRAP).
void Plat_DebugBreak();

// For tests: a stand-in for an attached debugger. While one is set,
// Plat_IsDebuggerPresent answers true and Plat_DebugBreak calls pfnBreak on
// the breaking thread instead of breaking. Null removes it.
typedef void (*PlatDebuggerStandIn)(void* pContext);
void Plat_SetDebuggerStandIn(PlatDebuggerStandIn pfnBreak, void* pContext);

// Observer of the debugger output, for tests: receives every text passed to
// Plat_OutputDebugString, on the calling thread. Null removes it. Returns the
// observer that was installed before.
typedef void (*PlatDebugOutputObserver)(const char* pszText, void* pContext);
PlatDebugOutputObserver Plat_SetDebugOutputObserver(PlatDebugOutputObserver pfnObserver,
                                                    void* pContext);

// For tests that load the library as a separate module (whose observer they
// cannot reach): watches the debugger-output exception that OutputDebugStringA
// raises (DBG_PRINTEXCEPTION_C, through a vectored exception handler) and
// hands each text to `pfnObserver`. Returns a handle for the removal, or null
// where no such exception exists (POSIX: read QUERN_DEBUG_OUTPUT instead).
void* Plat_AddDebugOutputExceptionWatcher(PlatDebugOutputObserver pfnObserver, void* pContext);
void Plat_RemoveDebugOutputExceptionWatcher(void* hWatcher);
