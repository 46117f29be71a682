#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plinth/platform/platform_env.h"
#include "trestle/strtools.h"
#include "tests/support/assert_test_support.h"

static std::string RemoveDots(const char* path, bool expectOk = true, char sep = '\\')
{
    char buf[256];
    V_BoundedCopy(buf, path, sizeof(buf));
    EXPECT_EQ(expectOk, V_RemoveDotSlashes(buf, sep)) << path;
    return buf;
}

TEST(StrtoolsPath, RemoveDotSlashes)
{
    EXPECT_EQ("a\\c", RemoveDots(".\\a\\.\\b\\..\\c"));
    EXPECT_EQ("\\c", RemoveDots("a\\b\\..\\..\\c"));
    EXPECT_EQ("a\\c", RemoveDots("a/b/../c"));
    EXPECT_EQ("a", RemoveDots("a\\b\\.."));
    EXPECT_EQ("\\c", RemoveDots("b\\..\\c"));
    EXPECT_EQ("a\\", RemoveDots("a\\."));
    EXPECT_EQ("a\\b", RemoveDots("a\\.\\.\\.\\b"));
    EXPECT_EQ("a/b", RemoveDots("a\\.\\b", true, '/'));
    // Names that merely contain dots are not segments.
    EXPECT_EQ("a\\...\\b..\\..c", RemoveDots("a\\...\\b..\\..c"));
    EXPECT_EQ("C:\\x", RemoveDots("C:\\a\\..\\x"));

    // Climbing above the start fails and leaves what was rewritten so far.
    RemoveDots("..\\a", false);
    RemoveDots("\\..\\a", false);
    EXPECT_EQ("\\..\\b", RemoveDots("a\\..\\..\\b", false));
}

TEST(StrtoolsPath, RemoveDotSlashesKeepsDriveAndServerRoots)
{
    struct Case
    {
        const char* pszPath;
        bool bOk;
        const char* pszOut;
    };
    const Case cases[] = {
        {"C:\\a\\b\\..\\..\\x", true, "C:\\x"},
        {"C:\\a\\..\\..\\x", false, "C:\\..\\x"},
        {"C:\\..", false, "C:\\.."},
        {"C:a\\..\\x", false, "C:a\\..\\x"},
        {"\\\\srv\\share\\..\\x", true, "\\\\srv\\x"},
        {"\\\\srv\\..\\x", false, "\\\\srv\\..\\x"},
        {"//srv/a/../../x", false, "\\\\srv\\..\\x"},
        {"\\\\..", false, "\\\\.."},
        {"x\\C:\\..\\y", true, "x\\y"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.pszOut, RemoveDots(c.pszPath, c.bOk)) << c.pszPath;
}

TEST(StrtoolsPath, CollapseSlashPairsKeepsLeadingPair)
{
    char a[] = "\\\\srv\\\\share";
    V_CollapseSlashPairs(a);
    EXPECT_STREQ("\\\\srv\\share", a);
    char b[] = "a///b";
    V_CollapseSlashPairs(b);
    EXPECT_STREQ("a//b", b);
    char c[] = "a/\\b//";
    V_CollapseSlashPairs(c);
    EXPECT_STREQ("a\\b/", c); // the second of a pair survives
}

TEST(StrtoolsPath, Splitting)
{
    EXPECT_EQ(nullptr, V_FileExtensionOf("dir.d\\file"));
    EXPECT_EQ(nullptr, V_FileExtensionOf("file."));
    EXPECT_EQ(nullptr, V_FileExtensionOf(""));
    EXPECT_STREQ("gz", V_FileExtensionOf("a.tar.gz"));

    char out[8];
    V_CopyFileExtension("x/y.longext", out, 5);
    EXPECT_STREQ("long", out);
    V_CopyFileExtension("noext", out, sizeof(out));
    EXPECT_STREQ("", out);

    EXPECT_TRUE(V_CopyDirectoryPart("a\\b\\c", out, sizeof(out)));
    EXPECT_STREQ("a\\b\\", out);
    EXPECT_TRUE(V_CopyDirectoryPart("a\\b\\", out, sizeof(out)));
    EXPECT_STREQ("a\\", out);
    EXPECT_FALSE(V_CopyDirectoryPart("file", out, sizeof(out)));
    EXPECT_STREQ("", out);
    EXPECT_TRUE(V_CopyDirectoryPart("abcdef/ghi", out, 4));
    EXPECT_STREQ("abc", out);
    char inPlace[] = "x/y/z.txt";
    EXPECT_TRUE(V_CopyDirectoryPart(inPlace, inPlace, sizeof(inPlace)));
    EXPECT_STREQ("x/y/", inPlace);

    V_CopyFileBaseName("dir.d\\name.tar.gz", out, sizeof(out));
    EXPECT_STREQ("name.ta", out); // cut to the buffer
    V_CopyFileBaseName("dir.d/name", out, sizeof(out));
    EXPECT_STREQ("name", out);
    V_CopyFileBaseName("\\.cfg", out, sizeof(out));
    EXPECT_STREQ("", out);

    char t1[] = "a\\b/c";
    V_TruncateAtLastSlash(t1);
    EXPECT_STREQ("a\\b", t1);
    char t2[] = "\\root"; // a slash at index 0 does not count
    V_TruncateAtLastSlash(t2);
    EXPECT_STREQ("", t2);
}

TEST(StrtoolsPath, SplittingMisuse)
{
    CAssertCapture capture;
    char out[4] = "xyz";
    EXPECT_FALSE(V_CopyDirectoryPart("a\\b", out, 0));
    EXPECT_TRUE(capture.Has("strtools", "destSize >= 1"));
    EXPECT_STREQ("xyz", out);
    EXPECT_FALSE(V_CopyDirectoryPart(nullptr, out, sizeof(out)));
    EXPECT_STREQ("", out);

    V_CopyFileBaseName("a.b", out, 0);
    EXPECT_TRUE(capture.Has("strtools", "maxlen >= 1"));
    V_CopyFileBaseName(nullptr, out, sizeof(out));
    EXPECT_TRUE(capture.Has("strtools", "in"));
    EXPECT_STREQ("", out);
    V_CopyFileBaseName("a.b", nullptr, 4);
    EXPECT_TRUE(capture.Has("strtools", "out"));
}

TEST(StrtoolsPathDeathTest, AppendSlashOutOfSpaceEndsProcess)
{
    EXPECT_EXIT(
        {
            char buf[4] = "abc";
            V_AppendSlash(buf, sizeof(buf));
        },
        ::testing::ExitedWithCode(1), "");
}

TEST(StrtoolsPath, MakeAbsolutePath)
{
    char out[64];
    V_MakeAbsolutePath(out, sizeof(out), "x\\y", "C:\\base\\");
    EXPECT_STREQ("C:\\base\\x\\y", out);
    V_MakeAbsolutePath(out, sizeof(out), "C:/a/./b");
    EXPECT_STREQ("C:\\a\\b", out);
    V_MakeAbsolutePath(out, sizeof(out), "../up", "D:\\one\\two");
    EXPECT_STREQ("D:\\one\\up", out);

    // Relative paths (and relative starting directories) hang off the current
    // directory.
    char cwd[1024];
    uint32_t cwdLen = Plat_GetCurrentDirectory(cwd, sizeof(cwd));
    ASSERT_GT(cwdLen, 0u);
    ASSERT_LT(cwdLen, sizeof(cwd));
    V_RemoveDotSlashes(cwd, '\\');
    std::string base(cwd);
    if (base.back() != '\\') base += '\\';
    char big[1200];
    V_MakeAbsolutePath(big, sizeof(big), "f.txt", "sub/dir");
    EXPECT_EQ(base + "sub\\dir\\f.txt", big);
    V_MakeAbsolutePath(big, sizeof(big), "a\\..\\g.txt");
    EXPECT_EQ(base + "g.txt", big);
}

TEST(StrtoolsPath, MakeAbsolutePathFailuresKeepWhatItHas)
{
    CAssertCapture capture;
    char out[64];
    V_MakeAbsolutePath(out, sizeof(out), "\\..\\x");
    EXPECT_STREQ("\\..\\x", out);
    EXPECT_TRUE(capture.Has("strtools", "V_RemoveDotSlashes failed for \"\\..\\x\"."));
    // A drive is a root too.
    V_MakeAbsolutePath(out, sizeof(out), "..\\..\\x", "C:\\base");
    EXPECT_STREQ("C:\\..\\x", out);
    EXPECT_TRUE(capture.Has("strtools", "V_RemoveDotSlashes failed for \"C:\\..\\x\"."));

    // The current directory does not fit: reported, and the path stays relative.
    char tiny[3];
    V_MakeAbsolutePath(tiny, sizeof(tiny), "a");
    EXPECT_TRUE(capture.Has("strtools", "V_MakeAbsolutePath: _getcwd failed."));
    EXPECT_STREQ("a", tiny);
}

TEST(StrtoolsPath, OverlongPathsAreCutAndTerminated)
{
    std::string longPath = "C:";
    for (int i = 0; i < 100; ++i)
        longPath += "\\segment";
    char out[40];
    memset(out, 'x', sizeof(out));
    V_MakeAbsolutePath(out, sizeof(out), longPath.c_str());
    EXPECT_EQ(longPath.substr(0, sizeof(out) - 1), out);

    char dir[16];
    EXPECT_TRUE(V_CopyDirectoryPart(longPath.c_str(), dir, sizeof(dir)));
    EXPECT_EQ(longPath.substr(0, 15), dir);
}
