#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/trestle/fileio_test_support.h"
#include "trestle/fileio.h"
#include "trestle/utlbuffer.h"

using fileio_test::CScratchDir;
using fileio_test::ReadAll;
namespace fs = std::filesystem;

namespace
{

std::u16string Wide(CPathString& path)
{
    return std::u16string(path.GetWCharPath());
}

} // namespace

TEST(FileioPath, WideLongPathForms)
{
    CPathString drive("C:\\a\\..\\b.txt");
    EXPECT_STREQ(drive.GetUTF8Path(), "C:\\b.txt");
    EXPECT_EQ(Wide(drive), u"\\\\?\\C:\\b.txt");

    CPathString forward("C:/x//y/./z");
    EXPECT_EQ(Wide(forward), u"\\\\?\\C:\\x\\y\\z");

    CPathString unc("\\\\srv\\share\\f");
    EXPECT_EQ(Wide(unc), u"\\\\?\\UNC\\srv\\share\\f");

    CPathString already("\\\\?\\C:\\long\\name");
    EXPECT_EQ(Wide(already), u"\\\\?\\C:\\long\\name");

    // Non-ASCII text arrives as UTF-16.
    CPathString utf8("C:\\caf\xC3\xA9\\\xF0\x9F\x98\x80");
    EXPECT_EQ(Wide(utf8), u"\\\\?\\C:\\caf\u00E9\\\U0001F600");
}

TEST(FileioPath, RelativePathsBecomeAbsolute)
{
    CPathString rel("sub/./file.txt");
    const std::string full = rel.GetUTF8Path();
    const std::string tail = "\\sub\\file.txt";
    ASSERT_GT(full.size(), tail.size());
    EXPECT_EQ(full.substr(full.size() - tail.size()), tail);
    EXPECT_EQ(full.find('/'), std::string::npos);

    CPathString none(nullptr);
    EXPECT_STREQ(none.GetUTF8Path(), "");
    EXPECT_EQ(Wide(none), u"");

    CPathString pattern("C:\\dir\\", "*.bnd");
    EXPECT_STREQ(pattern.GetUTF8Path(), "C:\\dir\\*.bnd");
    CPathString pattern2("C:\\dir", "*.bnd");
    EXPECT_STREQ(pattern2.GetUTF8Path(), "C:\\dir\\*.bnd");
}

TEST(FileioPath, InvalidOrOverlongPathsAreRefusedWhole)
{
    CScratchDir dir;
    const std::string bad = dir.Sub("bad\xC0\x80name.txt");
    CPathString invalid(bad.c_str());
    EXPECT_EQ(Wide(invalid), u"");
    PlatFileHandle hFile;
    EXPECT_NE(OpenFileHandle(bad.c_str(), 3, 0, 3, 0, &hFile), 0u);
    EXPECT_EQ(hFile, PLAT_INVALID_FILE);
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    // Longer than a wide path can be: not cut to some other name.
    std::string longPath = "C:\\";
    while (longPath.size() < 40000)
        longPath += "abcdefghij\\";
    CPathString tooLong(longPath.c_str());
    EXPECT_EQ(Wide(tooLong), u"");
}

TEST(FileioOps, OpenChecksItsArguments)
{
    CScratchDir dir;
    const std::string path = dir.Write("f.bin", "0123456789");
    PlatFileHandle hFile = PLAT_INVALID_FILE;
    EXPECT_EQ(OpenFileHandle(path.c_str(), 0, 0, 0, 0, &hFile), 87u);
    EXPECT_EQ(OpenFileHandle(path.c_str(), 4, 0, 0, 0, &hFile), 87u);
    EXPECT_EQ(OpenFileHandle(path.c_str(), 1, 4, 0, 0, &hFile), 87u);
    EXPECT_EQ(OpenFileHandle(path.c_str(), 1, 5, 0, 0, &hFile), 87u);
    EXPECT_EQ(OpenFileHandle(path.c_str(), 1, 0, 4, 0, &hFile), 87u);
    EXPECT_EQ(hFile, PLAT_INVALID_FILE);
    EXPECT_EQ(OpenFileHandle(dir.Sub("missing").c_str(), 1, 3, 0, 0, &hFile), 2u);
    EXPECT_EQ(OpenFileHandle(dir.Sub("nodir/missing").c_str(), 1, 3, 0, 0, &hFile), 3u);
    EXPECT_EQ(OpenFileHandle(path.c_str(), 2, 3, 2, 0, &hFile), 80u); // create new
    ASSERT_EQ(OpenFileHandle(path.c_str(), 1, 7, 0, 4 | 8, &hFile), 0u);
    CloseFileHandle(hFile);
}

TEST(FileioOps, ReadSeekWriteAndSize)
{
    CScratchDir dir;
    const std::string path = dir.Write("f.bin", "0123456789");
    PlatFileHandle hFile;
    ASSERT_EQ(OpenFileHandle(path.c_str(), 3, 3, 0, 0, &hFile), 0u);

    uint64_t ulSize = 0;
    EXPECT_EQ(GetFileHandleSize(hFile, &ulSize), 0u);
    EXPECT_EQ(ulSize, 10u);

    char buf[32] = {};
    uint32_t cubRead = 0;
    EXPECT_EQ(ReadFileHandle(hFile, buf, 4, &cubRead), 0u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    // A short read is an error only without a count to report it in.
    EXPECT_EQ(ReadFileHandle(hFile, buf, 28, nullptr), 38u);
    uint64_t ulPos = 99;
    EXPECT_EQ(SeekFileHandle(hFile, -3, 2, &ulPos), 0u);
    EXPECT_EQ(ulPos, 7u);
    EXPECT_EQ(ReadFileHandle(hFile, buf, 28, &cubRead), 0u);
    EXPECT_EQ(cubRead, 3u);
    EXPECT_EQ(SeekFileHandle(hFile, 0, 3, &ulPos), 87u);

    EXPECT_EQ(ReadFileHandleAt(hFile, buf, 3, 2, &cubRead), 0u);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_EQ(ReadFileHandleAt(hFile, buf, 3, 9, &cubRead), 0u);
    EXPECT_EQ(cubRead, 1u);
    EXPECT_EQ(ReadFileHandleAt(hFile, buf, 3, 9, nullptr), 38u);

    EXPECT_EQ(SeekFileHandle(hFile, 5, 0), 0u);
    uint64_t cubWritten = 0;
    EXPECT_EQ(WriteFileHandle(hFile, "abcdefgh", 8, &cubWritten), 0u);
    EXPECT_EQ(cubWritten, 8u);
    EXPECT_EQ(FlushFileHandle(hFile), 0u);
    CloseFileHandle(hFile);
    EXPECT_EQ(ReadAll(path), "01234abcdefgh");
}

TEST(FileioOps, CreateDirectoriesMakesEveryMissingLevel)
{
    CScratchDir dir;
    fs::create_directories(dir.Path() / "x");
    const std::string target = dir.Sub("x/y/z/f");
    EXPECT_TRUE(CreateDirectories(target.c_str()));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "x" / "y"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "x" / "y" / "z"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "x" / "y" / "z" / "f"));
    EXPECT_TRUE(CreateDirectories(target.c_str())); // exists: true at once
    EXPECT_TRUE(BCreateDirectory(target.c_str()));
    EXPECT_TRUE(BDirectoryExists(target.c_str()));

    const std::string file = dir.Write("plain", "x");
    EXPECT_TRUE(BFileExists(file.c_str()));
    EXPECT_FALSE(BDirectoryExists(file.c_str()));
    EXPECT_FALSE(BFileExists(dir.Sub("nothing").c_str()));
    // A file in the way: the level below cannot be made.
    EXPECT_FALSE(CreateDirectories(dir.Sub("plain/below").c_str()));
}

TEST(FileioOps, MoveReplacesAndDeleteRemoves)
{
    CScratchDir dir;
    const std::string a = dir.Write("a", "new");
    const std::string b = dir.Write("b", "old content");
    EXPECT_TRUE(BMoveFileReplace(a.c_str(), b.c_str()));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(ReadAll(b), "new");
    EXPECT_FALSE(BMoveFileReplace(a.c_str(), b.c_str()));
    EXPECT_TRUE(BDeleteFile(b.c_str()));
    EXPECT_FALSE(fs::exists(b));
}

TEST(FileioOps, SectorSizeOfTheCurrentDrive)
{
    CScratchDir dir;
    const uint32_t unSector = GetSectorSizeForPath(dir.Sub("any").c_str());
    EXPECT_GE(unSector, 512u);
    EXPECT_EQ(unSector & (unSector - 1), 0u);
}

TEST(FileioLoad, WholeFilesAndRanges)
{
    CScratchDir dir;
    const std::string empty = dir.Write("empty.txt", "");
    CUtlBuffer buf(0, 0, 0);
    ASSERT_TRUE(LoadFileIntoBuffer(empty.c_str(), 0, 0xFFFFFFFFu, buf, true));
    EXPECT_TRUE(buf.IsText());
    EXPECT_TRUE(buf.ContainsCRLF());
    EXPECT_EQ(buf.TellPut(), 0);
    EXPECT_EQ(buf.TellMaxPut(), 0);
    ASSERT_GE(buf.Size(), 1);
    EXPECT_EQ(buf.Base()[0], 0);

    const std::string text = dir.Write("t.txt", "key \"value\"\r\n");
    ASSERT_TRUE(LoadFileIntoBuffer(text.c_str(), 0, 0xFFFFFFFFu, buf, true));
    EXPECT_EQ(buf.TellPut(), 13);
    EXPECT_EQ(buf.TellGet(), 0);
    EXPECT_STREQ(buf.Base(), "key \"value\"\r\n");

    ASSERT_TRUE(LoadFileIntoBuffer(text.c_str(), 4, 5, buf, false));
    EXPECT_FALSE(buf.IsText());
    EXPECT_EQ(buf.TellPut(), 5);
    EXPECT_STREQ(buf.Base(), "\"valu");

    // From an offset with no limit: whatever is left after it.
    ASSERT_TRUE(LoadFileIntoBuffer(text.c_str(), 11, 0xFFFFFFFFu, buf, false));
    EXPECT_EQ(buf.TellPut(), 2);
    EXPECT_STREQ(buf.Base(), "\r\n");

    EXPECT_FALSE(LoadFileIntoBuffer(dir.Sub("missing").c_str(), 0, 0xFFFFFFFFu, buf, true));
}

TEST(FileioLoad, RefusesABufferThatCannotGrow)
{
    CScratchDir dir;
    const std::string path = dir.Write("f", "0123456789");
    char mem[8];
    CUtlBuffer fixed(mem, 0, 0);
    fixed.SetExternalBuffer(mem, sizeof(mem), 0, 0);
    EXPECT_FALSE(LoadFileIntoBuffer(path.c_str(), 0, 0xFFFFFFFFu, fixed, false));
    EXPECT_TRUE(LoadFileIntoBuffer(path.c_str(), 0, 7, fixed, false));
    EXPECT_EQ(std::string(mem, 8), std::string("0123456\0", 8));
}
