// Shared pieces of the file-layer tests: scratch folders, fixture packs made
// with the pack writer, an in-process apps interface and a fixture that
// leaves the file layer as it found it.
#pragma once

#include "quern2wrapper/clientinterfaces.h"
#include "quern2wrapper/include/quern.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

typedef std::vector<std::pair<std::string, std::string>> PackFiles;

// Writes "<base>_dir.bnd" and its archives; fails the test when it cannot.
void WritePack(const std::string& base, const PackFiles& files, int nPreload = 0);
void WriteDiskFile(const std::string& path, const std::string& bytes);
std::string ReadDiskFile(const std::string& path);
bool DiskFileExists(const std::string& path);
// Removes a folder with everything in it.
void RemoveDiskDirectory(const std::string& path);
bool HasLineIn(const std::vector<std::string>& lines, const std::string& line);
// Every text the library wrote to the debugger output, joined.
std::string Joined(const std::vector<std::string>& lines);

// Answers the two apps operations the file layer asks; the rest never run.
class FakeApps : public IQuernApps008
{
public:
    uint32_t ListInstalledDepots(QuernAppId appId, QuernDepotId* pDepots,
                                 uint32_t maxDepots) override;
    uint32_t GetInstallFolder(QuernAppId appId, char* pBuffer, uint32_t bufferSize) override;
    bool QueryInstalled(uint32_t) override { return false; }

    std::map<QuernAppId, std::string> m_installDirs;
    std::vector<QuernDepotId> m_depots;
    uint32_t m_reportedCount = 0xFFFFFFFFu; // else the depot count
    std::vector<QuernAppId> m_folderQueries;
};

// Runs each test in a scratch folder under the current directory with nothing
// mounted, the log off and no configuration file; restores all of it after.
class FilesTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // "<scratch>/<relative>", with '/' separators.
    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }
    // The scratch folder as an absolute path with '\' separators.
    std::string AbsoluteBackslashPath(const std::string& relative) const;
    // Mounts one pack made of `files` at Path(name).
    void MountFixture(const std::string& name, const PackFiles& files);

    std::string m_root;
    FakeApps m_apps;
    TQuernError m_error;
};

// A FilesTest with the client stand-in registered and its log started, for
// tests that run start-up; cleans up the session after.
class FilesStartup : public FilesTest
{
protected:
    void SetUp() override;
    void TearDown() override;
};
