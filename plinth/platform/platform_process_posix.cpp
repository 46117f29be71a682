// Processes over POSIX: liveness by signal 0, starting by posix_spawn.
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_env_unicode.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

extern char** environ;

namespace
{
struct ProcessRecord
{
    pid_t m_pid;
};

bool IsAlive(pid_t pid)
{
    // EPERM: it exists but belongs to someone else.
    return kill(pid, 0) == 0 || errno == EPERM;
}
} // namespace

PlatProcess Plat_OpenProcessForQuery(uint32_t pid)
{
    if (pid == 0 || pid > 0x7FFFFFFFu || !IsAlive((pid_t)pid)) return nullptr;
    ProcessRecord* pRecord = (ProcessRecord*)malloc(sizeof(ProcessRecord));
    if (!pRecord) return nullptr;
    pRecord->m_pid = (pid_t)pid;
    return (PlatProcess)pRecord;
}

bool Plat_GetExitCodeProcess(PlatProcess hProcess, uint32_t* pExitCode)
{
    if (!hProcess || !pExitCode) return false;
    const ProcessRecord* pRecord = (const ProcessRecord*)hProcess;
    // The real exit code of an unrelated process cannot be had here.
    *pExitCode = IsAlive(pRecord->m_pid) ? (uint32_t)PLAT_STILL_ACTIVE : 0u;
    return true;
}

void Plat_CloseProcess(PlatProcess hProcess)
{
    free(hProcess);
}

uint32_t Plat_GetCurrentProcessId()
{
    return (uint32_t)getpid();
}

void Plat_TerminateCurrentProcess(uint32_t exitCode)
{
    _exit((int)exitCode);
}

bool Plat_IsWow64Process()
{
    return false;
}

intptr_t Plat_ShellExecute(const char* pszPath, const char* pszParams)
{
    if (!pszPath || !*pszPath || Plat_Utf8ToUtf16(pszPath, nullptr, 0) <= 0) return 2;
    if (!pszParams) pszParams = "";
    // argv[0] is the path, then the parameters split on blanks.
    size_t cbParams = strlen(pszParams);
    char* pszCopy = (char*)malloc(cbParams + 1);
    char** ppArgv = (char**)malloc(sizeof(char*) * (cbParams / 2 + 3));
    if (!pszCopy || !ppArgv)
    {
        free(pszCopy);
        free(ppArgv);
        return 2;
    }
    memcpy(pszCopy, pszParams, cbParams + 1);
    int nArgs = 0;
    ppArgv[nArgs++] = const_cast<char*>(pszPath);
    for (char* p = pszCopy; *p;)
    {
        while (*p == ' ' || *p == '\t')
            *p++ = 0;
        if (!*p) break;
        ppArgv[nArgs++] = p;
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    ppArgv[nArgs] = nullptr;
    // Windows takes '\' as a separator; so does this stand-in.
    char* pszPosixPath = strdup(pszPath);
    if (!pszPosixPath)
    {
        free(pszCopy);
        free(ppArgv);
        return 2;
    }
    for (char* p = pszPosixPath; *p; ++p)
        if (*p == '\\') *p = '/';
    ppArgv[0] = pszPosixPath;
    pid_t pid = 0;
    int rc = posix_spawn(&pid, pszPosixPath, nullptr, nullptr, ppArgv, environ);
    free(pszPosixPath);
    free(pszCopy);
    free(ppArgv);
    return rc == 0 ? 42 : 2;
}

bool Plat_PathExists(const char* pszPath)
{
    if (!pszPath || Plat_Utf8ToUtf16(pszPath, nullptr, 0) <= 0) return false;
    // Windows takes '\' as a separator; so does this stand-in.
    char* pszPosixPath = strdup(pszPath);
    if (!pszPosixPath) return false;
    for (char* p = pszPosixPath; *p; ++p)
        if (*p == '\\') *p = '/';
    struct stat st;
    bool bExists = stat(pszPosixPath, &st) == 0;
    free(pszPosixPath);
    return bExists;
}
