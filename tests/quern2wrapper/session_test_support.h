// Shared helpers of the wrapper tests: debugger-output capture, the client
// registration in the registry, the client stand-in's environment and log.
#pragma once

#include <string>
#include <vector>

// Collects every text written to the debugger output while it lives.
class DebugOutputCapture
{
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    const std::vector<std::string>& Lines() const { return m_lines; }
    void Clear() { m_lines.clear(); }

private:
    static void Observe(const char* pszText, void* pContext);
    std::vector<std::string> m_lines;
};

// Path of a built binary beside the tests, in the form the library takes
// (a drive path under Wine).
std::string BinaryPath(const char* pszFileName);
// A host path in the form the library takes (a drive path under Wine).
std::string HostPath(std::string path);
// Path of a scratch file in the current directory, as the library takes it.
std::string ScratchPath(const char* pszFileName);

// Sets or (null value) removes an environment variable of the process.
void SetEnv(const char* pszName, const char* pszValue);

// Registers a client in HKCU\...\ActiveProcess (32-bit view). A null
// library path or pid 0 leaves that value out.
void RegisterClient(const char* pszLibraryPath, unsigned pid);
// Removes both values again.
void UnregisterClient();
// A process id that names no process.
constexpr unsigned kDeadPid = 0x3FFFFFF0u;

// The client stand-in's log: cleared by StartStandInLog, read as lines.
void StartStandInLog();
std::vector<std::string> ReadStandInLog();
// Waits (up to 10 s) until the log holds `count` lines; a started executable
// is not awaited by whoever started it.
std::vector<std::string> WaitForLogLines(size_t count);
// Clears every QUERN_STANDIN_* variable the tests use (except the log).
void ResetStandInEnv();
