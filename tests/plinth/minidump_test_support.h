// Helpers of the crash-dump tests: the stand-in crash-handler module and its
// call log.
#pragma once

#include "plinth/minidump_internal.h"
#include "plinth/platform/platform_env.h"
#include "tests/plinth/dbg_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

inline std::string MinidumpBinDir()
{
    char szDir[1024];
    uint32_t len = Plat_GetEnvironmentVariable("QUERN_BIN_DIR", szDir, sizeof(szDir));
    std::string dir = (len > 0 && len < sizeof(szDir)) ? std::string(szDir) : QUERN_BIN_DIR;
#if defined(_WIN32)
    // Wine shows the host's file system as drive Z:.
    if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
    for (char& c : dir)
        if (c == '/') c = '\\';
#endif
    return dir;
}

inline std::vector<std::string> ReadLogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ReadWholeFile(path), line;
    for (char c : text)
    {
        if (c == '\n')
        {
            lines.push_back(line);
            line.clear();
        }
        else if (c != '\r')
        {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Points the crash-dump writer at the stand-in sink beside the tests, as if
// the host executable were "<bin>\bin\<exeName>" (a bin directory, so the
// module is looked for in <bin>), and logs its calls to a fresh file.
// Everything is put back afterwards so other tests never see a sink.
class StandInSink
{
public:
    explicit StandInSink(const char* pszExeName = "Host.Game.exe")
        : m_log(TestTempPath("_sink.log"))
    {
        std::remove(m_log.c_str());
        Plat_SetEnvironmentVariable("QUERN_STANDIN_LOG", m_log.c_str());
        Plat_SetEnvironmentVariable("QUERN_FAULTSINK_INFO", nullptr);
        Plat_SetEnvironmentVariable("QUERN_FAULTSINK_REPORT", nullptr);
        m_host = MinidumpBinDir() + "\\bin\\" + pszExeName;
        DumpSink_ResetForTests(m_host.c_str());
        MinidumpSetLastAssertDumpTime(0);
    }
    ~StandInSink()
    {
        Plat_SetEnvironmentVariable("QUERN_STANDIN_LOG", nullptr);
        Plat_SetEnvironmentVariable("QUERN_FAULTSINK_INFO", nullptr);
        Plat_SetEnvironmentVariable("QUERN_FAULTSINK_REPORT", nullptr);
        // A host path whose module does not exist: no dumps from here on.
        DumpSink_ResetForTests("Z:\\quern-no-such-dir\\host.exe");
        std::remove(m_log.c_str());
    }
    std::vector<std::string> Lines() const { return ReadLogLines(m_log); }
    int Count(const std::string& prefix) const
    {
        int n = 0;
        for (const std::string& line : Lines())
            if (line.compare(0, prefix.size(), prefix) == 0) ++n;
        return n;
    }
    const std::string& LogPath() const { return m_log; }

private:
    std::string m_log;
    std::string m_host;
};
