// bndtool commands, run in-process with their output captured.
#include "tests/tools/tools_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/bndlib/bndlib_test_support.h"
#include "bndlib/packcrc.h"
#include "tools/bndtool/bndtool.h"
#include "tools/bndtool/bndtool_internal.h"
#include "plinth/threadtools.h"
#include "bndlib/packwriter.h"
#include "plinth/platform/platform_file.h"
#include "trestle/fileio.h"

using namespace bndtest;

namespace
{
struct ToolResult
{
    int m_nExit;
    std::string m_out;
    std::string m_err;
};

ToolResult RunTool(std::vector<std::string> args)
{
    args.insert(args.begin(), "bndtool");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    FILE* pOut = tmpfile();
    FILE* pErr = tmpfile();
    ToolResult r;
    r.m_nExit = PackTool_Main((int)argv.size(), argv.data(), pOut, pErr);
    r.m_out = Drain(pOut);
    r.m_err = Drain(pErr);
    return r;
}

void MakeTree(const std::string& root)
{
    CreateDirectories((root + "/Maps/sub").c_str());
    CreateDirectories((root + "/empty").c_str());
    WriteFile(root + "/readme", {'r'});
    WriteFile(root + "/Maps/e1.BSP", Pattern(5000, 1));
    WriteFile(root + "/Maps/sub/deep.txt", Pattern(70000, 2));
    WriteFile(root + "/Maps/sub/zero.dat", {});
}
} // namespace

TEST(PackTool, CreateListExtractVerifyRoundTrip)
{
    std::string dir = ScratchDir();
    MakeTree(dir + "/src");
    ToolResult r = RunTool(
        {"create", "--archive-size", "4k", "--preload", "16", dir + "/src", dir + "/out/pak01"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(r.m_out,
              "created " + dir + "/out/pak01_dir.bnd: 4 files, 2 archives, 75001 bytes of data\n");

    r = RunTool({"list", dir + "/out/pak01_dir.bnd"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(r.m_out, "maps/e1.bsp\nmaps/sub/deep.txt\nmaps/sub/zero.dat\nreadme\n");

    r = RunTool({"list", "-l", dir + "/out/pak01", "*.bsp"});
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_EQ(r.m_out, "        size  archive      offset  preload  path\n"
                       "        5000      000           0       16  maps/e1.bsp\n");

    r = RunTool({"verify", dir + "/out/pak01"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_out << r.m_err;
    EXPECT_EQ(r.m_out, "verified 4 files of " + dir + "/out/pak01: 0 problems\n");

    r = RunTool({"extract", dir + "/out/pak01", dir + "/x"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(ReadFile(dir + "/x/maps/e1.bsp"), Pattern(5000, 1));
    EXPECT_EQ(ReadFile(dir + "/x/maps/sub/deep.txt"), Pattern(70000, 2));
    EXPECT_EQ(ReadFile(dir + "/x/readme"), std::vector<uint8_t>{'r'});
    EXPECT_TRUE(BFileExists((dir + "/x/maps/sub/zero.dat").c_str()));

    r = RunTool({"extract", dir + "/out/pak01", dir + "/y", "MAPS/SUB/"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(ReadFile(dir + "/y/maps/sub/deep.txt"), Pattern(70000, 2));
    EXPECT_TRUE(BFileExists((dir + "/y/maps/sub/zero.dat").c_str()));
    EXPECT_FALSE(BFileExists((dir + "/y/readme").c_str()));
    EXPECT_FALSE(BFileExists((dir + "/y/maps/e1.bsp").c_str()));

    r = RunTool({"cat", dir + "/out/pak01", "Maps\\E1.bsp"});
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_EQ(std::vector<uint8_t>(r.m_out.begin(), r.m_out.end()), Pattern(5000, 1));

    // Archive 0 takes e1.bsp past its preload, deep.txt does not fit behind
    // it; readme lies wholly in its preload and zero.dat has no bytes.
    r = RunTool({"info", dir + "/out/pak01"});
    EXPECT_EQ(r.m_nExit, 0);
    const std::string base = dir + "/out/pak01";
    EXPECT_EQ(r.m_out, "pack:                  " + base +
                           "\n"
                           "version:               2\n"
                           "header size:           28\n"
                           "tree size:             " +
                           std::to_string(ReadFile(base + "_dir.bnd").size() - 28) +
                           "\n"
                           "embedded data:         0\n"
                           "archive checksums:     0\n"
                           "other checksums:       0\n"
                           "signature:             0\n"
                           "files:                 4\n"
                           "extensions:            4\n"
                           "directories:           4\n"
                           "file data:             75001 bytes (33 in preload)\n"
                           "archives:              2\n"
                           "  000       1 files          4984 bytes used          4984 bytes on "
                           "disk  " +
                           base +
                           "_000.bnd\n"
                           "  001       1 files         69984 bytes used         69984 bytes on "
                           "disk  " +
                           base + "_001.bnd\n");
}

TEST(PackTool, VerifyReportsBadCrcsAndUnreadableChunks)
{
    std::string dir = ScratchDir();
    CPackWriter writer;
    writer.SetMaxArchiveSize(100);
    writer.AddFile("a.bin", Pattern(80, 1).data(), 80);
    writer.AddFile("b.bin", Pattern(80, 2).data(), 80);
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));

    std::vector<uint8_t> archive = ReadFile(dir + "/p_000.bnd");
    archive[10] ^= 0xFF;
    WriteFile(dir + "/p_000.bnd", archive);
    std::vector<uint8_t> second = ReadFile(dir + "/p_001.bnd");
    second.resize(40);
    WriteFile(dir + "/p_001.bnd", second);

    ToolResult r = RunTool({"verify", dir + "/p"});
    EXPECT_EQ(r.m_nExit, 1);
    char szCrcs[64];
    snprintf(szCrcs, sizeof(szCrcs), "stored %08x, data gives %08x",
             PackCrc32(0, Pattern(80, 1).data(), 80), PackCrc32(0, archive.data(), 80));
    EXPECT_EQ(r.m_out, std::string("CRC MISMATCH a.bin: ") + szCrcs +
                           "\nUNREADABLE b.bin: bytes 0..80 lie beyond the end of " + dir +
                           "/p_001.bnd (40 bytes)\nverified 2 files of " + dir +
                           "/p: 2 problems\n");

    r = RunTool({"extract", dir + "/p", dir + "/x"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_NE(r.m_err.find("b.bin: bytes 0..80"), std::string::npos) << r.m_err;
}

TEST(PackTool, UsageAndErrors)
{
    for (const char* psz : {"create", "list", "extract", "cat", "verify", "info"})
    {
        ToolResult r = RunTool({psz, "--help"});
        EXPECT_EQ(r.m_nExit, 0) << psz;
        EXPECT_EQ(r.m_out.find(std::string("usage: bndtool ") + psz), 0u) << psz;
    }
    EXPECT_EQ(RunTool({}).m_nExit, 2);
    EXPECT_EQ(RunTool({"--help"}).m_nExit, 0);
    ToolResult r = RunTool({"frobnicate"});
    EXPECT_EQ(r.m_nExit, 2);
    EXPECT_EQ(r.m_err.find("bndtool: unknown command \"frobnicate\""), 0u);
    EXPECT_EQ(RunTool({"list"}).m_nExit, 2);
    EXPECT_EQ(RunTool({"create", "--preload", "70000", "a", "b"}).m_nExit, 2);
    EXPECT_EQ(RunTool({"create", "--archive-size", "lots", "a", "b"}).m_nExit, 2);

    std::string dir = ScratchDir();
    r = RunTool({"list", dir + "/missing"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_err, "bndtool: cannot open pack \"" + dir + "/missing\": no file " + dir +
                           "/missing_dir.bnd\n");
    r = RunTool({"create", dir + "/nofolder", dir + "/p"});
    EXPECT_EQ(r.m_nExit, 1);

    WriteFile(dir + "/bad_dir.bnd", {0x34, 0x12, 0xAA, 0x55, 2, 0, 0, 0, 0xFF, 0, 0, 0});
    r = RunTool({"info", dir + "/bad"});
    EXPECT_EQ(r.m_nExit, 0); // short file: read as a headerless tree, which is damaged...
    WriteFile(dir + "/bad2_dir.bnd", {'n', 'o', 't', 'a', 'p', 'a', 'c', 'k'});
    ::testing::internal::CaptureStdout();
    r = RunTool({"verify", dir + "/bad2"});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "bnd " + dir + "/bad2: damaged directory tree, pack ignored\n");
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_err, "bndtool: " + dir +
                           "/bad2_dir.bnd is not a readable pack (damaged directory tree)\n");

    r = RunTool({"cat", dir + "/bad2", "x"});
    EXPECT_EQ(r.m_nExit, 1);
}

TEST(PackTool, PathPatterns)
{
    EXPECT_TRUE(PackTool_PathMatches("*.bsp", "maps/e1.bsp"));
    EXPECT_TRUE(PackTool_PathMatches("MAPS\\*", "maps/sub/x.txt"));
    EXPECT_TRUE(PackTool_PathMatches("maps/e?.bsp", "maps/e1.bsp"));
    EXPECT_FALSE(PackTool_PathMatches("maps/e?.bsp", "maps/e10.bsp"));
    EXPECT_TRUE(PackTool_PathMatches("maps/", "maps/sub/x.txt"));
    EXPECT_FALSE(PackTool_PathMatches("maps/", "mapsx/y"));
    EXPECT_FALSE(PackTool_PathMatches("*.txt", "a.txt2"));
    EXPECT_TRUE(PackTool_PathMatches("*a*b*", "xxaxxbxx"));
}

namespace
{
// False on file systems that fold case (Windows): there two names that
// differ only in case are one file.
bool FileSystemKeepsCase(const std::string& dir)
{
    WriteFile(dir + "/casetest", {'a'});
    WriteFile(dir + "/CASETEST", {'b'});
    bool bKeeps = ReadFile(dir + "/casetest") == std::vector<uint8_t>{'a'};
    BDeleteFile((dir + "/casetest").c_str());
    BDeleteFile((dir + "/CASETEST").c_str());
    return bKeeps;
}

bool MakeLink(const std::string& link, const std::string& target, bool bDirectory)
{
    CPathString linkPath(link.c_str());
    CPathString targetPath(target.c_str());
    return Plat_CreateSymbolicLink(linkPath.GetWCharPath(), targetPath.GetWCharPath(),
                                   bDirectory) == 0;
}

// Scratch folders outlive a run: the files a test checks for must go first.
void RemoveFiles(const std::string& dir, std::initializer_list<const char*> names)
{
    for (const char* psz : names)
        BDeleteFile((dir + "/" + psz).c_str());
}

std::string JsonEscaped(const std::string& s)
{
    std::string out;
    for (char c : s)
    {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

size_t CountOf(const std::string& s, const std::string& what)
{
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}
} // namespace

TEST(PackTool, CreateReportsEveryCaseClashAndWritesNothing)
{
    std::string dir = ScratchDir();
    if (!FileSystemKeepsCase(dir)) GTEST_SKIP() << "the file system folds case";
    RemoveFiles(dir, {"p_dir.bnd", "p_000.bnd"});
    std::string src = dir + "/src";
    CreateDirectories((src + "/inc/net").c_str());
    // Made beside each other by the system itself: the library's own calls
    // would find "Doc" for "doc", as Windows does.
    std::filesystem::create_directories(src + "/Doc");
    std::filesystem::create_directories(src + "/doc");
    WriteFile(src + "/inc/net/xt_MARK.h", {'1'});
    WriteFile(src + "/inc/net/xt_mark.h", {'2'});
    // Three names for one path make two clashes, each against the first.
    WriteFile(src + "/inc/A.TXT", {'3'});
    WriteFile(src + "/inc/a.txt", {'4'});
    WriteFile(src + "/inc/a.TXT", {'5'});
    // Folders that differ in case clash through the files inside them.
    WriteFile(src + "/Doc/readme", {'6'});
    WriteFile(src + "/doc/readme", {'7'});
    WriteFile(src + "/doc/other", {'8'});

    ToolResult r = RunTool({"create", src, dir + "/p"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_out, "");
    EXPECT_EQ(r.m_err, "bndtool: case clash: " + src + "/Doc/readme and " + src +
                           "/doc/readme would both be stored as doc/readme\n"
                           "bndtool: case clash: " +
                           src + "/inc/A.TXT and " + src +
                           "/inc/a.TXT would both be stored as inc/a.txt\n"
                           "bndtool: case clash: " +
                           src + "/inc/A.TXT and " + src +
                           "/inc/a.txt would both be stored as inc/a.txt\n"
                           "bndtool: case clash: " +
                           src + "/inc/net/xt_MARK.h and " + src +
                           "/inc/net/xt_mark.h would both be stored as inc/net/xt_mark.h\n"
                           "bndtool: 4 files clash with another in case only; no pack written "
                           "(--case-clash=first keeps the first of each)\n");
    EXPECT_FALSE(BFileExists((dir + "/p_dir.bnd").c_str()));
    EXPECT_FALSE(BFileExists((dir + "/p_000.bnd").c_str()));

    r = RunTool({"create", "--case-clash=first", src, dir + "/p"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(CountOf(r.m_err, "bndtool: warning: skipping "), 4u) << r.m_err;
    EXPECT_NE(r.m_err.find("skipping " + src +
                           "/inc/net/xt_mark.h: it would be stored as "
                           "inc/net/xt_mark.h, like " +
                           src + "/inc/net/xt_MARK.h\n"),
              std::string::npos)
        << r.m_err;
    EXPECT_EQ(r.m_out, "created " + dir + "/p_dir.bnd: 4 files, 1 archives, 4 bytes of data\n");
    // The first in sorted (bytewise) order wins: upper case sorts first.
    r = RunTool({"cat", dir + "/p", "inc/net/xt_mark.h"});
    EXPECT_EQ(r.m_out, "1");
    EXPECT_EQ(RunTool({"cat", dir + "/p", "inc/a.txt"}).m_out, "3");
    EXPECT_EQ(RunTool({"cat", dir + "/p", "doc/readme"}).m_out, "6");
    EXPECT_EQ(RunTool({"cat", dir + "/p", "doc/other"}).m_out, "8");

    EXPECT_EQ(RunTool({"create", "--case-clash=last", src, dir + "/q"}).m_nExit, 2);
}

TEST(PackTool, CreateFollowsLinksAndNamesCyclesAndUnreadableFiles)
{
    std::string dir = ScratchDir();
    std::string src = dir + "/src";
    std::string outside = dir + "/outside";
    RemoveFiles(dir, {"q_dir.bnd", "q_000.bnd", "src/maps/e1.map", "src/shared", "src/maps/loop",
                      "src/maps/gone.map"});
    CreateDirectories((src + "/maps").c_str());
    CreateDirectories((outside + "/shared").c_str());
    WriteFile(outside + "/e1.map", {'m'});
    WriteFile(outside + "/shared/s.txt", {'s'});
    if (!MakeLink(src + "/maps/e1.map", outside + "/e1.map", false))
        GTEST_SKIP() << "no symbolic links here";
    // Some systems make links that their own file calls do not follow.
    if (ReadFile(src + "/maps/e1.map") != std::vector<uint8_t>{'m'})
        GTEST_SKIP() << "links made here are not followed when read";
    ASSERT_TRUE(MakeLink(src + "/shared", outside + "/shared", true));

    ToolResult r = RunTool({"create", src, dir + "/p"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(RunTool({"cat", dir + "/p", "maps/e1.map"}).m_out, "m");
    EXPECT_EQ(RunTool({"cat", dir + "/p", "shared/s.txt"}).m_out, "s");

    // A link back to a folder above it.
    ASSERT_TRUE(MakeLink(src + "/maps/loop", src, true));
    r = RunTool({"create", src, dir + "/q"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_err, "bndtool: symbolic link cycle: " + src +
                           "/maps/loop leads back to a folder above it\n");
    EXPECT_FALSE(BFileExists((dir + "/q_dir.bnd").c_str()));
    BDeleteFile((src + "/maps/loop").c_str());

    // A link to nothing cannot be read; the message names it.
    ASSERT_TRUE(MakeLink(src + "/maps/gone.map", outside + "/missing.map", false));
    r = RunTool({"create", src, dir + "/q"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_err, "bndtool: cannot open \"" + src + "/maps/gone.map\"\n");
    EXPECT_FALSE(BFileExists((dir + "/q_dir.bnd").c_str()));
}

namespace
{
void WritePack(const std::string& base,
               std::initializer_list<std::pair<const char*, const char*>> files)
{
    CPackWriter writer;
    for (const auto& file : files)
        writer.AddFile(file.first, file.second, (uint32_t)strlen(file.second));
    ASSERT_TRUE(writer.Write(base.c_str())) << writer.GetError();
}

// An install with two depots that both hold maps/e1.map, a loose file and
// (when given) a configuration.
std::string MakeInstall(const char* pszConfig)
{
    std::string game = ScratchDir() + "/game";
    CreateDirectories((game + "/bnds").c_str());
    CreateDirectories((game + "/maps").c_str());
    WritePack(game + "/bnds/depot_441", {{"maps/e1.map", "version 1"}, {"maps/only441.map", "a"}});
    WritePack(game + "/bnds/depot_442", {{"Maps/E1.map", "version two"}});
    WriteFile(game + "/maps/local.map", {'l'});
    WriteFile(game + "/maps/e1.map", {'d'});
    BDeleteFile((game + "/quern_bnds.kvt").c_str());
    if (pszConfig)
        WriteFile(game + "/quern_bnds.kvt",
                  std::vector<uint8_t>(pszConfig, pszConfig + strlen(pszConfig)));
    return game;
}

// The pack lines of a resolve answer name the packs by their absolute base
// path with '\' separators; the tests look at the last part only.
std::string Packs(const std::string& out)
{
    std::string s;
    size_t at = 0;
    while ((at = out.find("depot_", at)) != std::string::npos)
    {
        s += out.substr(at + 6, 3) + " ";
        at += 6;
    }
    return s;
}
} // namespace

TEST(PackTool, ResolveFollowsTheMountAndLookupOrder)
{
    // Installed depots: the later depot is mounted later and searched first;
    // the earlier one's copy is shadowed.
    std::string game = MakeInstall(nullptr);
    ToolResult r = RunTool({"resolve", "--dir", game, "--depots", "441,442", "MAPS\\e1.map",
                            "maps/only441.map", "maps/local.map"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(r.m_out.find("mounts from the installed depots, searched first to last:\n"), 0u)
        << r.m_out;
    EXPECT_EQ(Packs(r.m_out), "442 441 442 441 441 ") << r.m_out;
    EXPECT_NE(r.m_out.find("MAPS\\e1.map\n  pack      "), std::string::npos) << r.m_out;
    EXPECT_NE(r.m_out.find("_dir.bnd: 11 bytes, archive 000, offset 0\n  shadowed  "),
              std::string::npos)
        << r.m_out;
    EXPECT_NE(r.m_out.find("_dir.bnd: 9 bytes, archive 000, offset 0\nmaps/only441.map\n"),
              std::string::npos)
        << r.m_out;
    // Not in a pack: the disk file beside the game.
    EXPECT_NE(r.m_out.find("maps/local.map\n  disk      maps/local.map\n"), std::string::npos)
        << r.m_out;

    r = RunTool({"resolve", "--dir", game, "--depots", "442,441", "maps/e1.map"});
    EXPECT_EQ(Packs(r.m_out), "441 442 441 442 ") << r.m_out;

    // A depot whose directory file is missing is named with the file looked for
    // (the install folder's spelling differs between systems; its tail does not).
    r = RunTool({"resolve", "--dir", game, "--depots", "443,441", "maps/only441.map"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    const std::string mounted = "depot_441_dir.bnd\n";
    size_t nLine = r.m_out.find(mounted + "  skipped   ");
    ASSERT_NE(nLine, std::string::npos) << r.m_out;
    nLine += mounted.size();
    std::string line = r.m_out.substr(nLine, r.m_out.find('\n', nLine) + 1 - nLine);
    const std::string tail = "\\bnds\\depot_443_dir.bnd (no such file)\n";
    ASSERT_GE(line.size(), tail.size()) << r.m_out;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << r.m_out;
    EXPECT_EQ(r.m_out.compare(nLine + line.size(), 17, "maps/only441.map\n"), 0) << r.m_out;
}

// Packs the reader refuses (unknown version, two archives through one slot)
// end neither a command nor a start-up that meets them.
TEST(PackTool, PacksTheReaderRefusesAreReportedAndSkipped)
{
    std::string dir = ScratchDir();
    RawTree slots;
    slots.Ext("bin").Dir(" ").File("a", {{511, 0, 1}}).File("b", {{0x7FFF, 0, 1}});
    slots.End().End().End();
    const struct
    {
        std::vector<uint8_t> m_file;
        const char* m_pszWhy;
    } packs[] = {
        {DirFile(3, RawTree().End().Bytes()), "unknown version 3"},
        {DirFile(2, slots.Bytes(), {'b'}),
         "archive 511 and the data in the directory file share an archive slot"},
    };
    for (const auto& pack : packs)
    {
        WriteFile(dir + "/p_dir.bnd", pack.m_file);
        WriteFile(dir + "/p_511.bnd", {'a'});
        for (const char* pszCommand : {"verify", "list", "info"})
        {
            ::testing::internal::CaptureStdout();
            ToolResult r = RunTool({pszCommand, dir + "/p"});
            ::testing::internal::GetCapturedStdout(); // the reader's warning
            EXPECT_EQ(r.m_nExit, 1) << pszCommand;
            EXPECT_EQ(r.m_out, "") << pszCommand;
            EXPECT_EQ(r.m_err, "bndtool: " + dir + "/p_dir.bnd is not a readable pack (" +
                                   pack.m_pszWhy + ")\n")
                << pszCommand;
        }
    }

    // A stray directory file in the scanned folder is skipped with its
    // warning; the other packs are mounted.
    std::string game = MakeInstall(nullptr);
    WriteFile(game + "/bnds/depot_999_dir.bnd", packs[0].m_file);
    ::testing::internal::CaptureStdout();
    ToolResult r = RunTool({"resolve", "--dir", game, "maps/only441.map"});
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    // Two mounts (in the folder's listing order) and the pack that serves the path.
    std::string mounted = Packs(r.m_out);
    EXPECT_TRUE(mounted == "441 442 441 " || mounted == "442 441 441 ") << r.m_out;
    EXPECT_NE(out.find("Unknown version 3 for bnd "), std::string::npos) << out;
    EXPECT_NE(out.find("depot_999\n"), std::string::npos) << out;
}

TEST(PackTool, ResolveMountsFromTheConfigurationFirst)
{
    // The configuration wins over the depots; its last entry is searched first.
    std::string game = MakeInstall("\"bnd\" { \"mount\" { \"a\" \"bnds/depot_442\" "
                                   "\"b\" \"bnds/depot_441\" } }\n");
    ToolResult r = RunTool({"resolve", "--dir", game, "--depots", "442", "maps/e1.map"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(r.m_out.find("mounts from the mount section of quern_bnds.kvt"), 0u) << r.m_out;
    EXPECT_EQ(Packs(r.m_out), "441 442 441 442 ") << r.m_out;

    // A configuration without a mount section leaves the choice to the depots,
    // and without depots to the scan of bnds.
    game = MakeInstall("\"bnd\" { \"spewfileio\" \"0\" }\n");
    r = RunTool({"resolve", "--dir", game, "maps/only441.map"});
    EXPECT_EQ(r.m_out.find("mounts from the scan of bnds"), 0u) << r.m_out;
    EXPECT_NE(r.m_out.find("maps/only441.map\n  pack "), std::string::npos) << r.m_out;
    r = RunTool({"resolve", "--dir", game, "--depots", "442", "maps/only441.map"});
    EXPECT_EQ(r.m_out.find("mounts from the installed depots"), 0u) << r.m_out;
    EXPECT_NE(r.m_out.find("maps/only441.map\n  disk      maps/only441.map (no such file)\n"),
              std::string::npos)
        << r.m_out;

    // A configuration that does not parse stops start-up.
    game = MakeInstall("\"bnd\" { \"mount\" {\n");
    r = RunTool({"resolve", "--dir", game, "maps/e1.map"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_NE(r.m_err.find("quern_bnds.kvt does not parse"), std::string::npos) << r.m_err;

    EXPECT_EQ(RunTool({"resolve", "--dir", game}).m_nExit, 2);
    EXPECT_EQ(RunTool({"resolve", "--depots", "x", "a"}).m_nExit, 2);
    EXPECT_EQ(RunTool({"resolve", "--dir", game + "/nowhere", "a"}).m_nExit, 1);
}

TEST(PackTool, ProgressLineAndItsSuppression)
{
    char sz[256];
    bndtool::Progress::Format(sz, sizeof(sz), "verify", 3, 10, 512ull << 20, 2048ull << 20, 2000);
    EXPECT_STREQ(sz, "verify: 3/10 files, 512.0 MB/2.00 GB (25%), 256.0 MB/s, 0:06 left");
    bndtool::Progress::Format(sz, sizeof(sz), "create", 0, 4, 0, 5000, 0);
    EXPECT_STREQ(sz, "create: 0/4 files, 0 kB/4 kB (0%), -/s, --:-- left");
    // An hour or more left; a total of nothing is done.
    bndtool::Progress::Format(sz, sizeof(sz), "x", 1, 2, 1 << 20, 4000ull << 20, 1000);
    EXPECT_STREQ(sz, "x: 1/2 files, 1.0 MB/3.91 GB (0%), 1.0 MB/s, 1:06:39 left");
    bndtool::Progress::Format(sz, sizeof(sz), "x", 0, 0, 0, 0, 5);
    EXPECT_STREQ(sz, "x: 0/0 files, 0 kB/0 kB (100%), -/s, --:-- left");

    // Standard error is no terminal here: the commands print no progress,
    // even for work that runs long enough to show it.
    std::string dir = ScratchDir();
    FILE* pErr = tmpfile();
    {
        bndtool::Progress progress(pErr, "verify", 1, 100, false);
        ThreadSleep(400);
        progress.Update(1, 50);
    }
    EXPECT_EQ(Drain(pErr), "");
    MakeTree(dir + "/src");
    for (const char* pszQuiet : {"", "--quiet"})
    {
        std::vector<std::string> create = {"create", dir + "/src", dir + "/p"};
        if (*pszQuiet) create.insert(create.begin() + 1, pszQuiet);
        ToolResult r = RunTool(create);
        EXPECT_EQ(r.m_nExit, 0);
        EXPECT_EQ(r.m_err, "");
        r = RunTool({"verify", dir + "/p", "-q"});
        EXPECT_EQ(r.m_nExit, 0);
        EXPECT_EQ(r.m_err, "");
        r = RunTool({"extract", dir + "/p", dir + "/x", "-q"});
        EXPECT_EQ(r.m_nExit, 0);
        EXPECT_EQ(r.m_err, "");
    }
}

namespace
{
// Fails the test unless the output is one JSON text.
JsonValue ParseJsonOutput(const std::string& out)
{
    JsonValue value;
    std::string why;
    EXPECT_TRUE(JsonReader::Parse(out, &value, &why)) << why;
    return value;
}

std::string Hex8(uint32_t u)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "%08x", u);
    return sz;
}
} // namespace

TEST(PackTool, JsonOutputForScripts)
{
    std::string dir = ScratchDir();
    std::string jdir = JsonEscaped(dir);
    CPackWriter writer;
    writer.SetMaxArchiveSize(100);
    std::vector<uint8_t> a = Pattern(80, 1);
    writer.AddFile("a.bin", a.data(), 80);
    writer.AddFile("odd \"name\"\t.txt", "xy", 2);
    PackWriterFileOptions embed;
    embed.m_bEmbed = true;
    writer.AddFile("e/mbed.dat", "embedded", 8, &embed);
    ASSERT_TRUE(writer.Write((dir + "/p").c_str())) << writer.GetError();
    const std::string crcA = Hex8(PackCrc32(0, a.data(), 80));
    const std::string crcOdd = Hex8(PackCrc32(0, "xy", 2));

    ToolResult r = RunTool({"list", "--json", dir + "/p", "*.bin", "*.dat"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_err;
    EXPECT_EQ(r.m_out, "[\n {\"path\": \"a.bin\", \"size\": 80, \"archive\": 0, \"offset\": 0, "
                       "\"preload\": 0, \"crc\": \"" +
                           crcA +
                           "\"},\n {\"path\": \"e/mbed.dat\", \"size\": 8, \"archive\": -1, "
                           "\"offset\": 0, \"preload\": 0, \"crc\": \"" +
                           Hex8(PackCrc32(0, "embedded", 8)) + "\"}\n]\n");
    ParseJsonOutput(r.m_out);
    r = RunTool({"list", "--json", dir + "/p", "odd*"});
    EXPECT_EQ(r.m_out, "[\n {\"path\": \"odd \\\"name\\\"\\u0009.txt\", \"size\": 2, "
                       "\"archive\": 0, \"offset\": 80, \"preload\": 0, \"crc\": \"" +
                           crcOdd + "\"}\n]\n");
    EXPECT_EQ(ParseJsonOutput(r.m_out)[0]["path"].m_text, "odd \"name\"\t.txt");
    EXPECT_EQ(RunTool({"list", "--json", dir + "/p", "none"}).m_out, "[]\n");

    r = RunTool({"info", "--json", dir + "/p"});
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_EQ(r.m_out, "{\"pack\": \"" + jdir +
                           "/p\", \"version\": 2, \"header_size\": 28, \"tree_size\": " +
                           std::to_string(ReadFile(dir + "/p_dir.bnd").size() - 28 - 8) +
                           ", \"embedded_data\": 8, \"archive_checksums\": 0, "
                           "\"other_checksums\": 0, \"signature\": 0, \"files\": 3, "
                           "\"extensions\": 3, \"directories\": 3, \"data_bytes\": 90, "
                           "\"preload_bytes\": 0, \"archives\": [{\"index\": 0, \"file\": \"" +
                           jdir +
                           "/p_000.bnd\", \"files\": 2, \"bytes_used\": 82, \"bytes_on_disk\": "
                           "82}, {\"index\": -1, \"file\": \"" +
                           jdir +
                           "/p_dir.bnd\", \"files\": 1, \"bytes_used\": 8, \"bytes_on_disk\": " +
                           std::to_string(ReadFile(dir + "/p_dir.bnd").size()) + "}]}\n");
    EXPECT_EQ(ParseJsonOutput(r.m_out)["archives"].m_items.size(), 2u);

    r = RunTool({"verify", "--json", dir + "/p"});
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_EQ(r.m_out,
              "{\"pack\": \"" + jdir + "/p\", \"files\": 3, \"ok\": true, \"problems\": []}\n");
    ParseJsonOutput(r.m_out);
    std::vector<uint8_t> archive = ReadFile(dir + "/p_000.bnd");
    archive[3] ^= 0xFF;
    archive.resize(81);
    WriteFile(dir + "/p_000.bnd", archive);
    r = RunTool({"verify", "--json", dir + "/p"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_out, "{\"pack\": \"" + jdir +
                           "/p\", \"files\": 3, \"ok\": false, \"problems\": [\n"
                           "  {\"path\": \"a.bin\", \"kind\": \"crc mismatch\", \"chunk\": 0, "
                           "\"detail\": \"stored " +
                           crcA + ", data gives " + Hex8(PackCrc32(0, archive.data(), 80)) +
                           "\"},\n  {\"path\": \"odd \\\"name\\\"\\u0009.txt\", \"kind\": "
                           "\"unreadable\", \"chunk\": 0, \"detail\": \"bytes 80..82 lie beyond "
                           "the end of " +
                           jdir + "/p_000.bnd (81 bytes)\"}\n]}\n");
    EXPECT_EQ(ParseJsonOutput(r.m_out)["problems"].m_items.size(), 2u);
}

TEST(PackTool, JsonReaderRefusesWhatIsNotJson)
{
    for (const char* psz : {"", "[", "[1,]", "{\"a\":1,}", "{\"a\":1,\"a\":2}", "\"\t\"", "\"\\x\"",
                            "\"\\ud800\"", "\"\xff\"", "\"\xc3(\"", "\"\xed\xa0\x80\"", "01", "1.",
                            "[1] 2", "{a:1}", "'a'", "nul", "\"\\u12\""})
    {
        JsonValue v;
        EXPECT_FALSE(JsonReader::Parse(psz, &v, nullptr)) << psz;
    }
    JsonValue v = ParseJsonOutput(
        " {\"s\": \"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0001\\u00e9\\ud83d\\ude00\xc3\xa9\", "
        "\"n\": [-0.5e+3, 0, 12], \"b\": [true, false, null]}\n");
    EXPECT_EQ(v["s"].m_text, "q\"\\/\b\f\n\r\t\x01\xc3\xa9\xf0\x9f\x98\x80\xc3\xa9");
    EXPECT_EQ(v["n"][0].m_text, "-0.5e+3");
    EXPECT_EQ(v["n"][2].Int(), 12);
    EXPECT_TRUE(v["b"][0].m_bValue);
    EXPECT_EQ(v["b"][1].m_kind, JsonValue::BOOL);
    EXPECT_FALSE(v["b"][1].m_bValue);
    EXPECT_EQ(v["b"][2].m_kind, JsonValue::NUL);
}

TEST(PackTool, JsonIsValidWhateverBytesPathsAndPackNamesHold)
{
    // Names as a hand-made tree may hold them: quotes, backslashes, control
    // characters, UTF-8 and bytes that are not UTF-8 (shown as U+FFFD).
    struct Entry
    {
        const char* m_pszExt;
        const char* m_pszDir;
        const char* m_pszName;
        const char* m_pszPath; // as JSON gives it back
    };
    const Entry entries[] = {
        // In tree order: extension, directory, name.
        {" ", " ", "ctl\x01\x1f\x7f\t\n", "ctl\x01\x1f\x7f\t\n"},
        {"bin", "utf8", "bad\xff\xc3(", "utf8/bad\xef\xbf\xbd\xef\xbf\xbd(.bin"},
        {"bin", "utf8", "caf\xc3\xa9", "utf8/caf\xc3\xa9.bin"},
        {"txt", " ", "q\"uote", "q\"uote.txt"},
        {"txt", "back\\slash", "x", "back\\slash/x.txt"},
    };
    std::map<std::string, int> sizes; // by path as JSON gives it back
    for (const Entry& e : entries)
        sizes[e.m_pszPath] = 8 + (int)strlen(e.m_pszName);
    std::string dir = ScratchDir();
    // The pack's own name too, where the file system takes such a name ('\\'
    // is a separator to the file layer everywhere, and so in the names of
    // packs on Windows).
    std::string base = dir + "/p\"ack\x01";
    if (FILE* f = fopen((base + "_dir.bnd").c_str(), "wb")) fclose(f);
    if (!BFileExists((base + "_dir.bnd").c_str())) base = dir + "/p";

    auto write = [&](uint32_t crcDelta)
    {
        RawTree t;
        std::vector<uint8_t> data;
        const char* pszExt = nullptr;
        const char* pszDir = nullptr;
        for (const Entry& e : entries)
        {
            if (!pszExt || strcmp(pszExt, e.m_pszExt) != 0)
            {
                if (pszExt) t.End().End();
                t.Ext(pszExt = e.m_pszExt);
                pszDir = nullptr;
            }
            if (!pszDir || strcmp(pszDir, e.m_pszDir) != 0)
            {
                if (pszDir) t.End();
                t.Dir(pszDir = e.m_pszDir);
            }
            std::string content = std::string("data of ") + e.m_pszName;
            t.File(e.m_pszName,
                   {{BND_DIRECTORY_ARCHIVE_INDEX, (uint32_t)data.size(), (uint32_t)content.size()}},
                   {}, PackCrc32(0, content.data(), content.size()) + crcDelta);
            data.insert(data.end(), content.begin(), content.end());
        }
        t.End().End().End();
        WriteFile(base + "_dir.bnd", DirFile(2, t.Bytes(), data));
    };
    write(0);

    ToolResult r = RunTool({"list", "--json", base});
    ASSERT_EQ(r.m_nExit, 0) << r.m_err;
    JsonValue list = ParseJsonOutput(r.m_out);
    ASSERT_EQ(list.m_kind, JsonValue::ARRAY);
    ASSERT_EQ(list.m_items.size(), 5u) << r.m_out;
    std::vector<std::string> paths;
    for (const JsonValue& item : list.m_items)
    {
        paths.push_back(item["path"].m_text);
        EXPECT_EQ(item["size"].Int(), sizes[paths.back()]) << paths.back();
        EXPECT_EQ(item["archive"].Int(), -1);
        EXPECT_EQ(item["preload"].Int(), 0);
        EXPECT_EQ(item["crc"].m_text.size(), 8u);
    }
    std::vector<std::string> expected;
    for (const auto& size : sizes)
        expected.push_back(size.first);
    EXPECT_EQ(paths, expected); // byte order
    r = RunTool({"info", "--json", base});
    ASSERT_EQ(r.m_nExit, 0) << r.m_err;
    JsonValue info = ParseJsonOutput(r.m_out);
    EXPECT_EQ(info["pack"].m_text, base);
    EXPECT_EQ(info["files"].Int(), 5);
    EXPECT_EQ(info["extensions"].Int(), 3);
    EXPECT_EQ(info["directories"].Int(), 4);
    EXPECT_EQ(info["archives"][0]["index"].Int(), -1);
    EXPECT_EQ(info["archives"][0]["file"].m_text, base + "_dir.bnd");

    r = RunTool({"verify", "--json", base});
    EXPECT_EQ(r.m_nExit, 0) << r.m_out;
    JsonValue verify = ParseJsonOutput(r.m_out);
    EXPECT_EQ(verify["pack"].m_text, base);
    EXPECT_EQ(verify["files"].Int(), 5);
    EXPECT_TRUE(verify["ok"].m_bValue);
    EXPECT_EQ(verify["problems"].m_kind, JsonValue::ARRAY);

    // Every CRC wrong: every path in the problems.
    write(1);
    r = RunTool({"verify", "--json", base});
    EXPECT_EQ(r.m_nExit, 1);
    verify = ParseJsonOutput(r.m_out);
    EXPECT_EQ(verify["ok"].m_kind, JsonValue::BOOL);
    EXPECT_FALSE(verify["ok"].m_bValue);
    paths.clear();
    for (const JsonValue& problem : verify["problems"].m_items)
    {
        paths.push_back(problem["path"].m_text);
        EXPECT_EQ(problem["kind"].m_text, "crc mismatch");
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, expected);
}
