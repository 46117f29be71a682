// Crash dumps: the lock that serialises dump writing and the assertion path,
// and the assertion-dump entry point.
#pragma once

// The minidump lock: a critical section, recursive for its holder, created on
// first use. Try-enter does not wait.
bool MinidumpLock_TryEnter();
// Tries, then pauses and sleeps 10 ms between tries, for about 10 seconds.
bool MinidumpLock_EnterBounded();
void MinidumpLock_Leave();

// Writing mark; each must be called by the holder of the minidump lock.
void SetWritingMinidump(bool bForce);
void ClearWritingMinidump();
// True when another thread holds the minidump lock or a dump is being written.
bool IsDumpBeingWritten();

// Requests a dump for an assertion. `bDump` is handed on untouched; `bForce`
// skips the interval between assertion dumps (fatal assertions).
void WriteDumpOnAssert(const char* pszMessage, const char* pszFile, int line, bool bDump,
                       bool bForce);

// The crash-handler module's texts and the protected-call guard live in
// plinth/minidump_internal.h and plinth/dumpguard.h.
