// Processes over kernel32 and shell32.
#include "plinth/platform/platform_process.h"
#include "plinth/platform/win32_support.h"

#include <windows.h>
#include <shellapi.h>

PlatProcess Plat_OpenProcessForQuery(uint32_t pid)
{
    return (PlatProcess)OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
}

bool Plat_GetExitCodeProcess(PlatProcess hProcess, uint32_t* pExitCode)
{
    if (!hProcess || !pExitCode) return false;
    DWORD code = 0;
    if (!GetExitCodeProcess((HANDLE)hProcess, &code)) return false;
    *pExitCode = code;
    return true;
}

void Plat_CloseProcess(PlatProcess hProcess)
{
    if (hProcess) CloseHandle((HANDLE)hProcess);
}

uint32_t Plat_GetCurrentProcessId()
{
    return GetCurrentProcessId();
}

void Plat_TerminateCurrentProcess(uint32_t exitCode)
{
    TerminateProcess(GetCurrentProcess(), exitCode);
    // TerminateProcess on the own process does not return; be sure anyway.
    ExitProcess(exitCode);
}

bool Plat_IsWow64Process()
{
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    HMODULE hKernel = GetModuleHandleA("kernel32");
    if (!hKernel) return false;
    IsWow64ProcessFn pfn =
        reinterpret_cast<IsWow64ProcessFn>((void*)GetProcAddress(hKernel, "IsWow64Process"));
    BOOL bWow64 = FALSE;
    if (!pfn || !pfn(GetCurrentProcess(), &bWow64)) return false;
    return bWow64 != FALSE;
}

intptr_t Plat_ShellExecute(const char* pszPath, const char* pszParams)
{
    WideText path(pszPath);
    WideText params(pszParams);
    if (!path.Get() || params.Failed()) return SE_ERR_FNF;
    HINSTANCE hResult =
        ShellExecuteW(nullptr, nullptr, path.Get(), params.Get(), nullptr, SW_SHOWNORMAL);
    return (intptr_t)hResult;
}

bool Plat_PathExists(const char* pszPath)
{
    WideText path(pszPath);
    if (!path.Get()) return false;
    return GetFileAttributesW(path.Get()) != INVALID_FILE_ATTRIBUTES;
}
