// Drives the library through its file exports as a game would: the input
// writes one or two packs (through the pack writer or raw, then mutated) and a
// "quern_bnds.kvt" into a scratch folder, starts a session against the client
// stand-in and runs a call sequence of its own choosing. Every step checks
// what a caller relies on, not just that nothing crashed:
//   - a read reports at most the elements asked and writes no byte past the
//     asked bytes (guard bytes follow the buffer);
//   - a pack handle's position stays within 0..size, and seeks land where the
//     clamp puts them;
//   - a closed or never-given handle fails every call and leaves the buffer alone;
//   - an open never hands out a handle that is still open;
//   - a search lists each pack path at most once per mounted pack;
//   - a local copy that succeeds holds the pack file's bytes.
// The two paths that end the process by design are steered around: directory
// files with a version above 2 are set back to 2 before any mount, and reads
// that would open a second archive in a slot (archive index mod 512) of one
// pack are skipped.
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_registry.h"
#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/include/quern.h"

#include "bndlib/packformat.h"
#include "bndlib/packwriter.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
#define CHECK(cond)                                                                                \
    do                                                                                             \
    {                                                                                              \
        if (!(cond))                                                                               \
        {                                                                                          \
            fprintf(stderr, "exports fuzz: invariant broken at line %d: %s\n", __LINE__, #cond);   \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

// Consumes the input from the front; past its end every read yields 0.
class Input
{
public:
    Input(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    bool Empty() const { return m_n == 0; }
    size_t Left() const { return m_n; }
    uint8_t U8()
    {
        if (!m_n) return 0;
        --m_n;
        return *m_p++;
    }
    uint16_t U16() { return (uint16_t)(U8() | (U8() << 8)); }
    uint32_t U32() { return (uint32_t)U16() | ((uint32_t)U16() << 16); }
    std::string Bytes(size_t n)
    {
        n = std::min(n, m_n);
        std::string s((const char*)m_p, n);
        m_p += n;
        m_n -= n;
        return s;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
};

// Paths that packs hold, chosen by index: several dots, no extension, deep
// folders, upper case (stored lower-cased), names that share a prefix.
const char* const kPackPaths[] = {
    "readme",         "a.txt",       "data/b.txt",        "data/c.bin",
    "data/sub/d.txt", "maps/e1.bsp", "models/x.lod0.mdl", "materials/models/w.vmt",
    "depot_10",       "data/t.txt",  "maps/e2.bsp",       "a/b/c/d/e.f",
    "Upper/Case.TXT", "data/b.txt2", "data/sub/deeper/z", "maps/e1.bsp.bak",
};
constexpr int kPackPathCount = sizeof(kPackPaths) / sizeof(kPackPaths[0]);

// Base paths of packs, relative to the scratch folder (the current directory).
const char* const kPackBases[] = {"p1", "p2", "bnds/depot_7", "bnds/depot_10", "sub/p3"};
constexpr int kPackBaseCount = sizeof(kPackBases) / sizeof(kPackBases[0]);

const char* const kModes[] = {"r",  "rb", "rt", "R",   "RT", "r+", "rb+", "w",
                              "wb", "w+", "a",  "ab",  "a+", "W",  "A",   "",
                              "x",  "rw", "Rb", "r+t", "wt", "q",  "rtb", nullptr};
constexpr int kModeCount = sizeof(kModes) / sizeof(kModes[0]);

const uint32_t kElementSizes[] = {0,  1,    2,       3,          4,           7,
                                  16, 1000, 0x10000, 0x7FFFFFFF, 0x80000001u, 0xFFFFFFFFu};
const uint32_t kCounts[] = {0, 1, 2, 3, 10, 100, 4096, 0x10000, 0x7FFFFFFF, 0xFFFFFFFFu};
const int32_t kOffsets[] = {
    0, 1, -1, 2, -5, 100, -100, 4096, 0x7FFFFFFF, (int32_t)0x80000000, 0x7FFFFFF0, -0x7FFFFFF0};

// Reads never need a bigger buffer: no file in the scratch folder holds more.
constexpr uint64_t kBufferCap = 256 << 10;
constexpr size_t kGuard = 32;
constexpr uint8_t kFill = 0xA5;

std::string g_scratch; // absolute, with a trailing '/'
std::string g_home;    // where libFuzzer was started; its paths may be relative
std::string g_root;    // the per-process folder, removed at exit
// QUERN_FUZZ_TRACE=1 prints each call of a run (to read a finding).
const bool g_bTrace = getenv("QUERN_FUZZ_TRACE") != nullptr;
PlatModule g_hClientPin;

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::error_code ec;
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Whether the library sees a disk file at `path`: on Linux it finds each
// name in any case, as Windows does, so a name that only differs in case
// from an existing file names that file.
bool IsDiskFileAnyCase(const std::string& path)
{
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return true;
    fs::path found = path.size() && path[0] == '/' ? fs::path("/") : fs::path(".");
    for (const fs::path& part : fs::path(path).relative_path())
    {
        if (part.empty() || part == ".") continue;
        fs::path next = found / part;
        if (!fs::exists(next, ec))
        {
            std::string want = part.string();
            bool bMatched = false;
            for (const auto& entry : fs::directory_iterator(found, ec))
            {
                std::string name = entry.path().filename().string();
                bMatched = name.size() == want.size() &&
                           std::equal(name.begin(), name.end(), want.begin(),
                                      [](char a, char b) { return tolower(a) == tolower(b); });
                if (bMatched)
                {
                    next = entry.path();
                    break;
                }
            }
            if (!bMatched) return false;
        }
        found = next;
    }
    return fs::is_regular_file(found, ec);
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

void ClearScratch()
{
    std::error_code ec;
    for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec))
        fs::remove_all(it->path(), ec);
}

void SetUpProcess()
{
    // The parser and the pack loader print their complaints; keep the
    // fuzzer's own output readable.
    if (!freopen("/dev/null", "w", stdout))
    {
    }

    // Every execution rewrites a handful of files: memory-backed is fastest.
    const char* pszTmp = getenv("TMPDIR");
    std::string tmp = pszTmp && *pszTmp ? pszTmp : "/tmp";
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec)) tmp = "/dev/shm";
    // Directory files are opened by their lower-cased path.
    for (char c : tmp)
        if (c >= 'A' && c <= 'Z') tmp = "/tmp";
    char sz[256];
    snprintf(sz, sizeof(sz), "%s/quern_fuzz_exports_%u", tmp.c_str(), Plat_GetCurrentProcessId());
    fs::remove_all(sz, ec);
    fs::create_directories(std::string(sz) + "/work", ec);
    g_scratch = std::string(sz) + "/work/";
    g_root = sz;
    atexit(
        []
        {
            std::error_code ec2;
            fs::remove_all(g_root, ec2);
        });

    // The client stand-in is built beside this program.
    char szSelf[4096];
    CHECK(Plat_GetModuleFileNameUtf8(nullptr, szSelf, sizeof(szSelf)) > 0);
    std::string client = szSelf;
    client = client.substr(0, client.find_last_of('/') + 1) + "quernclient.dll";

    // A registry of our own naming this process as the running client.
    std::string registry = std::string(sz) + "/registry.txt";
    Plat_SetEnvironmentVariable("QUERN_REGISTRY", registry.c_str());
    PlatRegKey hKey = nullptr;
    CHECK(Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY,
                            PLAT_KEY_WOW64_32KEY, &hKey) == PLAT_ERROR_SUCCESS);
    Plat_RegSetValueDword(hKey, "pid", Plat_GetCurrentProcessId());
    Plat_RegSetValueString(hKey, "QuernClientDll", client.c_str());
    Plat_RegCloseKey(hKey);

    // The stand-in's application lives in the scratch folder: without a
    // configuration the packs under bnds/ are found by the directory scan,
    // and QuernMountFilesystem mounts bnds/depot_<id>.
    for (const char* pszName : {"QUERN_STANDIN_LOG", "QUERN_STANDIN_WITHHOLD",
                                "QUERN_STANDIN_ACCOUNT", "QUERN_STANDIN_INSTALLED", "QuernGameId"})
        Plat_SetEnvironmentVariable(pszName, nullptr);
    Plat_SetEnvironmentVariable("QUERN_STANDIN_APPID", "440");
    std::string install = g_scratch.substr(0, g_scratch.size() - 1);
    Plat_SetEnvironmentVariable("QUERN_STANDIN_INSTALLDIR_440", install.c_str());

    // Session clean-up unloads the client library; pinned here it stays
    // mapped, so its coverage counters are registered once.
    g_hClientPin = Plat_LoadLibraryA(client.c_str());
    CHECK(g_hClientPin != nullptr);
    char szHome[4096];
    CHECK(Plat_GetCurrentDirectory(szHome, sizeof(szHome)) > 0);
    g_home = szHome;
}

// ---------------------------------------------------------------------------
// Building the scratch content

std::string FileContent(Input& in)
{
    uint8_t kind = in.U8();
    switch (kind & 3)
    {
    case 0:
        return in.Bytes(kind >> 2);
    case 1:
    {
        // Text with line ends of every kind.
        std::string s;
        int n = 1 + (kind >> 2);
        for (int i = 0; i < n; ++i)
            s += (i % 3 == 0) ? "ab\r\n" : (i % 3 == 1) ? "\r" : "c\n\r";
        return s;
    }
    case 2:
    {
        // A longer file with a counting pattern.
        size_t n = (size_t)in.U16() % 12000;
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i)
            s[i] = (char)(i * 7 + (i >> 8));
        return s;
    }
    default:
        return std::string();
    }
}

// The bytes of every file of a single pack written by the writer and left
// unmutated, by stored path: reads of it must return exactly these.
typedef std::map<std::string, std::string> Expected;

std::string StoredPath(const char* pszPath)
{
    std::string stored = pszPath;
    for (char& c : stored)
        c = (c == '\\') ? '/' : (char)tolower((unsigned char)c);
    return stored;
}

// Writes one pack at `base`: through the pack writer, or a raw header and
// tree taken from the input. Then the input mutates its files.
void BuildPack(Input& in, const std::string& base, Expected* pExpected)
{
    Expected added;
    uint8_t flags = in.U8();
    if (flags & 0x80)
    {
        // Raw: a header that passes, the tree from the input; archive 000 too.
        std::string tree = in.Bytes(in.U8() | ((flags & 0x40) ? 0x100 : 0));
        std::string dir;
        auto put32 = [&dir](uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                dir += (char)(v >> (8 * i));
        };
        bool v1 = (flags & 1) != 0;
        put32(BND_SIGNATURE);
        put32(v1 ? 1 : 2);
        put32((uint32_t)tree.size() + ((flags & 2) ? in.U8() : 0));
        if (!v1)
        {
            put32(in.U8() & 0x3F);
            put32(0);
            put32(0);
            put32(0);
        }
        dir += tree;
        dir += in.Bytes(in.U8() & 0x3F);
        WriteFileBytes(base + "_dir.bnd", dir);
        WriteFileBytes(base + "_000.bnd", in.Bytes(in.U8()));
    }
    else
    {
        CPackWriter writer;
        static const uint32_t s_aArchiveSizes[] = {200u << 20, 16, 100, 4096};
        writer.SetMaxArchiveSize(s_aArchiveSizes[(flags >> 1) & 3]);
        static const int s_aPreload[] = {0, 0, 4, 100};
        writer.SetDefaultPreloadSize(s_aPreload[(flags >> 3) & 3]);
        writer.SetEmbedAll((flags & 0x20) != 0);
        int nFiles = 1 + in.U8() % 8;
        for (int i = 0; i < nFiles; ++i)
        {
            uint8_t pick = in.U8();
            const char* pszPath = kPackPaths[pick % kPackPathCount];
            PackWriterFileOptions options;
            if (pick & 0x10) options.m_bEmbed = true;
            if (pick & 0x20) options.m_nPreloadBytes = (pick & 0x40) ? 0xFFFF : 1;
            if (pick & 0x80)
            {
                static const int s_aIndex[] = {0, 1, 2, 511, 513, 0x7FFE, 3, 515};
                options.m_nArchiveIndex = s_aIndex[in.U8() % 8];
            }
            std::string content = FileContent(in);
            if (writer.AddFile(pszPath, content.data(), (uint32_t)content.size(), &options))
                added[StoredPath(pszPath)] = content;
        }
        std::error_code ec;
        fs::create_directories(fs::path(base).parent_path().empty() ? fs::path(".")
                                                                    : fs::path(base).parent_path(),
                               ec);
        if (!writer.Write(base.c_str()))
        {
            if (g_bTrace)
                fprintf(stderr, "pack %s not written: %s\n", base.c_str(), writer.GetError());
            return;
        }
    }

    // Mutations: the directory file or one of the first archives.
    int nMutations = in.U8() % 12;
    if (nMutations == 0 && pExpected) *pExpected = added;
    for (int i = 0; i < nMutations; ++i)
    {
        uint8_t op = in.U8();
        std::string path =
            (op & 0x80) ? base + "_00" + std::to_string((op >> 5) & 3) + ".bnd" : base + "_dir.bnd";
        std::string bytes = ReadFileBytes(path);
        if (bytes.empty()) continue;
        uint32_t at = in.U16() % bytes.size();
        switch (op & 7)
        {
        case 0:
            bytes[at] = (char)in.U8();
            break;
        case 1:
            bytes[at] ^= (char)(1 << (in.U8() & 7));
            break;
        case 2:
        case 3:
        {
            static const uint32_t s_aValues[] = {0,          1,          0xFFFFFFFFu, 0x7FFFFFFF,
                                                 0x80000000, 0x7FFF,     0xFFFF,      0x100000,
                                                 0x1FF,      0xFFFF7FFF, 0x00FF0000,  0x200};
            uint32_t v = (op & 1) ? in.U32() : s_aValues[in.U8() % 12];
            for (int k = 0; k < 4 && at + k < bytes.size(); ++k)
                bytes[at + k] = (char)(v >> (8 * k));
            break;
        }
        case 4:
            bytes.resize(at);
            break;
        case 5:
            bytes.insert(at, in.Bytes(in.U8() & 15));
            break;
        case 6:
            bytes.erase(at, 1 + in.U8() % 16);
            break;
        default:
            bytes[at] = 0;
            break;
        }
        WriteFileBytes(path, bytes);
    }
}

// Versions above 2 end the process by design: set any such directory file
// back to 2 before the library may read it.
void TameVersions()
{
    fflush(nullptr);
    // A pack whose directory file is missing is read from its base path.
    std::vector<std::string> paths;
    for (const char* pszBase : kPackBases)
    {
        paths.push_back(std::string(pszBase) + "_dir.bnd");
        paths.push_back(pszBase);
    }
    for (const std::string& path : paths)
    {
        FILE* f = fopen(path.c_str(), "r+b");
        if (!f) continue;
        uint8_t header[8];
        if (fread(header, 1, 8, f) == 8 && PackReadU32(header) == BND_SIGNATURE &&
            (int32_t)PackReadU32(header + 4) > 2)
        {
            const uint8_t two[4] = {2, 0, 0, 0};
            fseek(f, 4, SEEK_SET);
            fwrite(two, 1, 4, f);
        }
        fclose(f);
    }
}

void WriteConfig(Input& in, const std::vector<std::string>& bases)
{
    uint8_t flags = in.U8();
    if (flags & 1) return; // no configuration: depots, then the bnds scan
    std::string text = "// packs\n\"quern_bnds\"\n{\n";
    if (flags & 2) text += (flags & 4) ? "\t\"spewfileio\" \"true\"\n" : "\t\"spewfileio\" \"1\"\n";
    if (!(flags & 8))
    {
        text += "\t\"mount\"\n\t{\n";
        std::vector<std::string> listed = bases;
        if (flags & 0x10) std::reverse(listed.begin(), listed.end());
        if (flags & 0x20) listed.push_back(listed.front()); // mounted once only
        if (flags & 0x40) listed.push_back("missing/none");
        for (size_t i = 0; i < listed.size(); ++i)
        {
            std::string value = listed[i];
            if (i == 0 && (flags & 0x80))
            {
                // Absolute, with '\' separators, as an installer would write it.
                value = g_scratch + value;
                for (char& c : value)
                    if (c == '/') c = '\\';
            }
            text += "\t\t\"k" + std::to_string(i) + "\" \"" + value + "\"\n";
        }
        text += "\t}\n";
    }
    text += "}\n";
    if ((flags & 0x6) == 0x6 && (flags & 8)) text.pop_back(), text.pop_back(); // unparseable
    WriteFileBytes("quern_bnds.kvt", text);
}

// ---------------------------------------------------------------------------
// The model of what the library handed out

struct Model
{
    std::set<uint32_t> m_livePack; // pack table indices
    std::set<uint32_t> m_liveDisk; // disk handles
    std::vector<uint32_t> m_handles;
    std::vector<uint32_t> m_finds;
    std::set<uint32_t> m_liveFinds;
    // Archive slot owners per pack store: two archives in one slot end the
    // process by design.
    std::map<const PackStore*, std::map<int, int>> m_slotOwners;
    // What the files hold while nothing could have changed them.
    Expected m_expected;
    bool m_bExpectedValid = false;
    std::map<uint32_t, std::string> m_packPaths; // binary pack handles, by index
    // Disk streams whose last call wrote ('w') or read ('r'): C leaves a read
    // straight after a write (and the reverse) on one stream undefined, and
    // stdio does corrupt memory then; a game must flush or seek in between.
    std::map<uint32_t, char> m_lastIo;
};

bool IsLive(const Model& m, uint32_t h);

// Puts the flush or seek that C requires between writing and reading a stream.
void SwitchDirection(Model& m, uint32_t h, char next)
{
    auto it = m.m_lastIo.find(h);
    if (it == m.m_lastIo.end() || !IsLive(m, h) || (h & BND_FILE_HANDLE_FLAG)) return;
    TQuernError err;
    if (it->second != next) QuernSeekFile(h, 0, 1, &err);
    it->second = next;
}

bool IsPackHandle(uint32_t h)
{
    return (h & BND_FILE_HANDLE_FLAG) && !(h & 0x80000000u);
}

uint32_t PackIndex(uint32_t h)
{
    return h & 0x1FFFFFFFu;
}

bool IsLive(const Model& m, uint32_t h)
{
    if (h & BND_FILE_HANDLE_FLAG) return IsPackHandle(h) && m.m_livePack.count(PackIndex(h)) != 0;
    return h != 0 && m.m_liveDisk.count(h) != 0;
}

// True when reading the entry cannot open a second archive in a taken slot.
bool ArchiveReadable(Model& m, const PackEntryHandle& entry)
{
    if (entry.m_nArchiveIndex < 0) return true;
    int nSlot = entry.m_nArchiveIndex & (BND_ARCHIVE_SLOT_COUNT - 1);
    std::map<int, int>& owners = m.m_slotOwners[entry.m_pStore];
    auto it = owners.find(nSlot);
    if (it == owners.end())
    {
        owners[nSlot] = entry.m_nArchiveIndex;
        return true;
    }
    return it->second == entry.m_nArchiveIndex;
}

bool HandleReadable(Model& m, uint32_t h)
{
    PackEntryHandle* pEntry = PackLookup(h);
    return !pEntry || ArchiveReadable(m, *pEntry);
}

bool PathReadable(Model& m, const char* pszPath)
{
    PackEntryHandle entry;
    if (!pszPath || FindInMounts(pszPath, 0, &entry) < 0) return true;
    return ArchiveReadable(m, entry);
}

uint32_t PickHandle(Input& in, const Model& m)
{
    uint8_t b = in.U8();
    if (b < 0xC0 && !m.m_handles.empty()) return m.m_handles[b % m.m_handles.size()];
    switch (b & 7)
    {
    case 0:
        return 0;
    case 1:
        return BND_FILE_HANDLE_FLAG | (in.U8() & 7);
    case 2:
        return BND_FILE_HANDLE_FLAG | BND_TEXT_MODE_FLAG | (in.U8() & 7);
    case 3:
        return 0x80000000u | BND_FILE_HANDLE_FLAG | (in.U8() & 7);
    case 4:
        return in.U8() & 15;
    case 5:
        return 0xFFFFFFFFu;
    case 6:
        // A live handle with the text bit flipped names the same entry.
        return m.m_handles.empty() ? 1
                                   : m.m_handles[in.U8() % m.m_handles.size()] ^ BND_TEXT_MODE_FLAG;
    default:
        return in.U32();
    }
}

// A path as a caller might spell it: from the pack vocabulary with a twist,
// a scratch file, or a few safe bytes of the input.
std::string PickPath(Input& in, bool bPattern)
{
    uint8_t b = in.U8();
    std::string path;
    switch (b >> 5)
    {
    case 6:
        path = std::string(kPackBases[in.U8() % kPackBaseCount]) + "_dir.bnd";
        break;
    case 7:
    {
        // Input bytes, kept inside the scratch folder.
        for (char c : in.Bytes(in.U8() % 24))
        {
            if (c == '\0') break;
            if (strchr("abcdeprtxz019_.*?/\\ ", c)) path += c;
        }
        if (path.find("..") != std::string::npos || path.empty() || path[0] == '/' ||
            path[0] == '\\')
            path = "a.txt";
        return path;
    }
    default:
        path = kPackPaths[b % kPackPathCount];
        break;
    }
    uint8_t twist = in.U8();
    switch (twist & 15)
    {
    case 1:
        for (char& c : path)
            c = (char)toupper((unsigned char)c);
        break;
    case 2:
        path = "./" + path;
        break;
    case 3:
        path = ".\\" + path;
        break;
    case 4:
        for (char& c : path)
            if (c == '/') c = '\\';
        break;
    case 5:
    {
        size_t cut = path.find('/');
        if (cut != std::string::npos) path.insert(cut, "/");
        break;
    }
    case 6:
        path = g_scratch + path;
        break;
    case 7:
        path = "zz/../" + path;
        break;
    case 8:
        path = "data/./" + path;
        break;
    case 9:
        path = "\\" + path;
        break;
    case 10:
        path += (twist & 0x10) ? "." : "x";
        break;
    case 11:
    {
        // Absolute with '\' separators: the working directory is stripped.
        path = g_scratch + path;
        for (char& c : path)
            if (c == '/') c = '\\';
        break;
    }
    default:
        break;
    }
    if (bPattern)
    {
        static const char* const s_apszTails[] = {"*", "*.*", ".*", "*.t*", "x*", "", "*.b*"};
        size_t cut = path.find_last_of("/\\");
        std::string dir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
        switch ((twist >> 4) & 7)
        {
        case 0:
            path = dir + s_apszTails[in.U8() % 7];
            break;
        case 1:
            path += "*";
            break;
        case 2:
            path = dir.empty() ? "*.*" : dir + "*.*";
            break;
        default:
            break;
        }
    }
    return path;
}

// Paths with a leading separator reach the root of the disk; calls that
// create or list files keep to the scratch folder.
bool InsideScratch(const std::string& path)
{
    if (path.empty() || (path[0] != '/' && path[0] != '\\')) return true;
    std::string slashed = path;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    return slashed.compare(0, g_scratch.size(), g_scratch) == 0;
}

// ---------------------------------------------------------------------------
// The calls, each with its checks

void CheckElemInfo(const QuernElemInfo& info)
{
    CHECK(info.isDirectory == 0 || info.isDirectory == 1);
    CHECK(info.isLocal == 0 || info.isLocal == 1);
    CHECK(memchr(info.name, 0, sizeof(info.name)) != nullptr);
}

void DoOpen(Input& in, Model& m, uint8_t op)
{
    std::string path = PickPath(in, false);
    uint8_t b = in.U8();
    const char* pszMode = kModes[b % kModeCount];
    if (pszMode && strpbrk(pszMode, "aAwW+") && !InsideScratch(path)) path = "a.txt";
    const char* pszPath = (b & 0x80) && (op & 1) ? nullptr : path.c_str();
    TQuernError err;
    uint32_t size = 0xDEADBEEF;
    uint32_t h;
    if (op & 2)
        h = QuernOpenFile(pszPath, pszMode, &err);
    else
        h = QuernOpenFileEx(pszPath, pszMode, (op & 4) ? nullptr : &size, &err);
    if (g_bTrace)
        fprintf(stderr, "open %s mode %s -> %#x\n", pszPath ? pszPath : "(null)",
                pszMode ? pszMode : "(null)", h);
    if (!h)
    {
        CHECK(err.failureType == QUERN_FAILURE_NOT_FOUND);
        return;
    }
    CHECK(err.failureType == QUERN_FAILURE_NONE);
    CHECK(!IsLive(m, h));
    if (h & BND_FILE_HANDLE_FLAG)
    {
        CHECK(IsPackHandle(h));
        m.m_livePack.insert(PackIndex(h));
        if (!(h & BND_TEXT_MODE_FLAG) && pszPath)
        {
            char szNormal[QUERN_FILE_PATH_SIZE];
            NormalizeFilePath(pszPath, szNormal, sizeof(szNormal));
            m.m_packPaths[PackIndex(h)] = StoredPath(szNormal);
        }
        if (!(op & 6)) CHECK((int32_t)size == QuernSizeFile(h, &err));
    }
    else
    {
        m.m_liveDisk.insert(h);
        m.m_lastIo[h] = 'r';
        // A disk stream that may write can change a pack's files.
        if (pszMode && strpbrk(pszMode, "aAwW+")) m.m_bExpectedValid = false;
    }
    if (m.m_handles.size() < 16)
        m.m_handles.push_back(h);
    else
        m.m_handles[in.U8() % 16] = h;
}

// Position checks of a live pack handle; returns the size.
int32_t CheckPackPosition(uint32_t h)
{
    TQuernError err;
    int32_t size = QuernSizeFile(h, &err);
    int32_t pos = QuernTellFile(h, &err);
    CHECK(size >= 0);
    CHECK(pos >= 0 && pos <= size);
    return size;
}

void DoRead(Input& in, Model& m)
{
    uint32_t h = PickHandle(in, m);
    uint8_t b = in.U8();
    uint32_t elementSize = (b & 0x80) ? in.U8() : kElementSizes[b % 12];
    uint8_t c = in.U8();
    uint32_t count = (c & 0x80) ? in.U16() : kCounts[c % 10];
    if (!HandleReadable(m, h)) return;

    uint64_t asked = (uint64_t)elementSize * count;
    size_t nBuffer = (size_t)std::min(asked, kBufferCap);
    static std::vector<uint8_t> s_fill(kBufferCap + kGuard, kFill);
    std::vector<uint8_t> buffer(s_fill.begin(), s_fill.begin() + (ptrdiff_t)(nBuffer + kGuard));
    bool bLive = IsLive(m, h);
    bool bPack = bLive && (h & BND_FILE_HANDLE_FLAG);
    int32_t posBefore = 0, size = 0;
    if (bPack)
    {
        size = CheckPackPosition(h);
        TQuernError err;
        posBefore = QuernTellFile(h, &err);
    }

    TQuernError err;
    SwitchDirection(m, h, 'r');
    uint32_t got = QuernReadFile(buffer.data(), elementSize, count, h, &err);
    if (g_bTrace)
        fprintf(stderr, "read handle %#x (%s): %u x %u -> %u\n", h, bLive ? "live" : "unknown",
                elementSize, count, got);
    CHECK(got <= count);
    // Nothing past the asked bytes (or past the buffer when the ask is huge:
    // no file here holds that many bytes).
    CHECK(memcmp(buffer.data() + nBuffer, s_fill.data(), kGuard) == 0);
    if (!bLive)
    {
        CHECK(got == 0);
        CHECK(memcmp(buffer.data(), s_fill.data(), nBuffer) == 0);
        return;
    }
    if (elementSize > 0) CHECK((uint64_t)got * elementSize <= nBuffer);
    if (bPack)
    {
        TQuernError e2;
        int32_t posAfter = QuernTellFile(h, &e2);
        CHECK(posAfter >= posBefore && posAfter <= size);
        // Text mode only drops bytes; binary reads report what they consumed.
        uint64_t consumed = (uint64_t)(posAfter - posBefore);
        if (elementSize > 1) CHECK((uint64_t)got * elementSize <= consumed);
        if (elementSize <= 1) CHECK(got <= consumed);
        // An intact pack gives the bytes it was written with, from the
        // position the read started at.
        auto path = m.m_packPaths.find(PackIndex(h));
        if (m.m_bExpectedValid && path != m.m_packPaths.end() && !(h & BND_TEXT_MODE_FLAG))
        {
            auto expected = m.m_expected.find(path->second);
            if (expected != m.m_expected.end())
            {
                if (g_bTrace)
                    fprintf(stderr, "read %s at %d: %u x %u -> %u, consumed %u, handle %#x\n",
                            path->second.c_str(), posBefore, elementSize, count, got,
                            (unsigned)consumed, h);
                CHECK((int32_t)expected->second.size() == size);
                CHECK(memcmp(buffer.data(), expected->second.data() + posBefore,
                             (size_t)consumed) == 0);
            }
        }
        CheckPackPosition(h);
    }
}

void DoSeek(Input& in, Model& m)
{
    uint32_t h = PickHandle(in, m);
    uint8_t b = in.U8();
    int32_t offset = (b & 0x80) ? (int32_t)in.U32() : kOffsets[b % 12];
    static const uint32_t s_aOrigins[] = {0, 1, 2, 3, 0xFFFFFFFFu};
    uint32_t origin = s_aOrigins[in.U8() % 5];
    bool bLive = IsLive(m, h);
    bool bPack = bLive && (h & BND_FILE_HANDLE_FLAG);
    // A disk stream sought far and then written grows a file past what the
    // read buffers hold (stdio seeks there are the C runtime's, not ours).
    if (bLive && !bPack) offset = std::max(-1024, std::min(1024, offset));
    TQuernError err;
    int64_t expected = 0;
    int32_t size = 0;
    if (bPack)
    {
        size = CheckPackPosition(h);
        int64_t base = origin == 0 ? 0 : origin == 1 ? QuernTellFile(h, &err) : size;
        expected = std::min<int64_t>(std::max<int64_t>(base + offset, 0), size);
    }
    int result = QuernSeekFile(h, offset, origin, &err);
    if (!bLive)
    {
        CHECK(result == -1);
        return;
    }
    if (bPack)
    {
        CHECK(result == 0);
        CHECK(QuernTellFile(h, &err) == expected);
    }
}

void DoSmallCall(Input& in, Model& m, uint8_t op)
{
    uint32_t h = PickHandle(in, m);
    bool bLive = IsLive(m, h);
    bool bPack = bLive && (h & BND_FILE_HANDLE_FLAG);
    TQuernError err;
    switch (op % 3)
    {
    case 0:
    {
        if (!HandleReadable(m, h)) return;
        int32_t before = bPack ? QuernTellFile(h, &err) : 0;
        SwitchDirection(m, h, 'r');
        int ch = QuernGetc(h, &err);
        if (!bLive) CHECK(ch == -1);
        if (bPack)
        {
            CHECK(ch >= -128 && ch <= 127);
            int32_t after = QuernTellFile(h, &err);
            CHECK(after == before || after == before + 1);
            CheckPackPosition(h);
        }
        break;
    }
    case 1:
    {
        int32_t pos = QuernTellFile(h, &err);
        if (!bLive) CHECK(pos == -1);
        if (bPack) CheckPackPosition(h);
        break;
    }
    default:
    {
        // A disk stream that cannot be sized (a folder opened for reading)
        // answers -1 as well.
        int32_t size = QuernSizeFile(h, &err);
        if (!bLive) CHECK(size == -1);
        if (bPack) CHECK(size >= 0);
        break;
    }
    }
}

void DoClose(Input& in, Model& m)
{
    uint32_t h = PickHandle(in, m);
    bool bLive = IsLive(m, h);
    TQuernError err;
    int result = QuernCloseFile(h, &err);
    if (!bLive)
    {
        CHECK(result == -1);
        return;
    }
    if (h & BND_FILE_HANDLE_FLAG)
    {
        CHECK(result == 0);
        m.m_livePack.erase(PackIndex(h));
        m.m_packPaths.erase(PackIndex(h));
    }
    else
    {
        m.m_liveDisk.erase(h);
    }
    // Now closed: the second close fails.
    CHECK(QuernCloseFile(h, &err) == -1);
}

void DoStat(Input& in)
{
    std::string path = PickPath(in, false);
    TQuernError err;
    if (in.U8() & 1)
    {
        int result = QuernIsFileImmediatelyAvailable(path.c_str(), &err);
        CHECK(result == 0 || result == 1);
        return;
    }
    QuernElemInfo info;
    memset(&info, 0x5A, sizeof(info));
    int result = QuernStat(path.c_str(), &info, &err);
    CHECK(result == 0 || result == -1);
    if (result == 0) CheckElemInfo(info);
}

void DoFind(Input& in, Model& m)
{
    std::string pattern = PickPath(in, true);
    if (!InsideScratch(pattern)) pattern = "*";
    uint8_t b = in.U8();
    uint32_t filter = (b & 3) == 0 ? 0 : (b & 3) == 1 ? 1 : 0xFFFFFFFFu;
    int nMounted = GetMountTable().Count();
    QuernElemInfo info;
    memset(&info, 0x5A, sizeof(info));
    TQuernError err;
    uint32_t hFind = QuernFindFirst(pattern.c_str(), filter, &info, &err);
    if (!hFind)
    {
        CHECK(err.failureType == QUERN_FAILURE_FAILED);
        return;
    }
    CHECK(m.m_liveFinds.insert(hFind).second);
    // Pack results: a file name at most once, a folder at most once per pack.
    std::map<std::string, int> files, dirs;
    int nResults = 0;
    int nStop = (b & 4) ? 1 + (b >> 3) : 100000;
    for (int result = 0; result == 0 && nResults < nStop; ++nResults)
    {
        CheckElemInfo(info);
        if (!info.isLocal)
        {
            CHECK(filter != 0);
            if (info.isDirectory)
            {
                CHECK(info.size == 0);
                CHECK(++dirs[info.name] <= nMounted);
            }
            else
            {
                CHECK(info.size == 1);
                CHECK(++files[info.name] <= 1);
            }
        }
        memset(&info, 0x5A, sizeof(info));
        result = QuernFindNext(hFind, &info, &err);
        if (result != 0) CHECK(result == -1 && info.name[0] == '\0');
    }
    if (nResults < nStop)
    {
        // At the end it stays at the end.
        CHECK(QuernFindNext(hFind, &info, &err) == -1);
    }
    if (b & 0x40)
    {
        CHECK(QuernFindClose(hFind, &err) == 0);
        m.m_liveFinds.erase(hFind);
        CHECK(QuernFindClose(hFind, &err) == -1);
        CHECK(QuernFindNext(hFind, &info, &err) == -1);
    }
    else
    {
        m.m_finds.push_back(hFind);
    }
}

void DoLocalCopy(Input& in, Model& m)
{
    std::string path = PickPath(in, false);
    // The copy goes to the path as given; inside the scratch folder only.
    if (path.find("..") != std::string::npos || !InsideScratch(path)) return;
    if (!PathReadable(m, path.c_str())) return;
    // The platform layer takes '\\' as a separator.
    std::string disk = path;
    for (char& c : disk)
        if (c == '\\') c = '/';
    bool bWasFile = IsDiskFileAnyCase(disk);
    TQuernError err;
    int result = QuernGetLocalFileCopy(path.c_str(), &err);
    CHECK(result == 0 || result == 1);
    if (bWasFile) CHECK(result == 1);
    if (result != 1 || bWasFile) return;
    // A fresh copy holds exactly the pack file's bytes.
    uint32_t size = 0;
    uint32_t h = QuernOpenFileEx(path.c_str(), "rb", &size, &err);
    CHECK(h & BND_FILE_HANDLE_FLAG);
    std::string bytes(size, '\0');
    uint32_t got = size ? QuernReadFile(&bytes[0], 1, size, h, &err) : 0;
    CHECK(got == size);
    CHECK(QuernCloseFile(h, &err) == 0);
    CHECK(ReadFileBytes(disk) == bytes);
}

void DoDiskOnly(Input& in, Model& m, uint8_t op)
{
    uint32_t h = PickHandle(in, m);
    // Pack handles here report an assertion by design; keep to disk handles.
    if (h & BND_FILE_HANDLE_FLAG) return;
    TQuernError err;
    SwitchDirection(m, h, 'w');
    switch (op % 4)
    {
    case 0:
    {
        std::string data = in.Bytes(in.U8() % 64);
        uint32_t got = QuernWriteFile(data.data(), 1, (uint32_t)data.size(), h, &err);
        CHECK(got <= data.size());
        if (!IsLive(m, h)) CHECK(got == 0);
        break;
    }
    case 1:
    {
        int r = QuernPutc(in.U8(), h, &err);
        if (!IsLive(m, h)) CHECK(r == -1);
        break;
    }
    case 2:
        QuernPrintFile(h, &err, "%d %s\n", (int)in.U8(), "line");
        break;
    default:
        if (IsLive(m, h)) QuernFlushFile(h, &err);
        break;
    }
}

void Remount(Model& m, uint8_t op)
{
    TQuernError err;
    CHECK(QuernUnmountAppFilesystem(&err) == 1);
    m.m_livePack.clear();
    m.m_packPaths.clear();
    m.m_slotOwners.clear();
    // Another pack may be mounted now.
    m.m_bExpectedValid = false;
    CHECK(GetMountTable().Count() == 0);
    TameVersions();
    if (op & 1)
        QuernMountAppFilesystem(&err);
    else
        CHECK(QuernMountFilesystem((op & 2) ? 7 : 10, "depot", &err) == 1);
}

void CloseEverything(Model& m)
{
    TQuernError err;
    for (uint32_t h : m.m_liveDisk)
        QuernCloseFile(h, &err);
    m.m_liveDisk.clear();
    for (uint32_t h : m.m_livePack)
        QuernCloseFile(h | BND_FILE_HANDLE_FLAG, &err);
    m.m_livePack.clear();
    for (uint32_t hFind : m.m_liveFinds)
        QuernFindClose(hFind, &err);
    m.m_liveFinds.clear();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (g_scratch.empty()) SetUpProcess();
    // The library reads its configuration from the current directory.
    CHECK(Plat_SetCurrentDirectory(g_scratch.c_str()));
    Input in(data, size);
    ClearScratch();

    uint8_t flags = in.U8();
    int nPacks = (flags & 1) ? 2 : 1;
    std::vector<std::string> bases;
    Expected expected;
    for (int i = 0; i < nPacks; ++i)
    {
        std::string base = kPackBases[((flags >> (1 + 3 * i)) & 7) % kPackBaseCount];
        if (i == 1 && base == bases[0]) base = base == "p2" ? "p1" : "p2";
        bases.push_back(base);
        BuildPack(in, base, nPacks == 1 ? &expected : nullptr);
    }
    WriteConfig(in, bases);
    TameVersions();

    TQuernError err;
    int started = QuernStartup(0, &err);
    Model m;
    m.m_expected = expected;
    m.m_bExpectedValid = !expected.empty();
    int nRemounts = 0;
    for (int nOps = 0; started && !in.Empty() && nOps < 64; ++nOps)
    {
        uint8_t op = in.U8();
        if (g_bTrace)
            fprintf(stderr, "op %d/%d, %d packs mounted, handles %zu pack + %zu disk live\n",
                    op % 12, op >> 4, GetMountTable().Count(), m.m_livePack.size(),
                    m.m_liveDisk.size());
        switch (op % 12)
        {
        case 0:
        case 1:
            DoOpen(in, m, op >> 4);
            break;
        case 2:
        case 3:
            DoRead(in, m);
            break;
        case 4:
            DoSeek(in, m);
            break;
        case 5:
            DoSmallCall(in, m, op >> 4);
            break;
        case 6:
            DoStat(in);
            break;
        case 7:
            DoFind(in, m);
            break;
        case 8:
            DoLocalCopy(in, m);
            break;
        case 9:
            DoClose(in, m);
            break;
        case 10:
            DoDiskOnly(in, m, op >> 4);
            break;
        default:
            // Loading packs is the slowest step; a few remounts cover it.
            if (++nRemounts <= 3) Remount(m, op >> 4);
            break;
        }
    }
    CloseEverything(m);
    QuernUnmountAppFilesystem(&err);
    QuernCleanup(&err);
    CHECK(Plat_SetCurrentDirectory(g_home.c_str()));
    return 0;
}
