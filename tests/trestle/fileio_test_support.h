// Helpers of the buffer and file tests: a scratch folder under the current
// directory and a capture of the assertion lines written to the debugger
// output.
#pragma once

#include "tests/support/assert_test_support.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_process.h"

namespace fileio_test
{

namespace fs = std::filesystem;

class CScratchDir
{
public:
    CScratchDir()
    {
        static std::atomic<int> s_nCounter(0);
        m_path =
            fs::current_path() / ("fileio_scratch_" + std::to_string(Plat_GetCurrentProcessId()) +
                                  "_" + std::to_string(s_nCounter++));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~CScratchDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }

    const fs::path& Path() const { return m_path; }
    // A path below the folder as the library receives it; rel is passed on
    // byte for byte (not through the code page of std::filesystem).
    std::string Sub(const std::string& rel) const { return m_path.string() + "/" + rel; }

    std::string Write(const std::string& rel, const std::string& bytes) const
    {
        fs::path p = m_path / fs::path(rel);
        fs::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

private:
    fs::path m_path;
};

inline std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using ::CAssertCapture;

} // namespace fileio_test
