// What the bndtool commands share: messages, pack lookup, the sorted entry
// list, a progress line and a reader that checks chunks against the archives.
#pragma once

#include "tools/bndtool/bndtool.h"

#include "bndlib/packformat.h"
#include "bndlib/packstore.h"
#include "plinth/platform/platform_console.h"
#include "trestle/fileio.h"
#include "trestle/strtools.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"
#include "plinth/platform/platform_file.h"

#include <algorithm>
#include <cstdint>

class CPackWriter;

namespace bndtool
{

const uint32_t kPiece = 1024 * 1024;

bool IsHelp(const char* psz);
// Prints the message (if any) and the usage text; PACKTOOL_USAGE.
int Usage(FILE* pErr, const char* pszUsage, const char* pszFormat = nullptr, ...);
// Prints "bndtool: <message>"; PACKTOOL_FAILED.
int Failed(FILE* pErr, const char* pszFormat, ...);

// A progress line on a terminal, redrawn in place: files and bytes done of
// the total, the rate and the time left. Nothing at all when the stream is
// not a terminal or the user asked for quiet, and nothing for work that ends
// before the first redraw is due.
class Progress
{
public:
    Progress(FILE* pErr, const char* pszWhat, int nFiles, uint64_t ulTotal, bool bQuiet);
    ~Progress() { Done(); }
    void Update(int nFilesDone, uint64_t ulDone);
    // Takes the line away so that a message can be printed; the next update
    // draws it again.
    void Clear();
    // Takes the line away for good.
    void Done();

    // The text of the line after msElapsed milliseconds.
    static void Format(char* psz, int nSize, const char* pszWhat, int nFilesDone, int nFiles,
                       uint64_t ulDone, uint64_t ulTotal, uint32_t msElapsed);

private:
    FILE* m_pErr;
    const char* m_pszWhat;
    int m_nFiles;
    uint64_t m_ulTotal;
    uint32_t m_msStart;
    uint32_t m_msLastDraw;
    bool m_bActive;
    bool m_bShown;
};

// The writer's progress callback; the context is a CreateProgress.
struct CreateProgress
{
    Progress* m_pProgress;
    const CPackWriter* m_pWriter;
};
void WriterProgress(uint64_t ulDone, uint64_t, void* pContext);

// Writes a JSON string (quoted and escaped); bytes that are not UTF-8 become
// U+FFFD.
void JsonString(FILE* pOut, const char* psz);

// "pak01_dir.bnd" and "pak01" both name the pack "pak01".
void PackBaseOf(const char* pszName, char* pszBase, int nSize);
// A byte count with an optional k, M or G suffix.
bool ParseSize(const char* psz, uint64_t* pulOut);

// One file of the pack as the tree stores it, with its printable path.
struct ToolEntry
{
    CUtlOwnedString m_path;
    PackEntryInfo m_info;
};

// The pack's files in byte order of their paths.
void CollectEntries(const PackStore& store, CUtlVector<ToolEntry>* pEntries);
bool MatchesAny(const char* pszPath, int nPatterns, const char* const* ppszPatterns);
// Checks that the pack's directory file exists; a missing one is an error,
// an empty tree is not.
bool FindPack(const char* pszName, char* pszBase, int nBaseSize, FILE* pErr);

// The arguments of a command that takes exactly one pack and no options.
// PACKTOOL_CONTINUE with *ppszPack set, else the exit code to return.
const int PACKTOOL_CONTINUE = -1;
// pbJson and pbQuiet, when given, accept --json and --quiet (-q).
int ParseOnePack(int argc, const char* const* argv, const char* pszUsage, const char* pszCommand,
                 FILE* pOut, FILE* pErr, const char** ppszPack, bool* pbJson = nullptr,
                 bool* pbQuiet = nullptr);
bool CheckLoaded(const PackStore& store, FILE* pErr);
// "dir" for the directory file, else the archive number.
void FormatArchive(int nArchive, char* psz, int nSize);

// Reads entry data straight from the archive files, so damaged chunks are
// reported by the tool instead of the reader's assertion.
class ChunkReader
{
public:
    explicit ChunkReader(const PackStore& store)
        : m_store(store), m_nOpen(-2), m_hFile(PLAT_INVALID_FILE), m_ulSize(0)
    {
    }
    ~ChunkReader() { Close(); }

    // Makes the chunk's archive current; false with a reason when the chunk
    // does not lie wholly in an existing archive.
    bool Check(const PackChunk& chunk, int64_t* pnStart, char* pszWhy, int nWhySize)
    {
        if (!Open(chunk.m_nArchiveIndex))
        {
            V_BoundedFormat(pszWhy, nWhySize, "archive %s missing", m_szName);
            return false;
        }
        int64_t nStart = chunk.m_uOffset;
        if (chunk.m_nArchiveIndex == BND_DIRECTORY_ARCHIVE_INDEX)
            nStart += m_store.GetEmbeddedDataBase();
        if ((uint64_t)nStart + chunk.m_uLength > m_ulSize)
        {
            V_BoundedFormat(pszWhy, nWhySize,
                            "bytes %lld..%lld lie beyond the end of %s (%llu bytes)",
                            (long long)nStart, (long long)nStart + chunk.m_uLength, m_szName,
                            (unsigned long long)m_ulSize);
            return false;
        }
        *pnStart = nStart;
        return true;
    }

    bool Read(int64_t nAt, void* pDest, uint32_t cub)
    {
        uint32_t cubRead = 0;
        return ReadFileHandleAt(m_hFile, pDest, cub, (uint64_t)nAt, &cubRead) == 0 &&
               cubRead == cub;
    }

    // Streams preload bytes and the first chunk through the callback.
    template <class F>
    bool ReadEntry(const PackEntryInfo& info, char* pszWhy, int nWhySize, F&& sink)
    {
        if (info.m_record.m_uPreloadSize)
            sink(info.m_record.m_pPreload, (uint32_t)info.m_record.m_uPreloadSize);
        if (info.m_firstChunk.m_uLength == 0) return true;
        int64_t nStart = 0;
        if (!Check(info.m_firstChunk, &nStart, pszWhy, nWhySize)) return false;
        m_buffer.SetCount((int)kPiece);
        for (uint32_t cubDone = 0; cubDone < info.m_firstChunk.m_uLength;)
        {
            uint32_t cub = std::min(kPiece, info.m_firstChunk.m_uLength - cubDone);
            if (!Read(nStart + cubDone, m_buffer.Base(), cub))
            {
                V_BoundedFormat(pszWhy, nWhySize, "read error in %s", m_szName);
                return false;
            }
            sink(m_buffer.Base(), cub);
            cubDone += cub;
        }
        return true;
    }

private:
    bool Open(int nArchive)
    {
        if (nArchive == m_nOpen) return m_hFile != PLAT_INVALID_FILE;
        Close();
        m_nOpen = nArchive;
        m_store.BuildArchiveFileName(nArchive, m_szName, sizeof(m_szName));
        if (OpenFileHandle(m_szName, PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ,
                           PLAT_FILE_OPEN_EXISTING, 0, &m_hFile) != 0)
        {
            m_hFile = PLAT_INVALID_FILE;
            return false;
        }
        if (GetFileHandleSize(m_hFile, &m_ulSize) != 0) m_ulSize = 0;
        return true;
    }
    void Close()
    {
        if (m_hFile != PLAT_INVALID_FILE) CloseFileHandle(m_hFile);
        m_hFile = PLAT_INVALID_FILE;
    }

    const PackStore& m_store;
    int m_nOpen;
    PlatFileHandle m_hFile;
    uint64_t m_ulSize;
    char m_szName[1100];
    CUtlVector<uint8_t> m_buffer;
};

// The commands; argv holds the arguments after the command's name.
int CmdCreate(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
int CmdList(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
int CmdInfo(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
int CmdExtract(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
int CmdCat(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
int CmdVerify(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
int CmdResolve(int argc, const char* const* argv, FILE* pOut, FILE* pErr);

} // namespace bndtool
