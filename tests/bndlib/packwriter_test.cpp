// The pack writer: stored layout, round trips through the reader, determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/bndlib/bndlib_test_support.h"
#include "bndlib/packcrc.h"
#include "bndlib/packstore.h"
#include "bndlib/packwriter.h"

using namespace bndtest;

TEST(PackCrc, KnownValues)
{
    EXPECT_EQ(PackCrc32(0, "", 0), 0u);
    EXPECT_EQ(PackCrc32(0, "123456789", 9), 0xCBF43926u);
    // Continuing over pieces gives the same as one pass.
    EXPECT_EQ(PackCrc32(PackCrc32(0, "12345", 5), "6789", 4), 0xCBF43926u);
}

TEST(PackWriter, WritesTheExpectedBytes)
{
    std::string dir = ScratchDir();
    CPackWriter writer;
    PackWriterFileOptions preload;
    preload.m_nPreloadBytes = 2;
    ASSERT_TRUE(writer.AddFile("Sub/B.txt", "bbbb", 4, &preload));
    ASSERT_TRUE(writer.AddFile("a.txt", "aa", 2));
    ASSERT_TRUE(writer.AddFile("noext", "", 0));
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));

    RawTree t;
    // Extensions, directories and names in byte order; " " sorts first.
    t.Ext(" ").Dir(" ").File("noext", {{0x7FFF, 0, 0}}, {}, 0).End().End();
    t.Ext("txt").Dir(" ").File("a", {{0, 0, 2}}, {}, PackCrc32(0, "aa", 2)).End();
    t.Dir("sub").File("b", {{0, 2, 2}}, {'b', 'b'}, PackCrc32(0, "bbbb", 4)).End().End();
    t.End();
    EXPECT_EQ(ReadFile(dir + "/p_dir.bnd"), DirFile(2, t.Bytes()));
    EXPECT_EQ(ReadFile(dir + "/p_000.bnd"), (std::vector<uint8_t>{'a', 'a', 'b', 'b'}));
    EXPECT_EQ(writer.GetArchiveCount(), 1);
}

TEST(PackWriter, RefusesPathsNoLookupCouldFind)
{
    // Lookups split a path into 260-byte parts (the directory with its
    // separator) and list full paths of up to 519 characters.
    const std::string d258(258, 'd'), n259(259, 'n');
    CPackWriter writer;
    for (const std::string& path :
         {std::string(""), std::string("dir/"), std::string("a//b.txt"), std::string("a/./b.txt"),
          std::string("a/../b.txt"), std::string(".."), std::string("foo."), std::string(".cfg"),
          std::string("a/.hidden"), std::string("a/b.c/."), d258 + "d/f.txt", n259 + "n.txt",
          n259 + "n", d258 + "/" + std::string(257, 'n') + ".txt"})
        EXPECT_FALSE(writer.AddFile(path.c_str(), "x", 1)) << path.size();
    EXPECT_EQ(writer.GetFileCount(), 0);
    const std::string fits519 = d258 + "/" + std::string(256, 'n') + ".txt";
    for (const std::string& path :
         {std::string("./lead/slash.txt"), std::string("\\back\\slash.txt"), d258 + "/f.txt",
          n259 + ".txt", n259, fits519})
        EXPECT_TRUE(writer.AddFile(path.c_str(), path.c_str(), 1)) << path.size();
    std::string base = ScratchDir() + "/p";
    ASSERT_TRUE(writer.Write(base.c_str())) << writer.GetError();
    PackStore store(base.c_str());
    EXPECT_EQ(store.GetEntryCount(), 6);
    for (const std::string& path :
         {std::string("lead/slash.txt"), std::string("back/slash.txt"), d258 + "/f.txt"})
        EXPECT_TRUE(store.FindEntry(path.c_str()).IsValid()) << path;
    EXPECT_TRUE(store.FindEntry(fits519.c_str()).IsValid());

    // Two paths that fold to the same stored path make the write fail.
    EXPECT_TRUE(writer.AddFile("Dup.TXT", "1", 1));
    EXPECT_TRUE(writer.AddFile("dup.txt", "2", 1));
    EXPECT_FALSE(writer.Write((ScratchDir() + "/p").c_str()));
    EXPECT_STREQ(writer.GetError(), "duplicate path  /dup.txt");
}

TEST(PackWriter, SpreadsChunksOverArchivesBySize)
{
    std::string dir = ScratchDir();
    CPackWriter writer;
    writer.SetMaxArchiveSize(100);
    writer.AddFile("a.bin", Pattern(60, 1).data(), 60);
    writer.AddFile("b.bin", Pattern(60, 2).data(), 60);   // does not fit behind a.bin
    writer.AddFile("c.bin", Pattern(30, 3).data(), 30);   // fits behind b.bin
    writer.AddFile("d.bin", Pattern(250, 4).data(), 250); // too big for any: alone
    writer.AddFile("e.bin", Pattern(1, 5).data(), 1);
    ASSERT_TRUE(writer.Write((dir + "/p").c_str())) << writer.GetError();
    EXPECT_EQ(writer.GetArchiveCount(), 4);
    PackStore store((dir + "/p").c_str());
    const char* names[] = {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"};
    int archives[] = {0, 1, 1, 2, 3};
    int offsets[] = {0, 0, 60, 0, 0};
    int sizes[] = {60, 60, 30, 250, 1};
    for (int i = 0; i < 5; ++i)
    {
        PackEntryHandle h = store.FindEntry(names[i]);
        EXPECT_EQ(h.m_nArchiveIndex, archives[i]) << names[i];
        EXPECT_EQ(h.m_nOffset, offsets[i]) << names[i];
        std::vector<uint8_t> got(300);
        got.resize((size_t)std::max(0, store.ReadEntry(h, got.data(), 300)));
        EXPECT_EQ(got, Pattern(sizes[i], i + 1)) << names[i];
    }
}

TEST(PackWriter, RandomTreesRoundTripAndAreDeterministic)
{
    std::mt19937 rng(20261208);
    const char* exts[] = {"txt", "bin", "vmt", "a", "LongerExt", ""};
    const char* dirs[] = {"", "maps", "maps/sub", "Materials/Models", "x/y/z/w", "sound"};
    for (int round = 0; round < 4; ++round)
    {
        std::map<std::string, std::vector<uint8_t>> files; // by lower-cased path
        std::vector<std::pair<std::string, PackWriterFileOptions>> order;
        int nFiles = 20 + (int)(rng() % 120);
        for (int i = 0; i < nFiles; ++i)
        {
            std::string path = dirs[rng() % 6];
            if (!path.empty()) path += "/";
            path += "F" + std::to_string(rng() % 1000);
            const char* ext = exts[rng() % 6];
            if (ext[0]) path += std::string(".") + ext;
            std::string key = path;
            for (char& c : key)
                c = (char)tolower((unsigned char)c);
            if (files.count(key)) continue;
            size_t size = (rng() % 4 == 0) ? rng() % 70000 : rng() % 300;
            files[key] = Pattern(size, rng());
            PackWriterFileOptions opts;
            opts.m_nPreloadBytes = (rng() % 3 == 0) ? (int)(rng() % 400) : -1;
            opts.m_bEmbed = rng() % 5 == 0;
            order.push_back({path, opts});
        }

        std::string dir = ScratchDir();
        int nArchives[2] = {0, 0};
        for (int pass = 0; pass < 2; ++pass)
        {
            CPackWriter writer;
            writer.SetMaxArchiveSize(50000);
            writer.SetDefaultPreloadSize(round);
            // Same files, different insertion order.
            for (size_t i = 0; i < order.size(); ++i)
            {
                size_t k = pass ? order.size() - 1 - i : i;
                std::string key = order[k].first;
                for (char& c : key)
                    c = (char)tolower((unsigned char)c);
                const std::vector<uint8_t>& data = files[key];
                ASSERT_TRUE(writer.AddFile(order[k].first.c_str(), data.data(),
                                           (uint32_t)data.size(), &order[k].second))
                    << writer.GetError();
            }
            ASSERT_TRUE(writer.Write((dir + (pass ? "/q" : "/p")).c_str())) << writer.GetError();
            nArchives[pass] = writer.GetArchiveCount();
        }
        EXPECT_EQ(nArchives[0], nArchives[1]);
        EXPECT_EQ(ReadFile(dir + "/p_dir.bnd"), ReadFile(dir + "/q_dir.bnd"));
        for (int k = 0; k < nArchives[0] || k < nArchives[1]; ++k)
        {
            char szName[32];
            snprintf(szName, sizeof(szName), "_%03d.bnd", k);
            std::vector<uint8_t> p = ReadFile(dir + "/p" + szName);
            EXPECT_FALSE(p.empty()) << szName;
            EXPECT_EQ(p, ReadFile(dir + "/q" + szName)) << szName;
        }

        PackStore store((dir + "/p").c_str());
        ASSERT_FALSE(store.IsEmpty());
        EXPECT_EQ(store.GetEntryCount(), (int)files.size());
        for (const auto& f : files)
        {
            // Upper-case lookups with backslashes find the same entries.
            std::string query = f.first;
            for (char& c : query)
                c = c == '/' ? '\\' : (char)toupper((unsigned char)c);
            PackEntryHandle h = store.FindEntry(query.c_str());
            ASSERT_TRUE(h.IsValid()) << f.first;
            ASSERT_EQ(h.m_nSize, (int)f.second.size()) << f.first;
            std::vector<uint8_t> got(f.second.size() + 1);
            int n = store.ReadEntry(h, got.data(), (int)got.size());
            got.resize(n > 0 ? n : 0);
            EXPECT_EQ(got, f.second) << f.first;
            EXPECT_EQ(PackReadU32(h.m_pRecord), PackCrc32(0, f.second.data(), f.second.size()));
        }
        EXPECT_FALSE(store.FindEntry("maps/nothing.txt").IsValid());
    }
}

TEST(PackWriter, ForcedArchivesGoBackToEarlierArchivesAndAhead)
{
    // Tree order is the write order: forced files reopen archives that the
    // automatic spreading has left behind and add to their ends.
    struct File
    {
        const char* m_pszName;
        uint32_t m_cub;
        int m_nForced; // -1: automatic
        int m_nArchive;
        int m_nOffset;
    };
    const File files[] = {
        {"a.bin", 60, -1, 0, 0},  {"b.bin", 60, -1, 1, 0}, {"c.bin", 30, 0, 0, 60},
        {"d.bin", 60, -1, 2, 0},  {"e.bin", 10, 1, 1, 60}, {"f.bin", 5, 0, 0, 90},
        {"g.bin", 20, -1, 2, 60}, {"h.bin", 7, 3, 3, 0},   {"i.bin", 50, -1, 3, 7},
    };
    std::string base = ScratchDir() + "/p";
    std::map<int, std::vector<uint8_t>> archives;
    for (const File& f : files)
    {
        std::vector<uint8_t> data = Pattern(f.m_cub, f.m_pszName[0]);
        std::vector<uint8_t>& archive = archives[f.m_nArchive];
        ASSERT_EQ(archive.size(), (size_t)f.m_nOffset) << f.m_pszName;
        archive.insert(archive.end(), data.begin(), data.end());
    }
    // Twice to the same base: the second write replaces the archives, never
    // adds to what the first left.
    for (int pass = 0; pass < 2; ++pass)
    {
        CPackWriter writer;
        writer.SetMaxArchiveSize(100);
        for (const File& f : files)
        {
            PackWriterFileOptions opts;
            opts.m_nArchiveIndex = f.m_nForced;
            std::vector<uint8_t> data = Pattern(f.m_cub, f.m_pszName[0]);
            ASSERT_TRUE(writer.AddFile(f.m_pszName, data.data(), f.m_cub, &opts));
        }
        ASSERT_TRUE(writer.Write(base.c_str())) << writer.GetError();
        EXPECT_EQ(writer.GetArchiveCount(), 4);
        for (const auto& archive : archives)
        {
            char szName[32];
            snprintf(szName, sizeof(szName), "_%03d.bnd", archive.first);
            EXPECT_EQ(ReadFile(base + szName), archive.second) << szName;
        }
        PackStore store(base.c_str());
        for (const File& f : files)
        {
            PackEntryHandle h = store.FindEntry(f.m_pszName);
            ASSERT_TRUE(h.IsValid()) << f.m_pszName;
            EXPECT_EQ(h.m_nArchiveIndex, f.m_nArchive) << f.m_pszName;
            EXPECT_EQ(h.m_nOffset, f.m_nOffset) << f.m_pszName;
            std::vector<uint8_t> got(f.m_cub + 1);
            got.resize((size_t)std::max(0, store.ReadEntry(h, got.data(), (int)got.size())));
            EXPECT_EQ(got, Pattern(f.m_cub, f.m_pszName[0])) << f.m_pszName;
        }
    }
}
