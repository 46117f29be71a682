#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/trestle/fileio_test_support.h"
#include "trestle/fileio.h"

using fileio_test::CAssertCapture;
using fileio_test::CScratchDir;
namespace fs = std::filesystem;

namespace
{

std::vector<std::string> List(const std::string& dir, const char* pattern)
{
    std::vector<std::string> names;
    CDirIterator it(dir.c_str(), pattern);
    while (it.BNext())
        names.push_back(it.CurrentFileName());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FileioDirIterator, EmptyMissingAndNullDirectories)
{
    CScratchDir dir;
    fs::create_directories(dir.Path() / "empty");
    CDirIterator empty(dir.Sub("empty").c_str(), "*");
    EXPECT_FALSE(empty.BNext());
    EXPECT_FALSE(empty.BNext());
    EXPECT_STREQ(empty.CurrentFileName(), "");

    CDirIterator missing(dir.Sub("missing").c_str(), "*");
    EXPECT_FALSE(missing.BNext());

    CDirIterator none(nullptr, "*");
    EXPECT_FALSE(none.BNext());
}

TEST(FileioDirIterator, PatternsAndEntryKinds)
{
    CScratchDir dir;
    dir.Write("bnds/depot_10_dir.bnd", "d");
    dir.Write("bnds/depot_10_000.bnd", "0");
    dir.Write("bnds/depot_7_dir.bnd", "d");
    dir.Write("bnds/readme.txt", "r");
    fs::create_directories(dir.Path() / "bnds" / "sub");
    const std::string bnds = dir.Sub("bnds");

    EXPECT_EQ(List(bnds, "depot_*_dir.bnd"),
              (std::vector<std::string>{"depot_10_dir.bnd", "depot_7_dir.bnd"}));
    EXPECT_EQ(List(bnds, "*"), (std::vector<std::string>{"depot_10_000.bnd", "depot_10_dir.bnd",
                                                         "depot_7_dir.bnd", "readme.txt", "sub"}));
    EXPECT_EQ(List(bnds + "/", "*.txt"), (std::vector<std::string>{"readme.txt"}));
    EXPECT_TRUE(List(bnds, "*.nothing").empty());

    CDirIterator it(bnds.c_str(), "s*");
    ASSERT_TRUE(it.BNext());
    EXPECT_STREQ(it.CurrentFileName(), "sub");
    EXPECT_TRUE(it.BCurrentIsDir());
    EXPECT_FALSE(it.BNext());

    CDirIterator file(bnds.c_str(), "readme.txt");
    ASSERT_TRUE(file.BNext());
    EXPECT_FALSE(file.BCurrentIsDir());
    EXPECT_EQ(file.CurrentFileSize(), 1u);
}

#if !defined(_WIN32)
TEST(FileioDirIterator, NameThatIsNotTextEndsTheIteration)
{
    CScratchDir dir;
    dir.Write("only/\xFF\xFE", "x");
    CAssertCapture capture;
    CDirIterator it(dir.Sub("only").c_str(), "*");
    EXPECT_FALSE(it.BNext());
    EXPECT_TRUE(capture.HasLine("fileio",
                                "V_UTF16ToUTF8 failed on m_pFindData->cFileName in CDirIterator"));
}
#endif
