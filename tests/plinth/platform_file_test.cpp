// Which names a directory search pattern finds. The same table runs against
// the Windows search functions (under Windows or Wine) and against the POSIX
// stand-ins, so the stand-ins keep to the system's rule.
#include "plinth/platform/platform_crtfile.h"
#include "plinth/platform/platform_file.h"
#include "plinth/platform/platform_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

struct SearchCase
{
    const char* m_pszPattern;
    const char* m_pszName;
    bool m_bFound;
};

std::u16string Widen(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

// Every name the search functions report for dir + pattern, "." and ".."
// left out; the first list from the file search, the second from the C
// runtime's.
void Search(const std::string& dir, const char* pszPattern, std::vector<std::string>* pFile,
            std::vector<std::string>* pCrt)
{
    const std::string pattern = dir + "\\" + pszPattern;
    PlatFindData data;
    uint32_t unError = 0;
    std::u16string wide = Widen(pattern);
    if (PlatFindHandle hFind = Plat_FindFirstFile(wide.c_str(), &data, &unError))
    {
        do
        {
            std::string name;
            for (const PlatWChar* p = data.m_wszFileName; *p; ++p)
                name += static_cast<char>(*p);
            if (name != "." && name != "..") pFile->push_back(name);
        } while (Plat_FindNextFile(hFind, &data, &unError));
        Plat_FindClose(hFind);
    }
    PlatCrtFindData crt;
    PlatCrtFindHandle hCrt = Plat_CrtFindFirst(pattern.c_str(), &crt);
    if (hCrt != PLAT_CRT_FIND_NONE)
    {
        do
        {
            std::string name = crt.m_szName;
            if (name != "." && name != "..") pCrt->push_back(name);
        } while (Plat_CrtFindNext(hCrt, &crt));
        Plat_CrtFindClose(hCrt);
    }
}

} // namespace

TEST(PlatformSearch, PatternsFindNamesAsTheWindowsSearchDoes)
{
    const std::string many(250, 'a');
    std::string manyStars;
    for (int i = 0; i < 24; ++i)
        manyStars += "*a";
    const std::string manyStarsB = manyStars + "*b";

    const SearchCase cases[] = {
        {"*", "abc", true},
        {"*.*", "abc", true},
        {"*.*", "a.b", true},
        {"*.txt", "a.txt", true},
        {"*.txt", "a.TXT", true},
        {"*.TXT", "a.txt", true},
        {"*.txt", "a.b.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", "atxt", false},
        {"a*", "abc", true},
        {"a*", "bac", false},
        {"*c", "abc", true},
        {"*b*", "abc", true},
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXcYb", false},
        // A star matches nothing as well, at either end.
        {"depot_10*", "depot_10", true},
        {"depot_10*", "depot_100", true},
        {"depot_10*", "depot_1", false},
        {"*abc", "abc", true},
        {"a*b*", "ab", true},
        {"abc*", "ab", false},
        {"abc", "ABC", true},
        {"abc", "abcd", false},
        // "name.*" also finds the name without an extension.
        {"name.*", "name", true},
        {"name.*", "name.txt", true},
        {"name.*", "name.a.b", true},
        {"name.*", "names", false},
        {"name.*.*", "name", true},
        {"name.", "name", true},
        {"name.?", "name", false},
        {"name.*x", "name", false},
        // '?' is exactly one character, a '.' included.
        {"?", "a", true},
        {"?", "ab", false},
        {"a?c", "abc", true},
        {"a?c", "a.c", true},
        {"a?.txt", "ab.txt", true},
        {"a?.txt", "a.txt", false},
        {"a??", "a", false},
        {"a??", "abc", true},
        {"a??", "abcd", false},
        {"????????.???", "abcdefgh.txt", true},
        {"????????.???", "readme.txt", false},
        {"*.?", "a.b", true},
        {"*.?", "a.bc", false},
        {"pak_???.bnd", "pak_000.bnd", true},
        {"pak_???.bnd", "pak_dir.bnd", true},
        {"pak_???.bnd", "pak_1000.bnd", false},
        // Many stars over a long name: must answer at once either way.
        {manyStars.c_str(), many.c_str(), true},
        {manyStarsB.c_str(), many.c_str(), false},
    };

    const std::string root =
        testing::TempDir() + "quern_search_table_" + std::to_string(Plat_GetCurrentProcessId());
    std::u16string wroot = Widen(root);
    Plat_CreateDirectory(wroot.c_str());
    int row = 0;
    for (const SearchCase& c : cases)
    {
        // One folder per row, holding only the row's name.
        const std::string dir = root + "\\" + std::to_string(row++);
        std::u16string wdir = Widen(dir);
        ASSERT_EQ(0u, Plat_CreateDirectory(wdir.c_str())) << dir;
        const std::string file = dir + "\\" + c.m_pszName;
        std::u16string wfile = Widen(file);
        PlatFileHandle hFile;
        ASSERT_EQ(0u, Plat_CreateFile(wfile.c_str(), PLAT_FILE_ACCESS_WRITE, 0,
                                      PLAT_FILE_CREATE_ALWAYS, 0, &hFile))
            << file;
        Plat_CloseFile(hFile);

        std::vector<std::string> found, foundCrt;
        Search(dir, c.m_pszPattern, &found, &foundCrt);
        const std::vector<std::string> expected =
            c.m_bFound ? std::vector<std::string>{c.m_pszName} : std::vector<std::string>{};
        const std::string what =
            std::string("\"") + c.m_pszPattern + "\" on \"" + c.m_pszName + "\"";
        EXPECT_EQ(expected, found) << what;
        EXPECT_EQ(expected, foundCrt) << what << " (C runtime search)";

        Plat_DeleteFile(wfile.c_str());
        Plat_RemoveDirectory(wdir.c_str());
    }
    Plat_RemoveDirectory(wroot.c_str());
}

#if defined(_WIN32)
TEST(PlatformFile, KeepingTheAccessTimeNeedsNoWriteAccess)
{
    // Under Wine the running loader is a file the caller may read but never
    // open for changes; elsewhere the path does not exist.
    const std::u16string path = u"\\\\?\\Z:\\proc\\self\\exe";
    PlatFileHandle hFile = PLAT_INVALID_FILE;
    if (Plat_CreateFile(path.c_str(), PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ, 0, 0, &hFile) !=
        0)
        GTEST_SKIP() << "not under Wine";
    Plat_CloseFile(hFile);

    ASSERT_EQ(0u, Plat_CreateFile(path.c_str(), PLAT_FILE_ACCESS_READ,
                                  PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE,
                                  PLAT_FILE_OPEN_EXISTING, PLAT_FILE_FLAG_NO_ACCESS_TIME, &hFile));
    char magic[4] = {};
    uint32_t cubRead = 0;
    EXPECT_EQ(0u, Plat_ReadFile(hFile, magic, sizeof(magic), &cubRead));
    EXPECT_EQ(std::string("\x7f"
                          "ELF",
                          4),
              std::string(magic, cubRead));
    Plat_CloseFile(hFile);
    // Write access is still refused as before.
    EXPECT_NE(0u, Plat_CreateFile(path.c_str(), PLAT_FILE_ACCESS_READ | PLAT_FILE_ACCESS_WRITE,
                                  PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE,
                                  PLAT_FILE_OPEN_EXISTING, PLAT_FILE_FLAG_NO_ACCESS_TIME, &hFile));
}
#endif
