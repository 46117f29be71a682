#include "tests/quern2wrapper/files/files_test_support.h"

#include "tests/quern2wrapper/session_test_support.h"

#include "bndlib/packwriter.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void WritePack(const std::string& base, const PackFiles& files, int nPreload)
{
    fs::create_directories(fs::path(base).parent_path());
    CPackWriter writer;
    writer.SetDefaultPreloadSize(nPreload);
    for (const auto& file : files)
        ASSERT_TRUE(
            writer.AddFile(file.first.c_str(), file.second.data(), (uint32_t)file.second.size()))
            << writer.GetError();
    ASSERT_TRUE(writer.Write(base.c_str())) << writer.GetError();
}

void WriteDiskFile(const std::string& path, const std::string& bytes)
{
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string ReadDiskFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool DiskFileExists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

void RemoveDiskDirectory(const std::string& path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

bool HasLineIn(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& have : lines)
        if (have == line) return true;
    return false;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

uint32_t FakeApps::ListInstalledDepots(QuernAppId, QuernDepotId* pDepots, uint32_t maxDepots)
{
    uint32_t n = 0;
    for (; n < m_depots.size() && n < maxDepots; ++n)
        pDepots[n] = m_depots[n];
    return m_reportedCount != 0xFFFFFFFFu ? m_reportedCount : n;
}

uint32_t FakeApps::GetInstallFolder(QuernAppId appId, char* pBuffer, uint32_t bufferSize)
{
    m_folderQueries.push_back(appId);
    auto it = m_installDirs.find(appId);
    std::string dir = it == m_installDirs.end() ? std::string() : it->second;
    snprintf(pBuffer, bufferSize, "%s", dir.c_str());
    return (uint32_t)dir.size();
}

namespace
{
IQuernApps008* s_pSavedApps;
QuernAppId s_nSavedAppId;
char s_szSavedInstallDir[QUERN_INSTALL_DIR_SIZE];
} // namespace

void FilesTest::SetUp()
{
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    // Lower case: packs look for their directory file by its lower-cased name.
    m_root = std::string("vfs_scratch/") + pInfo->test_suite_name() + "_" + pInfo->name();
    for (char& c : m_root)
        c = (char)tolower((unsigned char)c);
    std::error_code ec;
    fs::remove_all(m_root, ec);
    fs::create_directories(m_root);
    fs::remove("quern_bnds.kvt", ec);

    UnmountAll();
    ASSERT_TRUE(InitWorkingDirectory() || GetWorkingDirectoryLength() > 0);
    verboseLogging = 0;
    s_pSavedApps = g_Session.m_pApps;
    s_nSavedAppId = g_Session.m_nAppId;
    memcpy(s_szSavedInstallDir, g_Session.m_szAppInstallDir, sizeof(s_szSavedInstallDir));
    g_Session.m_pApps = &m_apps;
    g_Session.m_nAppId = 0;
    g_Session.m_szAppInstallDir[0] = '\0';
    memset(&m_error, 'x', sizeof(m_error));
}

void FilesTest::TearDown()
{
    UnmountAll();
    verboseLogging = 0;
    g_Session.m_pApps = s_pSavedApps;
    g_Session.m_nAppId = s_nSavedAppId;
    memcpy(g_Session.m_szAppInstallDir, s_szSavedInstallDir, sizeof(s_szSavedInstallDir));
    std::error_code ec;
    fs::remove("quern_bnds.kvt", ec);
    fs::remove_all(m_root, ec);
}

std::string FilesTest::AbsoluteBackslashPath(const std::string& relative) const
{
    char szCwd[1024];
    Plat_GetCurrentDirectory(szCwd, sizeof(szCwd));
    std::string path = std::string(szCwd) + "/" + Path(relative);
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void FilesTest::MountFixture(const std::string& name, const PackFiles& files)
{
    WritePack(Path(name), files);
    size_t before = GetMountTable().Count();
    MountPack(Path(name).c_str());
    ASSERT_EQ(before + 1, (size_t)GetMountTable().Count()) << "fixture pack did not mount";
}

void FilesStartup::SetUp()
{
    FilesTest::SetUp();
    ResetStandInEnv();
    StartStandInLog();
    RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
}

void FilesStartup::TearDown()
{
    TQuernError error;
    QuernCleanup(&error);
    UnregisterClient();
    ResetStandInEnv();
    SetEnv("QUERN_STANDIN_DEPOTS_440", nullptr);
    SetEnv("QUERN_STANDIN_LOG", nullptr);
    FilesTest::TearDown();
}
