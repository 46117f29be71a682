// File names in any case: every path call finds what a Windows file system
// would find, creates new names as spelled, and keeps up with folders that
// change. The cases that Windows can hold too run there as well, so the
// stand-in keeps to the system's rule.
#include "plinth/platform/platform_crtfile.h"
#include "plinth/platform/platform_file.h"
#include "plinth/platform/platform_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{
namespace fs = std::filesystem;

std::u16string Widen(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

void Write(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The names in a folder, as the disk spells them.
std::set<std::string> NamesIn(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// A file's bytes through Plat_CreateFile, or "error <code>".
std::string ReadFile(const std::string& path)
{
    PlatFileHandle hFile;
    const uint32_t unError = Plat_CreateFile(Widen(path).c_str(), PLAT_FILE_ACCESS_READ, 0,
                                             PLAT_FILE_OPEN_EXISTING, 0, &hFile);
    if (unError) return "error " + std::to_string(unError);
    char buf[64];
    uint32_t cubRead = 0;
    Plat_ReadFile(hFile, buf, sizeof(buf), &cubRead);
    Plat_CloseFile(hFile);
    return std::string(buf, cubRead);
}

uint32_t CreateFile(const std::string& path, uint32_t unDisposition)
{
    PlatFileHandle hFile;
    const uint32_t unError =
        Plat_CreateFile(Widen(path).c_str(), PLAT_FILE_ACCESS_WRITE, 0, unDisposition, 0, &hFile);
    if (!unError) Plat_CloseFile(hFile);
    return unError;
}

// The same through the C runtime's open, or "missing".
std::string CrtRead(const std::string& path)
{
    FILE* pFile = Plat_CrtOpen(path.c_str(), "rb");
    if (!pFile) return "missing";
    char buf[64];
    const size_t n = fread(buf, 1, sizeof(buf), pFile);
    fclose(pFile);
    return std::string(buf, n);
}

bool CrtWrite(const std::string& path, const std::string& bytes)
{
    FILE* pFile = Plat_CrtOpen(path.c_str(), "wb");
    if (pFile) fputs(bytes.c_str(), pFile);
    return pFile && fclose(pFile) == 0;
}

// The first name each search finds, "<file search>|<C runtime search>", for
// a pattern that matches one name.
std::string FindBoth(const std::string& pattern)
{
    std::string found = "-|-";
    PlatFindData data;
    uint32_t unError = 0;
    if (PlatFindHandle hFind = Plat_FindFirstFile(Widen(pattern).c_str(), &data, &unError))
    {
        const PlatWChar* pwsz = data.m_wszFileName;
        found.replace(0, 1, std::string(pwsz, pwsz + std::char_traits<char16_t>::length(pwsz)));
        Plat_FindClose(hFind);
    }
    PlatCrtFindData crt;
    PlatCrtFindHandle hCrt = Plat_CrtFindFirst(pattern.c_str(), &crt);
    if (hCrt != PLAT_CRT_FIND_NONE)
    {
        found.replace(found.size() - 1, 1, crt.m_szName);
        Plat_CrtFindClose(hCrt);
    }
    return found;
}

// Folders whose last change lies in the past, as an installed game's do, so
// the walk may trust their times.
void Age(const fs::path& dir)
{
    std::error_code ec; // not every system lets a folder's time be set
    fs::last_write_time(dir, fs::file_time_type::clock::now() - std::chrono::hours(1), ec);
}

class PlatformCaseFold : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root = "casefold_" + std::to_string(Plat_GetCurrentProcessId()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_root);
        Write(m_root + "/Game Dir/Maps/E1.txt", "e1");
        Write(m_root + "/Game Dir/Saves/Slot1.Sav", "slot1");
        Age(m_root + "/Game Dir/Maps");
        Age(m_root + "/Game Dir/Saves");
        Age(m_root + "/Game Dir");
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }

    std::string m_root;
};

} // namespace

TEST_F(PlatformCaseFold, ExistingPathsAreFoundInAnyCase)
{
    const std::string absolute = fs::absolute(m_root).string();
    enum Kind
    {
        FILE_,
        FOLDER,
        NOTHING
    };
    const struct
    {
        std::string m_path;
        const char* m_pszRead; // Plat_CreateFile and read, or the error
        Kind m_kind;
    } cases[] = {
        {Path("Game Dir/Maps/E1.txt"), "e1", FILE_},
        {Path("game dir/maps/e1.txt"), "e1", FILE_},
        {Path("GAME DIR/MAPS/E1.TXT"), "e1", FILE_},
        {Path("gAmE dIr\\mApS\\e1.TxT"), "e1", FILE_},
        {Path("game dir/./MAPS/../maps//E1.txt"), "e1", FILE_},
        {absolute + "/GAME DIR/maps/e1.TXT", "e1", FILE_},
        {Path("game dir/maps"), "error 5", FOLDER},
        {Path("game dir/maps/e2.txt"), "error 2", NOTHING},
        {Path("game dir/nope/e1.txt"), "error 3", NOTHING},
        {Path("game dir/maps/e1.txt/x"), "error 3", NOTHING},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.m_pszRead, ReadFile(c.m_path)) << c.m_path;
        if (c.m_kind != FOLDER) // the C runtime opens folders on some systems
        {
            EXPECT_EQ(c.m_kind == FILE_ ? c.m_pszRead : "missing", CrtRead(c.m_path)) << c.m_path;
        }
        uint32_t unAttributes = 0;
        EXPECT_EQ(c.m_kind != NOTHING,
                  Plat_GetFileAttributes(Widen(c.m_path).c_str(), &unAttributes) == 0)
            << c.m_path;
        PlatCrtStat st = {};
        EXPECT_EQ(c.m_kind != NOTHING, Plat_CrtStat(c.m_path.c_str(), &st)) << c.m_path;
        EXPECT_EQ(c.m_kind == FOLDER, st.m_bDirectory) << c.m_path;
    }

    // A search finds its folder in any case; the pattern never cared.
    EXPECT_EQ("E1.txt|E1.txt", FindBoth(Path("GAME DIR\\maps\\e1.*")));
    EXPECT_EQ("E1.txt|E1.txt", FindBoth(absolute + "/game dir/MAPS/*.TXT"));
    EXPECT_EQ("-|-", FindBoth(Path("game dir/nope/*")));
}

TEST_F(PlatformCaseFold, NewNamesTakeTheCallersSpellingInTheFolderFound)
{
    const fs::path saves = Path("Game Dir/Saves");
    // Read the folder first, so that what the library keeps of it must
    // follow its own creations.
    EXPECT_EQ("missing", CrtRead(Path("game dir/saves/slot2.sav")));

    EXPECT_EQ(0u, CreateFile(Path("game dir/SAVES/Slot2.sav"), PLAT_FILE_CREATE_NEW));
    EXPECT_TRUE(CrtWrite(Path("GAME DIR/saves/Config.CFG"), "cfg"));
    // A name that matches an existing file in another case is that file.
    EXPECT_TRUE(CrtWrite(Path("game dir/saves/SLOT1.SAV"), "rewritten"));
    EXPECT_EQ(PLAT_ERROR_FILE_EXISTS,
              CreateFile(Path("GAME DIR/SAVES/slot1.sav"), PLAT_FILE_CREATE_NEW));
    EXPECT_EQ(0u, CreateFile(Path("game dir/saves/SLOT2.SAV"), PLAT_FILE_OPEN_ALWAYS));
    EXPECT_EQ(std::set<std::string>({"Config.CFG", "Slot1.Sav", "Slot2.sav"}), NamesIn(saves));
    EXPECT_EQ("rewritten", CrtRead(Path("Game Dir/Saves/Slot1.Sav")));

    EXPECT_EQ(0u, Plat_CreateDirectory(Widen(Path("GAME DIR/saves/Shots")).c_str()));
    EXPECT_EQ(PLAT_ERROR_ALREADY_EXISTS,
              Plat_CreateDirectory(Widen(Path("game dir/SAVES/SHOTS")).c_str()));
    EXPECT_TRUE(CrtWrite(Path("game dir/saves/shots/Shot1.tga"), "tga"));
    EXPECT_EQ("tga", ReadFile(Path("Game Dir/Saves/Shots/Shot1.tga")));

    // Moves and deletes reach the files whatever the case.
    EXPECT_EQ(0u, Plat_MoveFileReplace(Widen(Path("game dir/saves/config.cfg")).c_str(),
                                       Widen(Path("game dir/saves/Settings.cfg")).c_str()));
    EXPECT_EQ(0u, Plat_DeleteFile(Widen(Path("GAME DIR/SAVES/slot2.SAV")).c_str()));
    EXPECT_EQ(std::set<std::string>({"Settings.cfg", "Shots", "Slot1.Sav"}), NamesIn(saves));
    EXPECT_EQ("cfg", CrtRead(Path("GAME DIR/saves/SETTINGS.CFG")));
    EXPECT_EQ("missing", CrtRead(Path("game dir/saves/slot2.sav")));

    // No folder in any case: nothing is made.
    EXPECT_EQ(PLAT_ERROR_PATH_NOT_FOUND, CreateFile(Path("game dir/nope/x"), PLAT_FILE_CREATE_NEW));
    EXPECT_FALSE(fs::exists(Path("Game Dir/nope")));
}

TEST_F(PlatformCaseFold, FoldersChangedBehindTheLibrarysBackAreReadAgain)
{
    EXPECT_EQ("e1", CrtRead(Path("game dir/maps/e1.txt")));
    EXPECT_EQ("missing", CrtRead(Path("game dir/maps/e2.txt")));

    // A name added, one replaced by another spelling, a folder renamed.
    Write(Path("Game Dir/Maps/E2.TXT"), "e2");
    EXPECT_EQ("e2", CrtRead(Path("game dir/maps/e2.txt")));
    fs::remove(Path("Game Dir/Maps/E1.txt"));
    Write(Path("Game Dir/Maps/e1.TXT"), "new e1");
    EXPECT_EQ("new e1", ReadFile(Path("GAME DIR/MAPS/E1.TXT")));
    fs::rename(Path("Game Dir/Maps"), Path("Game Dir/LEVELS"));
    EXPECT_EQ("e2", CrtRead(Path("game dir/levels/e2.txt")));
    EXPECT_EQ("missing", CrtRead(Path("game dir/maps/e2.txt")));
    fs::rename(Path("Game Dir/LEVELS"), Path("Game Dir/maps"));
    EXPECT_EQ("e2", CrtRead(Path("GAME DIR/MAPS/E2.TXT")));
}

#if !defined(_WIN32)
// Only here can a folder hold names that differ only in case.
TEST_F(PlatformCaseFold, TheExactSpellingWinsThenTheFirstInByteOrder)
{
    Write(Path("Both/readme.txt"), "lower");
    Write(Path("Both/ReadMe.txt"), "mixed");
    Write(Path("Both/README.TXT"), "upper");
    Write(Path("Both/Data/x.txt"), "Data");
    Write(Path("Both/data/x.txt"), "data");
    const struct
    {
        const char* m_pszPath;
        const char* m_pszExpected;
    } cases[] = {
        {"Both/readme.txt", "lower"}, {"Both/ReadMe.txt", "mixed"}, {"Both/README.TXT", "upper"},
        {"both/readme.TXT", "upper"}, {"BOTH/rEADME.txt", "upper"}, {"both/data/X.TXT", "data"},
        {"both/DATA/x.txt", "Data"},  {"both/Data/X.txt", "Data"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.m_pszExpected, ReadFile(Path(c.m_pszPath))) << c.m_pszPath;
        EXPECT_EQ(c.m_pszExpected, CrtRead(Path(c.m_pszPath))) << c.m_pszPath;
    }
    // Written through a spelling that is none of them: the first, no new name.
    EXPECT_TRUE(CrtWrite(Path("both/readme.Txt"), "written"));
    EXPECT_EQ("written", CrtRead(Path("Both/README.TXT")));
    EXPECT_EQ("lower", CrtRead(Path("Both/readme.txt")));
    EXPECT_EQ(5u, NamesIn(Path("Both")).size());
}
#endif

TEST(PlatformCaseFoldConcurrency, ThreadsLookUpWhileFilesAreCreated)
{
    const std::string root = "casefold_threads_" + std::to_string(Plat_GetCurrentProcessId());
    fs::remove_all(root);
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i)
        Write(root + "/Pack/Sub" + std::to_string(i % 4) + "/File" + std::to_string(i) + ".Dat",
              std::to_string(i));
    fs::create_directories(root + "/Out");

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int round = 0; round < 5; ++round)
                    for (int i = t; i < kFiles; i += 3)
                    {
                        const std::string path = root + "/PACK/sub" + std::to_string(i % 4) +
                                                 "/FILE" + std::to_string(i) + ".dat";
                        if (CrtRead(path) != std::to_string(i)) ++failures;
                    }
            });
    threads.emplace_back(
        [&]
        {
            for (int i = 0; i < kFiles; ++i)
                if (!CrtWrite(root + "/out/New" + std::to_string(i), "new") ||
                    CrtRead(root + "/OUT/NEW" + std::to_string(i)) != "new")
                    ++failures;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(static_cast<size_t>(kFiles), NamesIn(root + "/Out").size());
    fs::remove_all(root);
}
