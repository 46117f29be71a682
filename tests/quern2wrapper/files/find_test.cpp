// Stat, directory search and local copies.
#include "tests/quern2wrapper/files/files_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "quern2wrapper/files/files.h"
#include "quern2wrapper/quernerror.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t kPackTime = 178243200u;

struct Item
{
    std::string name;
    int isDirectory;
    uint32_t size;
    int isLocal;
};

bool operator==(const Item& a, const Item& b)
{
    return a.name == b.name && a.isDirectory == b.isDirectory && a.size == b.size &&
           a.isLocal == b.isLocal;
}

std::ostream& operator<<(std::ostream& out, const Item& item)
{
    return out << "{" << item.name << " dir " << item.isDirectory << " size " << item.size
               << " local " << item.isLocal << "}";
}

Item ToItem(const QuernElemInfo& info)
{
    return {info.name, info.isDirectory, info.size, info.isLocal};
}

class FilesFind : public FilesTest
{
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        MountFixture("pak", {{"maps/e1.map", std::string(300, 'm')},
                             {"maps/sub/deep.map", "d"},
                             {"maps/e2.map", "e2"},
                             {"maps/other/x.txt", "x"},
                             {"top.txt", "top"}});
    }

    // Every result of a search, the first one included.
    std::vector<Item> Search(const std::string& pattern, uint32_t filter, uint32_t* phFind)
    {
        std::vector<Item> items;
        QuernElemInfo info;
        uint32_t hFind = QuernFindFirst(pattern.c_str(), filter, &info, &m_error);
        if (phFind) *phFind = hFind;
        if (!hFind) return items;
        items.push_back(ToItem(info));
        while (QuernFindNext(hFind, &info, &m_error) == 0)
            items.push_back(ToItem(info));
        return items;
    }

    // Disk search results without "." and "..", sorted by name.
    std::vector<std::string> DiskNames(const std::string& pattern)
    {
        std::vector<std::string> names;
        uint32_t hFind = 0;
        for (const Item& item : Search(pattern, 0, &hFind))
            if (item.name != "." && item.name != "..") names.push_back(item.name);
        if (hFind) QuernFindClose(hFind, &m_error);
        std::sort(names.begin(), names.end());
        return names;
    }
};
} // namespace

TEST_F(FilesFind, StatPackItems)
{
    QuernElemInfo info;
    memset(&info, 0x55, sizeof(info));
    EXPECT_EQ(0, QuernStat("maps\\e1.map", &info, &m_error));
    EXPECT_EQ(Item({"e1.map", 0, 300, 0}), ToItem(info));
    EXPECT_EQ(kPackTime, info.lastAccessTime);
    EXPECT_EQ(kPackTime, info.lastModificationTime);
    EXPECT_EQ(kPackTime, info.creationTime);
    EXPECT_EQ(0, info.name[sizeof(info.name) - 1]) << "the record is zeroed first";

    EXPECT_EQ(0, QuernStat("./maps/sub", &info, &m_error));
    EXPECT_EQ(Item({"sub", 1, 0, 0}), ToItem(info));
    EXPECT_EQ(kPackTime, info.creationTime);

    // A name with an extension is looked up as a file only.
    WritePack(Path("dotted"), {{"maps.d/f.txt", "f"}});
    MountPack(Path("dotted").c_str());
    EXPECT_EQ(-1, QuernStat("maps.d", &info, &m_error));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, m_error.failureType);

    EXPECT_EQ(1, QuernIsFileImmediatelyAvailable("maps\\other", &m_error));
    EXPECT_EQ(0, QuernIsFileImmediatelyAvailable("maps\\missing.map", &m_error));
}

TEST_F(FilesFind, LongestPackNamesAreFoundAndCutTo255Characters)
{
    // The longest name a pack stores, with an extension after it.
    const std::string longName(259, 'n');
    WritePack(Path("longpak"), {{"long/" + longName + ".txt", "L"}});
    MountPack(Path("longpak").c_str());
    QuernElemInfo info;
    memset(&info, 0x55, sizeof(info));
    ASSERT_EQ(0, QuernStat(("long/" + longName + ".txt").c_str(), &info, &m_error));
    EXPECT_EQ(Item({std::string(255, 'n'), 0, 1, 0}), ToItem(info));
    EXPECT_EQ(kPackTime, info.lastAccessTime) << "the name stays inside its field";

    uint32_t hFind = 0;
    std::vector<Item> items = Search("long/*.txt", 1, &hFind);
    EXPECT_EQ(std::vector<Item>({{std::string(255, 'n'), 0, 1, 0}}), items);
    QuernFindClose(hFind, &m_error);
}

TEST_F(FilesFind, StatDiskItems)
{
    WriteDiskFile(Path("disk/file.bin"), "12345");
    QuernElemInfo info;
    EXPECT_EQ(0, QuernStat(Path("disk/file.bin").c_str(), &info, &m_error));
    EXPECT_EQ(Item({"file.bin", 0, 5, 1}), ToItem(info));
    EXPECT_NE(0u, info.lastModificationTime);
    EXPECT_EQ(0, m_error.failureType);

    EXPECT_EQ(0, QuernStat(Path("disk").c_str(), &info, &m_error));
    EXPECT_EQ(1, info.isDirectory);
    EXPECT_EQ(1, info.isLocal);
    EXPECT_STREQ("disk", info.name);
    EXPECT_EQ(1, QuernIsFileImmediatelyAvailable(Path("disk").c_str(), &m_error));

    EXPECT_EQ(-1, QuernStat(Path("disk/none.bin").c_str(), &info, &m_error));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, m_error.failureType);
}

TEST_F(FilesFind, PackSearchListsDirectoriesThenFiles)
{
    uint32_t hFind = 0;
    std::vector<Item> items = Search("maps/*.*", 2, &hFind);
    ASSERT_NE(0u, hFind);
    std::vector<Item> expected = {
        {"other", 1, 0, 0}, {"sub", 1, 0, 0}, {"e1.map", 0, 1, 0}, {"e2.map", 0, 1, 0}};
    // Directories and files each come in the pack's own order.
    std::sort(items.begin(), items.begin() + std::min<size_t>(2, items.size()),
              [](const Item& a, const Item& b) { return a.name < b.name; });
    EXPECT_EQ(expected, items);

    // After the end: -1 every time, and the name is emptied.
    QuernElemInfo info;
    strcpy(info.name, "stale");
    EXPECT_EQ(-1, QuernFindNext(hFind, &info, &m_error));
    EXPECT_EQ(-1, QuernFindNext(hFind, &info, &m_error));
    EXPECT_EQ('\0', info.name[0]);
    EXPECT_EQ(0, QuernFindClose(hFind, &m_error));
    EXPECT_EQ(-1, QuernFindClose(hFind, &m_error));
    EXPECT_EQ(-1, QuernFindNext(hFind, &info, &m_error));
    EXPECT_EQ(0, m_error.failureType);

    // Filter 0 never looks in the packs.
    EXPECT_EQ(0u, QuernFindFirst("maps/*.*", 0, &info, &m_error));
    EXPECT_EQ(QUERN_FAILURE_FAILED, m_error.failureType);
    EXPECT_STREQ("QuernFindFirst failed", m_error.description);
}

TEST_F(FilesFind, PackFoldersAreWholeNames)
{
    struct Case
    {
        const char* pszPath;
        int nResult;
    } cases[] = {{"maps", 0}, {"MAPS\\SUB", 0}, {"maps/sub/", 0}, {"", 0},
                 {"m", -1},   {"ma", -1},       {"maps/su", -1},  {"maps/othe", -1}};
    for (const Case& c : cases)
    {
        QuernElemInfo info;
        EXPECT_EQ(c.nResult, QuernStat(c.pszPath, &info, &m_error)) << c.pszPath;
        EXPECT_EQ(c.nResult == 0 ? 1 : 0, info.isDirectory) << c.pszPath;
        EXPECT_EQ(c.nResult == 0 ? 1 : 0, QuernIsFileImmediatelyAvailable(c.pszPath, &m_error))
            << c.pszPath;
    }
}

TEST_F(FilesFind, RootSearchListsTheRootFoldersOfEveryPack)
{
    WritePack(Path("second"), {{"text/a.txt", "a"}, {"text/b/c.txt", "c"}, {"readme", "r"}});
    MountPack(Path("second").c_str());
    uint32_t hFind = 0;
    std::vector<Item> items;
    // The current directory's own items come first.
    for (const Item& item : Search("*.*", 1, &hFind))
        if (!item.isLocal) items.push_back(item);
    // Folders, then files, each the latest pack's first.
    std::vector<Item> expected = {
        {"text", 1, 0, 0}, {"maps", 1, 0, 0}, {"readme", 0, 1, 0}, {"top.txt", 0, 1, 0}};
    EXPECT_EQ(expected, items);
    QuernFindClose(hFind, &m_error);
}

TEST_F(FilesFind, StatOfADeviceIsAFailure)
{
#if defined(_WIN32)
    const char* pszDevice = "NUL";
#else
    const char* pszDevice = "/dev/null";
#endif
    QuernElemInfo info;
    EXPECT_EQ(-1, QuernStat(pszDevice, &info, &m_error));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, m_error.failureType);
    EXPECT_EQ(0, QuernIsFileImmediatelyAvailable(pszDevice, &m_error));
}

TEST_F(FilesFind, AnOpenSearchKeepsItsResultsAcrossMountAndUnmount)
{
    QuernElemInfo info;
    uint32_t hFind = QuernFindFirst("maps/*.map", 1, &info, &m_error);
    ASSERT_NE(0u, hFind);
    std::vector<std::string> names = {info.name};
    WritePack(Path("later"), {{"maps/e3.map", "3"}, {"maps/late/x.map", "x"}});
    MountPack(Path("later").c_str());
    ASSERT_EQ(0, QuernFindNext(hFind, &info, &m_error));
    names.push_back(info.name);
    UnmountAll();
    while (QuernFindNext(hFind, &info, &m_error) == 0)
        names.push_back(info.name);
    std::sort(names.begin(), names.begin() + 2);
    EXPECT_EQ(std::vector<std::string>({"other", "sub", "e1.map", "e2.map"}), names);
    EXPECT_EQ(0, QuernFindClose(hFind, &m_error));
}

TEST_F(FilesFind, HandlesCountUpAndAreNeverReused)
{
    QuernElemInfo info;
    uint32_t first = QuernFindFirst("maps/*.map", 1, &info, &m_error);
    ASSERT_NE(0u, first);
    EXPECT_EQ(1, info.isDirectory) << "subdirectories come before files";
    EXPECT_EQ(0, QuernFindClose(first, &m_error));
    uint32_t second = QuernFindFirst("maps/*.map", 1, &info, &m_error);
    uint32_t third = QuernFindFirst("*.txt", 1, &info, &m_error);
    EXPECT_EQ(first + 1, second);
    EXPECT_EQ(first + 2, third);
    EXPECT_EQ(0u, QuernFindFirst("nothing/*.zzz", 1, &info, &m_error));
    EXPECT_EQ(first + 3, QuernFindFirst("maps/*.map", 1, &info, &m_error));
    QuernFindClose(second, &m_error);
    QuernFindClose(third, &m_error);
    QuernFindClose(first + 3, &m_error);
}

TEST_F(FilesFind, DiskItemsComeFirst)
{
    WriteDiskFile(Path("mix/a.map"), "aaaa");
    std::string pattern = Path("mix/*.map");
    // The pack side of the same pattern: the pack has nothing under that
    // scratch folder, so mount one that does.
    WritePack(Path("mixpak"), {{Path("mix/p.map"), "p"}, {Path("mix/d/q.map"), "q"}});
    MountPack(Path("mixpak").c_str());

    uint32_t hFind = 0;
    std::vector<Item> items = Search(pattern, 2, &hFind);
    std::vector<Item> expected = {{"a.map", 0, 4, 1}, {"d", 1, 0, 0}, {"p.map", 0, 1, 0}};
    EXPECT_EQ(expected, items);
    QuernFindClose(hFind, &m_error);
}

TEST_F(FilesFind, DiskWildcards)
{
    for (const char* pszName : {"name", "name.txt", "name.dat", "other.txt", "ab.c", "abc.c"})
        WriteDiskFile(Path(std::string("w/") + pszName), "x");
    typedef std::vector<std::string> Names;
    EXPECT_EQ(Names({"ab.c", "abc.c", "name", "name.dat", "name.txt", "other.txt"}),
              DiskNames(Path("w/*")));
    EXPECT_EQ(Names({"ab.c", "abc.c", "name", "name.dat", "name.txt", "other.txt"}),
              DiskNames(Path("w/*.*")));
    EXPECT_EQ(Names({"name", "name.dat", "name.txt"}), DiskNames(Path("w/name.*")));
    EXPECT_EQ(Names({"name.txt", "other.txt"}), DiskNames(Path("w/*.txt")));
    EXPECT_EQ(Names({"name.txt"}), DiskNames(Path("w/NAME.TXT")));
    EXPECT_EQ(Names({"ab.c"}), DiskNames(Path("w/a?.c")));
    EXPECT_EQ(Names({"abc.c"}), DiskNames(Path("w/a?c.c")));

    // A closing star also matches the name it follows, folders included.
    for (const char* pszName : {"depot_1", "depot_10", "depot_100"})
        WriteDiskFile(Path(std::string("d/") + pszName + "/x"), "x");
    WriteDiskFile(Path("d/depot_10.txt"), "x");
    EXPECT_EQ(Names({"depot_10", "depot_10.txt", "depot_100"}), DiskNames(Path("d/depot_10*")));
    EXPECT_EQ(Names({}), DiskNames(Path("d/depot_11*")));
}

TEST_F(FilesFind, LocalCopies)
{
    std::string big(2500000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = (char)(i * 7 + i / 1000);
    std::string rel = Path("copy/new/dir/big.bin");
    WritePack(Path("copypak"), {{rel, big}, {Path("copy/empty.bin"), ""}});
    MountPack(Path("copypak").c_str());

    EXPECT_EQ(1, QuernGetLocalFileCopy(rel.c_str(), &m_error));
    EXPECT_TRUE(ReadDiskFile(rel) == big);
    // Already on disk: nothing is copied.
    WriteDiskFile(rel, "changed");
    EXPECT_EQ(1, QuernGetLocalFileCopy(rel.c_str(), &m_error));
    EXPECT_EQ("changed", ReadDiskFile(rel));
    // Opens still find the pack entry first.
    uint32_t size = 0;
    uint32_t h = QuernOpenFileEx(rel.c_str(), "rb", &size, &m_error);
    EXPECT_NE(0u, h & BND_FILE_HANDLE_FLAG);
    EXPECT_EQ(big.size(), size);
    QuernCloseFile(h, &m_error);

    EXPECT_EQ(1, QuernGetLocalFileCopy(Path("copy/empty.bin").c_str(), &m_error));
    EXPECT_TRUE(DiskFileExists(Path("copy/empty.bin")));
    EXPECT_EQ(0, QuernGetLocalFileCopy(Path("copy/none.bin").c_str(), &m_error));
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_FALSE(DiskFileExists(Path("copy/none.bin")));
}

TEST_F(FilesFind, LocalCopyOfAShortEntryLeavesNothing)
{
    std::string rel = Path("short/big.bin");
    WritePack(Path("shortpak"), {{rel, std::string(2500000, 's')}});
    MountPack(Path("shortpak").c_str());
    // The archive loses its tail after mounting: the copy runs short past 1 MB.
    std::filesystem::resize_file(Path("shortpak_000.bnd"), 1500000);
    DebugOutputCapture capture;
    EXPECT_EQ(0, QuernGetLocalFileCopy(rel.c_str(), &m_error));
    EXPECT_FALSE(DiskFileExists(rel));
}

TEST_F(FilesFind, LogLines)
{
    WritePack(Path("logpak"), {{"vfslog/only.txt", "o"}});
    MountPack(Path("logpak").c_str());
    verboseLogging = 1;
    DebugOutputCapture capture;
    QuernElemInfo info;
    QuernStat("top.txt", &info, &m_error);
    QuernIsFileImmediatelyAvailable("nope.txt", &m_error);
    uint32_t hFind = QuernFindFirst("vfslog/*.txt", 1, &info, &m_error);
    QuernFindNext(hFind, &info, &m_error);
    QuernFindClose(hFind, &m_error);
    std::string h = std::to_string(hFind);
    std::vector<std::string> expected = {
        "stat top.txt, ret 0",
        "stat nope.txt, ret -1",
        "immediately available nope.txt, ret 0",
        "find first vfslog/*.txt, eFiler 1, ret " + h,
        "find next , ret 4294967295",
        "find close " + h + ", ret 0",
    };
    EXPECT_EQ(expected, capture.Lines());
}
