// Processes: query another process, end this one, start executables.
#pragma once

#include <cstdint>

typedef struct PlatProcess_s* PlatProcess;

// Exit code of a process that has not ended (STILL_ACTIVE).
enum : uint32_t
{
    PLAT_STILL_ACTIVE = 259
};

// OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid); null on failure
// (pid 0 always fails). POSIX: succeeds when the process exists.
PlatProcess Plat_OpenProcessForQuery(uint32_t pid);
// GetExitCodeProcess. POSIX: 259 while kill(pid, 0) finds the process,
// otherwise 0.
bool Plat_GetExitCodeProcess(PlatProcess hProcess, uint32_t* pExitCode);
// CloseHandle; a null handle is ignored.
void Plat_CloseProcess(PlatProcess hProcess);

uint32_t Plat_GetCurrentProcessId();

// Ends the current process at once with the exit code (TerminateProcess on
// the current process; POSIX: _exit). Nothing else runs: no atexit handlers,
// no static destructors, no stream flushing.
[[noreturn]] void Plat_TerminateCurrentProcess(uint32_t exitCode);

// IsWow64Process on the current process, looked up at run time from
// "kernel32"; false when the function is missing or fails. POSIX: false.
bool Plat_IsWow64Process();

// ShellExecuteW(NULL, NULL, path, params, NULL, SW_SHOWNORMAL); the text is
// converted from UTF-8. Returns the call's value: above 32 when the system
// accepted it. POSIX: posix_spawn of the executable with `pszParams` split on
// blanks as its arguments; 42 when it started, 2 when it could not.
intptr_t Plat_ShellExecute(const char* pszPath, const char* pszParams);

// GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES: a file or folder of
// that name exists. False for text that is not valid UTF-8.
bool Plat_PathExists(const char* pszPath);
