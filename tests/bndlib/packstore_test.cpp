// Loading, lookups and directory queries of PackStore.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/bndlib/bndlib_test_support.h"
#include "bndlib/packstore.h"
#include "bndlib/packwriter.h"

using namespace bndtest;

namespace
{
std::string WritePack(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files,
                      const char* pszName = "pak")
{
    std::string base = ScratchDir() + "/" + pszName;
    CPackWriter writer;
    for (const auto& f : files)
        EXPECT_TRUE(writer.AddFile(f.first.c_str(), f.second.data(), (uint32_t)f.second.size()))
            << writer.GetError();
    EXPECT_TRUE(writer.Write(base.c_str())) << writer.GetError();
    return base;
}

std::vector<std::string> Strings(const CUtlVector<CUtlOwnedString>& v)
{
    std::vector<std::string> out;
    for (int i = 0; i < v.Count(); ++i)
        out.push_back(v[i].Get());
    return out;
}

std::string ReadAll(PackStore& store, PackEntryHandle h)
{
    std::string s(h.m_nSize > 0 ? h.m_nSize : 0, '\0');
    int n = store.ReadEntry(h, &s[0], (int)s.size());
    s.resize(n > 0 ? n : 0);
    return s;
}
} // namespace

TEST(PackStoreLoad, MissingOrEmptyPacksAreEmpty)
{
    PackStore none;
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_FALSE(none.FindEntry("a.txt").IsValid());

    PackStore missing((ScratchDir() + "/nothing").c_str());
    EXPECT_TRUE(missing.IsEmpty());

    std::string base = WritePack({});
    PackStore empty(base.c_str());
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetTreeSize(), 1u);
}

TEST(PackStoreLoad, OpensDirFileByBaseOrByItsOwnName)
{
    std::string base = WritePack({{"a.txt", {'x'}}});
    PackStore byBase(base.c_str());
    EXPECT_FALSE(byBase.IsEmpty());
    EXPECT_EQ(byBase.GetHeaderSize(), 28);
    EXPECT_EQ(byBase.GetHeader().m_nVersion, 2);
    EXPECT_EQ(byBase.GetEntryCount(), 1);

    PackStore byFile((base + "_dir.bnd").c_str());
    EXPECT_TRUE(byFile.FindEntry("a.txt").IsValid());
    // The absolute path is lower-cased with '\' separators.
    std::string abs = base;
    for (char& c : abs)
        c = c == '/' ? '\\' : (char)tolower((unsigned char)c);
    EXPECT_EQ(std::string(byBase.GetAbsolutePath()), abs);
}

TEST(PackStoreLookup, CaseAndSeparatorsAreFolded)
{
    std::string base = WritePack({{"Data/Foo.TXT", {1, 2, 3}}, {"readme", {4}}});
    PackStore store(base.c_str());
    for (const char* psz : {"Data/Foo.TXT", "data/foo.txt", "DATA\\FOO.txt", "data//foo.txt"})
    {
        PackEntryHandle h = store.FindEntry(psz);
        if (std::string(psz) == "data//foo.txt")
        {
            EXPECT_FALSE(h.IsValid()) << psz; // doubled separators are the file layer's job
            continue;
        }
        ASSERT_TRUE(h.IsValid()) << psz;
        EXPECT_EQ(h.m_nSize, 3);
        EXPECT_STREQ(h.m_pszName, "foo");
        EXPECT_EQ(h.m_pStore, &store);
    }
    // Root file without extension: found by its bare name only.
    EXPECT_TRUE(store.FindEntry("readme").IsValid());
    EXPECT_TRUE(store.FindEntry("README").IsValid());
    EXPECT_FALSE(store.FindEntry("\\readme").IsValid());
    EXPECT_FALSE(store.FindEntry("/readme").IsValid());
    EXPECT_FALSE(store.FindEntry("readme.").IsValid());
    EXPECT_FALSE(store.FindEntry("data").IsValid());
    EXPECT_FALSE(store.FindEntry("data/foo").IsValid());
    EXPECT_FALSE(store.FindEntry("").IsValid());
    EXPECT_FALSE(store.FindEntry(nullptr).IsValid());

    int nDir = -2;
    const char* pszName = "x";
    store.FindEntry("data/foo.txt", &nDir, &pszName);
    EXPECT_GE(nDir, 0);
    EXPECT_STREQ(pszName, "foo");
    store.FindEntry("data/bar.txt", &nDir, &pszName);
    EXPECT_EQ(nDir, -1);
    EXPECT_EQ(pszName, nullptr);
}

TEST(PackStoreLookup, ExtensionIsWhatFollowsTheLastDot)
{
    // The writer stores x.lod0.mdl as name "x.lod0", extension "mdl"; the
    // lookup must split the same way or such files are packed but never found.
    std::string base = WritePack({{"models/x.lod0.mdl", {'1'}},
                                  {"models/x.lod0", {'2'}},
                                  {"a.b.c.d", {'3'}},
                                  {"v1.2/readme", {'4'}},
                                  {"v1.2/n.txt", {'5'}}});
    PackStore store(base.c_str());
    PackEntryHandle h = store.FindEntry("Models\\X.LOD0.mdl");
    ASSERT_TRUE(h.IsValid());
    EXPECT_STREQ(h.m_pszName, "x.lod0");
    EXPECT_EQ(ReadAll(store, h), "1");
    EXPECT_EQ(ReadAll(store, store.FindEntry("models/x.lod0")), "2");
    EXPECT_EQ(ReadAll(store, store.FindEntry("a.b.c.d")), "3");
    // Dots in the directory never make an extension.
    EXPECT_EQ(ReadAll(store, store.FindEntry("v1.2/readme")), "4");
    EXPECT_EQ(ReadAll(store, store.FindEntry("v1.2/n.txt")), "5");
    EXPECT_FALSE(store.FindEntry("models/x.mdl").IsValid());
    EXPECT_FALSE(store.FindEntry("models/x.lod0.mdl.").IsValid());
    EXPECT_FALSE(store.FindEntry("v1.2/readme.").IsValid());

    // The directory queries split names the same way.
    CUtlVector<CUtlOwnedString> files;
    store.FindInDirectory("models/*.mdl", nullptr, &files);
    EXPECT_EQ(Strings(files), (std::vector<std::string>{"x.lod0.mdl"}));
    files.RemoveAll();
    store.FindInDirectory("models/*.lod", nullptr, &files);
    EXPECT_EQ(Strings(files), (std::vector<std::string>{"x.lod0"}));
    files.RemoveAll();
    store.FindInDirectory("v1.2/*", nullptr, &files);
    std::vector<std::string> f = Strings(files);
    std::sort(f.begin(), f.end());
    EXPECT_EQ(f, (std::vector<std::string>{"n.txt", "readme"}));
}

TEST(PackStoreLookup, LongestStorablePartsAreFound)
{
    // Directory, name and extension are each looked up in 260 characters: a
    // 258-character directory (259 with its separator), a 259-character name
    // with an extension after it, and a 259-character name without one.
    const std::string longDir(258, 'd');
    const std::string longName(259, 'n');
    std::string base = WritePack({{longDir + "/f.txt", {'1'}},
                                  {longName + ".txt", {'2'}},
                                  {"x/" + longName, {'3'}},
                                  {longName + "." + std::string(200, 'e'), {'4'}}});
    PackStore store(base.c_str());
    ASSERT_EQ(store.GetEntryCount(), 4);
    EXPECT_EQ(ReadAll(store, store.FindEntry((longDir + "/F.TXT").c_str())), "1");
    EXPECT_EQ(ReadAll(store, store.FindEntry((longName + ".txt").c_str())), "2");
    EXPECT_EQ(ReadAll(store, store.FindEntry(("x/" + longName).c_str())), "3");
    EXPECT_EQ(ReadAll(store, store.FindEntry((longName + "." + std::string(200, 'e')).c_str())),
              "4");
    EXPECT_FALSE(store.FindEntry((longName + ".tx").c_str()).IsValid());
    EXPECT_FALSE(store.FindEntry((longName.substr(1) + ".txt").c_str()).IsValid());
}

TEST(PackStoreLookup, UpperCaseNamesInTheTreeNeverMatch)
{
    RawTree t;
    t.Ext("txt")
        .Dir("data")
        .File("Foo", {{0x7FFF, 0, 0}}, {'u'})
        .File("foo", {{0x7FFF, 0, 0}}, {'l'});
    t.End().End().End();
    std::string dir = ScratchDir();
    WriteFile(dir + "/p_dir.bnd", DirFile(2, t.Bytes()));
    PackStore store((dir + "/p").c_str());
    PackEntryHandle h = store.FindEntry("Data/Foo.TXT");
    ASSERT_TRUE(h.IsValid());
    EXPECT_EQ(ReadAll(store, h), "l");
}

TEST(PackStoreLookup, ParentSegmentsAreResolved)
{
    std::string base = WritePack({{"a/c.txt", {'1'}}, {"a/c/d.txt", {'2'}}, {"c/x.txt", {'3'}}});
    PackStore store(base.c_str());
    PackEntryHandle h = store.FindEntry("a/b/../c.txt");
    ASSERT_TRUE(h.IsValid());
    EXPECT_EQ(ReadAll(store, h), "1");
    // The component before "/../" goes, the separator before it stays.
    EXPECT_EQ(ReadAll(store, store.FindEntry("a/b/../c/d.txt")), "2");
    EXPECT_EQ(ReadAll(store, store.FindEntry("b/../c/x.txt")), "3");
    EXPECT_EQ(ReadAll(store, store.FindEntry("a\\b\\..\\c.txt")), "1");
    EXPECT_FALSE(store.FindEntry("../a/c.txt").IsValid());
}

TEST(PackStoreLookup, LaterExtensionAndDirectoryShadowEarlierOnes)
{
    RawTree t;
    t.Ext("txt").Dir("a").File("x", {{0x7FFF, 0, 0}}, {'1'}).File("y", {{0x7FFF, 0, 0}}, {'2'});
    t.End().End();
    // The same extension again: its directory "a" hides the first one entirely.
    t.Ext("txt").Dir("a").File("x", {{0x7FFF, 0, 0}}, {'3'}).File("x", {{0x7FFF, 0, 0}}, {'4'});
    t.End().End().End();
    std::string dir = ScratchDir();
    WriteFile(dir + "/p_dir.bnd", DirFile(2, t.Bytes()));
    PackStore store((dir + "/p").c_str());
    EXPECT_EQ(ReadAll(store, store.FindEntry("a/x.txt")), "3"); // first of the later list
    EXPECT_FALSE(store.FindEntry("a/y.txt").IsValid());
    EXPECT_EQ(store.GetEntryCount(), 4);
    EXPECT_EQ(store.GetExtensionCount(), 2);
}

TEST(PackStoreLoad, HeaderlessAndVersionOneFiles)
{
    RawTree t;
    t.Ext(" ").Dir(" ").File("readme", {{0x7FFF, 0, 2}}, {'h'}).End().End().End();
    std::string dir = ScratchDir();

    // No signature: the whole file is the tree.
    WriteFile(dir + "/bare_dir.bnd", t.Bytes());
    PackStore bare((dir + "/bare").c_str());
    ASSERT_FALSE(bare.IsEmpty());
    EXPECT_EQ(bare.GetHeaderSize(), 0);
    EXPECT_EQ(bare.GetTreeSize(), t.Bytes().size());
    EXPECT_TRUE(bare.FindEntry("readme").IsValid());

    // Version 1: 12-byte header; embedded data right behind the tree.
    WriteFile(dir + "/v1_dir.bnd", DirFile(1, t.Bytes(), {'i', 'j', 'k'}));
    PackStore v1((dir + "/v1").c_str());
    ASSERT_FALSE(v1.IsEmpty());
    EXPECT_EQ(v1.GetHeaderSize(), 12);
    EXPECT_EQ(v1.GetHeader().m_uEmbeddedDataSize, 3u);
    EXPECT_EQ(ReadAll(v1, v1.FindEntry("readme")), "hij");

    // Versions 0 and below take the 28-byte header as read.
    WriteFile(dir + "/v0_dir.bnd", DirFile(0, t.Bytes()));
    PackStore v0((dir + "/v0").c_str());
    EXPECT_EQ(v0.GetHeaderSize(), 28);
    EXPECT_TRUE(v0.FindEntry("readme").IsValid());
}

TEST(PackStoreLoad, TreesThatFillTheFileExactly)
{
    // Plain packs (no embedded data) end with the tree's last byte.
    RawTree t;
    t.Ext("txt").Dir("data").File("plain", {{0, 0, 0}}, {'p', 'q'}).End().End().End();
    const std::vector<uint8_t>& tree = t.Bytes();
    std::string dir = ScratchDir();

    for (int nVersion : {1, 2})
    {
        std::string tag = "v" + std::to_string(nVersion);
        std::vector<uint8_t> file = DirFile(nVersion, tree);
        WriteFile(dir + "/" + tag + "_dir.bnd", file);
        PackStore store((dir + "/" + tag).c_str());
        ASSERT_FALSE(store.IsEmpty()) << nVersion;
        EXPECT_FALSE(store.IsDamaged()) << nVersion;
        EXPECT_EQ(store.GetTreeSize(), tree.size());
        EXPECT_EQ(store.GetHeader().m_uEmbeddedDataSize, 0u);
        EXPECT_EQ(ReadAll(store, store.FindEntry("data/plain.txt")), "pq");

        // One byte short of the declared tree: refused.
        file.pop_back();
        WriteFile(dir + "/" + tag + "cut_dir.bnd", file);
        PackStore cut((dir + "/" + tag + "cut").c_str());
        EXPECT_TRUE(cut.IsEmpty()) << nVersion;
        EXPECT_TRUE(cut.IsDamaged()) << nVersion;
    }

    // A headerless tree shorter than a header is still the whole file.
    RawTree tiny;
    tiny.Ext(" ").Dir(" ").File("a", {{0, 0, 0}}).End().End().End();
    ASSERT_LT(tiny.Bytes().size(), (size_t)BND_HEADER_SIZE);
    WriteFile(dir + "/tiny_dir.bnd", tiny.Bytes());
    PackStore small((dir + "/tiny").c_str());
    ASSERT_FALSE(small.IsEmpty());
    EXPECT_EQ(small.GetHeaderSize(), 0);
    EXPECT_EQ(small.GetTreeSize(), tiny.Bytes().size());
    EXPECT_TRUE(small.FindEntry("a").IsValid());
}

TEST(PackStoreLoad, VersionsAboveTwoAreRefusedLikeDamagedPacks)
{
    RawTree t;
    t.Ext("txt").Dir(" ").File("a", {{0x7FFF, 0, 1}}).End().End().End();
    std::string dir = ScratchDir();
    for (int nVersion : {3, 0x7FFFFFFF})
    {
        std::string base = dir + "/v" + std::to_string(nVersion);
        WriteFile(base + "_dir.bnd", DirFile(nVersion, t.Bytes(), {'x'}));
        ::testing::internal::CaptureStdout();
        PackStore store(base.c_str());
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "Unknown version " + std::to_string(nVersion) + " for bnd " + base + "\n");
        EXPECT_TRUE(store.IsEmpty());
        EXPECT_TRUE(store.IsDamaged());
        EXPECT_EQ(std::string(store.GetDamage()), "unknown version " + std::to_string(nVersion));
        EXPECT_FALSE(store.FindEntry("a.txt").IsValid());
    }
}

TEST(PackStoreLoad, MalformedTreesAreRefusedWhole)
{
    RawTree good;
    good.Ext("txt").Dir("a").File("x", {{0, 0, 4}}, {'p', 'q'}).End().End().End();
    const std::vector<uint8_t>& tree = good.Bytes();
    std::string dir = ScratchDir();

    // Every proper prefix of the tree, declared with its own size, is refused;
    // the full tree loads.
    for (size_t n = 2; n <= tree.size(); ++n)
    {
        std::vector<uint8_t> cut(tree.begin(), tree.begin() + n);
        WriteFile(dir + "/c_dir.bnd", DirFile(2, cut));
        PackStore store((dir + "/c").c_str());
        EXPECT_EQ(store.IsEmpty(), n != tree.size()) << n;
        EXPECT_FALSE(store.FindEntry("a/x.txt").IsValid() && n != tree.size());
    }

    // A tree size beyond the file.
    std::vector<uint8_t> file = DirFile(2, tree);
    PackEncodeHeader(PackDirectoryHeader{BND_SIGNATURE, 2, (uint32_t)tree.size() + 1, 0, 0, 0, 0},
                     file.data());
    WriteFile(dir + "/big_dir.bnd", file);
    EXPECT_TRUE(PackStore((dir + "/big").c_str()).IsEmpty());
    PackEncodeHeader(PackDirectoryHeader{BND_SIGNATURE, 2, 0xFFFFFFF0u, 0, 0, 0, 0}, file.data());
    WriteFile(dir + "/huge_dir.bnd", file);
    EXPECT_TRUE(PackStore((dir + "/huge").c_str()).IsEmpty());

    // A record without any chunk record.
    RawTree noChunk;
    noChunk.Ext("txt").Dir("a").File("x", {}).End().End().End();
    WriteFile(dir + "/n_dir.bnd", DirFile(2, noChunk.Bytes()));
    EXPECT_TRUE(PackStore((dir + "/n").c_str()).IsEmpty());

    // Preload size larger than what follows.
    RawTree longPreload;
    longPreload.Ext("txt").Dir("a").Str("x").U32(0).U16(500).U16(0).U32(0).U32(0).U16(0xFFFF);
    longPreload.End().End().End();
    WriteFile(dir + "/l_dir.bnd", DirFile(2, longPreload.Bytes()));
    EXPECT_TRUE(PackStore((dir + "/l").c_str()).IsEmpty());

    // Trailing bytes after the final empty extension are ignored.
    std::vector<uint8_t> padded = tree;
    padded.push_back(0x55);
    WriteFile(dir + "/t_dir.bnd", DirFile(2, padded));
    EXPECT_TRUE(PackStore((dir + "/t").c_str()).FindEntry("a/x.txt").IsValid());
}

TEST(PackStoreLookup, TwoChunkRecordsUseOnlyTheFirst)
{
    RawTree t;
    t.Ext("bin").Dir(" ").File("two", {{0x7FFF, 2, 3}, {0x7FFF, 0, 100}}, {'p'}).End().End().End();
    std::string dir = ScratchDir();
    WriteFile(dir + "/p_dir.bnd", DirFile(2, t.Bytes(), {'a', 'b', 'c', 'd', 'e', 'f'}));
    PackStore store((dir + "/p").c_str());
    PackEntryHandle h = store.FindEntry("two.bin");
    ASSERT_TRUE(h.IsValid());
    EXPECT_EQ(h.m_nSize, 4);
    EXPECT_EQ(h.m_nArchiveIndex, 0x7FFF);
    EXPECT_EQ(h.m_nOffset, 2);
    EXPECT_EQ(ReadAll(store, h), "pcde");
}

TEST(PackStoreLookup, LargeDirectoriesAreIndexed)
{
    CPackWriter writer;
    const int kFiles = 10000;
    for (int i = 0; i < kFiles; ++i)
    {
        std::string path = "big/f" + std::to_string(i) + ".dat";
        uint8_t b = (uint8_t)i;
        ASSERT_TRUE(writer.AddFile(path.c_str(), &b, 1));
    }
    writer.AddFile("small/a.dat", "z", 1);
    std::string base = ScratchDir() + "/big";
    ASSERT_TRUE(writer.Write(base.c_str())) << writer.GetError();
    PackStore store(base.c_str());
    EXPECT_EQ(store.GetEntryCount(), kFiles + 1);
    for (int i = 0; i < kFiles; ++i)
    {
        PackEntryHandle h = store.FindEntry(("BIG/F" + std::to_string(i) + ".DAT").c_str());
        ASSERT_TRUE(h.IsValid()) << i;
        uint8_t b = 0;
        ASSERT_EQ(store.ReadEntry(h, &b, 1), 1);
        EXPECT_EQ(b, (uint8_t)i);
    }
    EXPECT_FALSE(store.FindEntry("big/f10000.dat").IsValid());
    EXPECT_FALSE(store.FindEntry("big/a.dat").IsValid());
    EXPECT_LE(store.GetIndexMemory(), store.GetTreeSize() / 2);
}

TEST(PackStoreDirectory, IsDirectoryIsAPrefixMatch)
{
    std::string base = WritePack({{"a/bc/x.txt", {1}}, {"root.txt", {2}}});
    PackStore store(base.c_str());
    EXPECT_TRUE(store.IsDirectory("a"));
    EXPECT_TRUE(store.IsDirectory("A/B")); // also matches a/bc/
    EXPECT_TRUE(store.IsDirectory("a\\bc"));
    EXPECT_TRUE(store.IsDirectory(""));
    EXPECT_FALSE(store.IsDirectory("b"));
    EXPECT_FALSE(store.IsDirectory("a/bc/x"));

    PackStore empty;
    EXPECT_FALSE(empty.IsDirectory(""));
}

TEST(PackStoreDirectory, FindInDirectoryPatterns)
{
    std::string base = WritePack({{"readme", {1}},
                                  {"top.txt", {1}},
                                  {"maps/a.bsp", {1}},
                                  {"maps/b.nav", {1}},
                                  {"maps/c.txt", {1}},
                                  {"maps/d.ABC", {1}},
                                  {"maps/sub/e.bsp", {1}},
                                  {"maps/sub/deep/f.bsp", {1}},
                                  {"maps/zz/g.bsp", {1}},
                                  {"mapsx/h.bsp", {1}}});
    PackStore store(base.c_str());

    CUtlVector<CUtlOwnedString> dirs, files;
    EXPECT_EQ(store.FindInDirectory("*.*", &dirs, &files), 0);
    std::vector<std::string> f = Strings(files);
    std::sort(f.begin(), f.end());
    EXPECT_EQ(f, (std::vector<std::string>{"readme", "top.txt"}));

    dirs.RemoveAll();
    files.RemoveAll();
    EXPECT_EQ(store.FindInDirectory("maps/*.b*", &dirs, &files), 2);
    EXPECT_EQ(Strings(dirs), (std::vector<std::string>{"maps/sub", "maps/zz"}));
    f = Strings(files);
    std::sort(f.begin(), f.end());
    EXPECT_EQ(f, (std::vector<std::string>{"a.bsp", "d.abc"}));

    // Prefix matching of base and extension; results are appended, never repeated.
    files.RemoveAll();
    files.AddToTail(CUtlOwnedString("b.nav"));
    store.FindInDirectory("MAPS/b*.n", nullptr, &files);
    EXPECT_EQ(Strings(files), (std::vector<std::string>{"b.nav"}));
    store.FindInDirectory("maps/*.tx", nullptr, &files);
    EXPECT_EQ(Strings(files), (std::vector<std::string>{"b.nav", "c.txt"}));

    // Sorted full paths.
    files.RemoveAll();
    store.FindInDirectory("maps/*.*", nullptr, &files, true, true);
    EXPECT_EQ(Strings(files),
              (std::vector<std::string>{"maps/a.bsp", "maps/b.nav", "maps/c.txt", "maps/d.abc"}));
}

TEST(PackStoreDirectory, DirectorySplitIntoGroupsIsWalkedWhole)
{
    // Byte order puts a/b/ between a/b.txt and a/c.txt, so a/ forms two groups.
    std::string base = WritePack({{"a/b.txt", {1}}, {"a/b/c.txt", {1}}, {"a/c.txt", {1}}});
    PackStore store(base.c_str());
    CUtlVector<CUtlOwnedString> dirs, files;
    EXPECT_EQ(store.FindInDirectory("a/*", &dirs, &files), 1);
    EXPECT_EQ(Strings(dirs), (std::vector<std::string>{"a/b"}));
    EXPECT_EQ(Strings(files), (std::vector<std::string>{"b.txt", "c.txt"}));
}
