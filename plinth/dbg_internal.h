// Pieces of the diagnostics that tests reach directly.
#pragma once

#include <cstdint>

// The switch test of HasCommandLineSwitch over an explicit argument vector
// (ppArgs[0] is the program name and is skipped).
bool CommandLineArgsHaveSwitch(int nArgs, const char* const* ppArgs, const char* pszName);

// Replaces the process's parsed arguments that HasCommandLineSwitch reads and
// returns the ones before (null when not parsed yet). For tests: the caller
// keeps `pArgs` alive while it is in place and puts the old ones back.
struct PlatCommandLineArgs;
PlatCommandLineArgs* SwapCommandLineArgs(PlatCommandLineArgs* pArgs);

// The assert ignore list. Lines -1/-1 mean every line of the file; a count of
// -1 means for ever. New entries go to the head.
void AssertIgnoreList_Add(const char* pszFile, int minLine, int maxLine, int count);
// The dialog's ignore-for-a-count button: the next nTimes hits of this line
// are not shown. False (and nothing added) for 0 or a count out of range.
bool AssertIgnoreList_AddForCount(const char* pszFile, int line, uint32_t nTimes);
// True when the assertion is to be shown; counts suppressing entries down and
// drops those that run out.
bool AssertIgnoreList_ShouldShow(const char* pszFile, int line);
int AssertIgnoreList_Count();
void AssertIgnoreList_Clear();

// Where ReportAssertion and _ExitOnFatalAssert send dump requests; null
// restores WriteDumpOnAssert. Returns the previous hook (null for the
// default).
typedef void (*AssertDumpRequestFn)(const char* pszMessage, const char* pszFile, int line,
                                    bool bDump, bool bForce);
AssertDumpRequestFn SetAssertDumpRequestHook(AssertDumpRequestFn pfnHook);
void RequestAssertDump(const char* pszMessage, const char* pszFile, int line, bool bDump,
                       bool bForce);

// Flushes standard output and ends the process at once with `exitCode`.
[[noreturn]] void DbgTerminateProcess(unsigned exitCode);

// The spew lock, for callers that need the source record and the message
// written as one step.
void SpewLock_Enter();
void SpewLock_Leave();
