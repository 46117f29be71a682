#include "bndlib/packwriter.h"

#include "bndlib/packcrc.h"
#include "bndlib/packformat.h"
#include "trestle/fileio.h"
#include "trestle/strtools.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#define PACKWRITER_SOURCE "..\\bndlib\\packwriter"

namespace
{
// Lookups copy directory, name and extension into 260-byte buffers and the
// directory list builds full paths of at most 519 characters.
const int kMaxPart = 259;
const int kMaxFullPath = 519;
const uint32_t kDefaultMaxArchive = 200u * 1024 * 1024;
const uint32_t kMaxEntrySize = 0x7FFFFFFFu;
const uint32_t kCopyPiece = 1024 * 1024;

// An output file written front to back.
class COutFile
{
public:
    COutFile() : m_hFile(PLAT_INVALID_FILE), m_ulSize(0) {}
    ~COutFile() { Close(); }

    uint32_t Open(const char* pszPath, bool bAppend)
    {
        Close();
        uint32_t err =
            OpenFileHandle(pszPath, PLAT_FILE_ACCESS_WRITE, PLAT_FILE_SHARE_READ,
                           bAppend ? PLAT_FILE_OPEN_ALWAYS : PLAT_FILE_CREATE_ALWAYS, 0, &m_hFile);
        if (err) return err;
        m_ulSize = 0;
        if (bAppend) err = SeekFileHandle(m_hFile, 0, 2, &m_ulSize);
        return err;
    }
    uint32_t Write(const void* pData, uint64_t cub)
    {
        uint64_t cubWritten = 0;
        uint32_t err = WriteFileHandle(m_hFile, pData, cub, &cubWritten);
        m_ulSize += cubWritten;
        if (!err && cubWritten != cub) err = PLAT_ERROR_WRITE_FAULT;
        return err;
    }
    uint32_t Seek(uint64_t ulPos) { return SeekFileHandle(m_hFile, (int64_t)ulPos, 0, nullptr); }
    uint32_t Close()
    {
        uint32_t err = 0;
        if (m_hFile != PLAT_INVALID_FILE) err = CloseFileHandle(m_hFile);
        m_hFile = PLAT_INVALID_FILE;
        return err;
    }
    bool IsOpen() const { return m_hFile != PLAT_INVALID_FILE; }
    uint64_t Size() const { return m_ulSize; }

private:
    PlatFileHandle m_hFile;
    uint64_t m_ulSize;
};

struct ArchiveState
{
    int m_nIndex;
    bool m_bCreated;   // truncated in this run already
    uint64_t m_ulNext; // where the next chunk goes
};
} // namespace

CPackWriter::CPackWriter()
    : m_cubMaxArchive(kDefaultMaxArchive), m_nDefaultPreload(0), m_bEmbedAll(false),
      m_ulTotalBytes(0), m_nArchivesWritten(0), m_nFilesWritten(0)
{
    m_szError[0] = 0;
}

CPackWriter::~CPackWriter() {}

void CPackWriter::SetMaxArchiveSize(uint32_t cubMax)
{
    // Chunk offsets are read back as signed 32-bit values.
    m_cubMaxArchive = std::min<uint32_t>(std::max<uint32_t>(cubMax, 1), kMaxEntrySize);
}

void CPackWriter::SetDefaultPreloadSize(int nBytes)
{
    m_nDefaultPreload = std::max(0, std::min(nBytes, BND_MAX_PRELOAD_SIZE));
}

void CPackWriter::SetEmbedAll(bool bEmbed)
{
    m_bEmbedAll = bEmbed;
}

bool CPackWriter::Fail(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    V_BoundedFormatList(m_szError, sizeof(m_szError), pszFormat, args);
    va_end(args);
    return false;
}

int CPackWriter::AddString(const char* psz)
{
    int n = m_strings.Count();
    m_strings.AddMultipleToTail((int)strlen(psz) + 1, psz);
    return n;
}

bool CPackWriter::NormalizePath(const char* pszPath, char* pszDir, int nDirSize, char* pszName,
                                int nNameSize, char* pszExt, int nExtSize)
{
    if (!pszPath || nDirSize <= kMaxPart || nNameSize <= kMaxPart || nExtSize <= kMaxPart)
        return false;
    char szPath[kMaxFullPath + 1];
    if (strlen(pszPath) > (size_t)kMaxFullPath) return false;
    V_BoundedCopy(szPath, pszPath, sizeof(szPath));
    V_SetSlashes(szPath, '/');
    V_LowerAscii(szPath);

    const char* p = szPath;
    for (;;)
    {
        if (p[0] == '/')
            ++p;
        else if (p[0] == '.' && p[1] == '/')
            p += 2;
        else
            break;
    }

    // Every component must be a real name: lookups never resolve "." and only
    // resolve ".." by removing directories, and an empty component cannot be stored.
    const char* pszLastSlash = nullptr;
    for (const char* pComp = p;;)
    {
        const char* pEnd = strchr(pComp, '/');
        size_t len = pEnd ? (size_t)(pEnd - pComp) : strlen(pComp);
        if (len == 0 || (len == 1 && pComp[0] == '.') ||
            (len == 2 && pComp[0] == '.' && pComp[1] == '.'))
            return false;
        if (!pEnd) break;
        pszLastSlash = pEnd;
        pComp = pEnd + 1;
    }

    const char* pszFile = pszLastSlash ? pszLastSlash + 1 : p;
    size_t nDirLen = pszLastSlash ? (size_t)(pszLastSlash - p) : 0;
    // The lookup copies the directory with its trailing slash into 260 bytes.
    if (nDirLen + 1 > (size_t)kMaxPart) return false;
    if (nDirLen == 0)
        V_BoundedCopy(pszDir, " ", nDirSize);
    else
    {
        memcpy(pszDir, p, nDirLen);
        pszDir[nDirLen] = 0;
        if (strcmp(pszDir, " ") == 0) return false;
    }

    const char* pszDot = strrchr(pszFile, '.');
    if (!pszDot)
    {
        if (strlen(pszFile) > (size_t)kMaxPart) return false;
        V_BoundedCopy(pszName, pszFile, nNameSize);
        V_BoundedCopy(pszExt, " ", nExtSize);
        return true;
    }
    size_t nBase = (size_t)(pszDot - pszFile);
    // "foo." has an empty extension and ".cfg" an empty name: neither can be
    // stored, since an empty string ends its list.
    if (nBase == 0 || pszDot[1] == 0 || nBase > (size_t)kMaxPart || strcmp(pszDot + 1, " ") == 0)
        return false;
    memcpy(pszName, pszFile, nBase);
    pszName[nBase] = 0;
    V_BoundedCopy(pszExt, pszDot + 1, nExtSize);
    return true;
}

bool CPackWriter::AddEntry(const char* pszPath, const char* pszDiskPath, const void* pData,
                           uint32_t cubData, const PackWriterFileOptions* pOptions)
{
    char szDir[kMaxPart + 1], szName[kMaxPart + 1], szExt[kMaxPart + 1];
    if (!NormalizePath(pszPath, szDir, sizeof(szDir), szName, sizeof(szName), szExt, sizeof(szExt)))
        return Fail("cannot store the path \"%s\" in a pack", pszPath ? pszPath : "(null)");
    if (cubData > kMaxEntrySize - BND_MAX_PRELOAD_SIZE)
        return Fail("\"%s\" is too large for a pack entry (%u bytes)", pszPath, cubData);
    if (pOptions && pOptions->m_nArchiveIndex >= BND_DIRECTORY_ARCHIVE_INDEX)
        return Fail("archive index %d of \"%s\" is out of range", pOptions->m_nArchiveIndex,
                    pszPath);

    Entry entry{};
    entry.m_nDir = AddString(szDir);
    entry.m_nName = AddString(szName);
    entry.m_nExt = AddString(szExt);
    entry.m_nDiskPath = pszDiskPath ? AddString(pszDiskPath) : -1;
    entry.m_nData = -1;
    if (!pszDiskPath)
    {
        entry.m_nData = m_data.Count();
        if (cubData) m_data.AddMultipleToTail((int)cubData, (const uint8_t*)pData);
    }
    entry.m_cubSize = cubData;
    if (pOptions)
        entry.m_options = *pOptions;
    else
        entry.m_options = PackWriterFileOptions();
    entry.m_nArchive = -1;
    m_entries.AddToTail(entry);
    m_ulTotalBytes += cubData;
    return true;
}

bool CPackWriter::AddFile(const char* pszPath, const void* pData, uint32_t cubData,
                          const PackWriterFileOptions* pOptions)
{
    if (!pData && cubData) return Fail("no data for \"%s\"", pszPath ? pszPath : "(null)");
    if ((uint64_t)m_data.Count() + cubData > 0x7FFFFFFFu)
        return Fail("too much data in memory for one pack writer");
    return AddEntry(pszPath, nullptr, pData, cubData, pOptions);
}

bool CPackWriter::AddDiskFile(const char* pszPath, const char* pszDiskPath,
                              const PackWriterFileOptions* pOptions)
{
    CFileReader reader;
    uint64_t ulSize = 0;
    if (!pszDiskPath || !reader.BOpenFile(pszDiskPath) || !reader.GetFileSize(&ulSize))
        return Fail("cannot open \"%s\"", pszDiskPath ? pszDiskPath : "(null)");
    if (ulSize > kMaxEntrySize) return Fail("\"%s\" is too large for a pack entry", pszDiskPath);
    return AddEntry(pszPath, pszDiskPath, nullptr, (uint32_t)ulSize, pOptions);
}

bool CPackWriter::Write(const char* pszBasePath, PackWriterProgress_t pfnProgress, void* pContext)
{
    m_szError[0] = 0;
    m_nArchivesWritten = 0;
    m_nFilesWritten = 0;
    if (!pszBasePath || !pszBasePath[0] || strlen(pszBasePath) > 1000)
        return Fail("bad pack base path");

    // Tree order: extension, directory, name, each bytewise.
    int nEntries = m_entries.Count();
    CUtlVector<int> order;
    order.SetCount(nEntries);
    for (int i = 0; i < nEntries; ++i)
        order[i] = i;
    auto compare = [this](int a, int b) -> int
    {
        const Entry& ea = m_entries[a];
        const Entry& eb = m_entries[b];
        int c = strcmp(Str(ea.m_nExt), Str(eb.m_nExt));
        if (!c) c = strcmp(Str(ea.m_nDir), Str(eb.m_nDir));
        if (!c) c = strcmp(Str(ea.m_nName), Str(eb.m_nName));
        return c;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&compare](int a, int b) { return compare(a, b) < 0; });
    for (int i = 1; i < nEntries; ++i)
    {
        if (compare(order[i - 1], order[i]) == 0)
        {
            const Entry& e = m_entries[order[i]];
            return Fail("duplicate path %s/%s.%s", Str(e.m_nDir), Str(e.m_nName), Str(e.m_nExt));
        }
    }

    // Layout: preload sizes, archives and offsets; the tree size follows from them.
    CUtlVector<ArchiveState> archives;
    auto findArchive = [&archives](int nIndex) -> ArchiveState*
    {
        for (int i = 0; i < archives.Count(); ++i)
            if (archives[i].m_nIndex == nIndex) return &archives[i];
        ArchiveState state = {nIndex, false, 0};
        return &archives[archives.AddToTail(state)];
    };
    int nAutoArchive = 0;
    uint64_t ulEmbedded = 0;
    uint64_t ulTreeSize = 1; // the final empty extension
    const char* pszPrevExt = nullptr;
    const char* pszPrevDir = nullptr;
    for (int i = 0; i < nEntries; ++i)
    {
        Entry& e = m_entries[order[i]];
        int nPreload =
            e.m_options.m_nPreloadBytes >= 0 ? e.m_options.m_nPreloadBytes : m_nDefaultPreload;
        nPreload = std::min(nPreload, BND_MAX_PRELOAD_SIZE);
        e.m_nPreload = (uint16_t)std::min<uint32_t>((uint32_t)nPreload, e.m_cubSize);
        uint32_t cubChunk = e.m_cubSize - e.m_nPreload;
        if (cubChunk == 0)
        {
            // Nothing outside the tree: a zero-length chunk in the directory
            // file, which always exists.
            e.m_nArchive = BND_DIRECTORY_ARCHIVE_INDEX;
            e.m_uOffset = 0;
        }
        else if (m_bEmbedAll || e.m_options.m_bEmbed)
        {
            if (ulEmbedded + cubChunk > 0x7FFFFFFFu) return Fail("embedded data exceeds 2 GB");
            e.m_nArchive = BND_DIRECTORY_ARCHIVE_INDEX;
            e.m_uOffset = (uint32_t)ulEmbedded;
            ulEmbedded += cubChunk;
        }
        else
        {
            int nArchive = e.m_options.m_nArchiveIndex;
            if (nArchive < 0)
            {
                ArchiveState* pCur = findArchive(nAutoArchive);
                if (pCur->m_ulNext > 0 && pCur->m_ulNext + cubChunk > m_cubMaxArchive)
                    ++nAutoArchive;
                nArchive = nAutoArchive;
            }
            ArchiveState* pState = findArchive(nArchive);
            if (pState->m_ulNext + cubChunk > 0x7FFFFFFFu)
                return Fail("archive %d would exceed 2 GB", nArchive);
            e.m_nArchive = nArchive;
            e.m_uOffset = (uint32_t)pState->m_ulNext;
            pState->m_ulNext += cubChunk;
        }
        if (!pszPrevExt || strcmp(pszPrevExt, Str(e.m_nExt)) != 0)
        {
            if (pszPrevExt) ulTreeSize += 2; // ends of the previous file and directory lists
            ulTreeSize += strlen(Str(e.m_nExt)) + 1;
            pszPrevExt = Str(e.m_nExt);
            pszPrevDir = nullptr;
        }
        if (!pszPrevDir || strcmp(pszPrevDir, Str(e.m_nDir)) != 0)
        {
            if (pszPrevDir) ulTreeSize += 1;
            ulTreeSize += strlen(Str(e.m_nDir)) + 1;
            pszPrevDir = Str(e.m_nDir);
        }
        ulTreeSize += strlen(Str(e.m_nName)) + 1 + BND_ENTRY_RECORD_FIXED_SIZE +
                      BND_CHUNK_RECORD_SIZE + 2 + e.m_nPreload;
    }
    if (nEntries) ulTreeSize += 2;
    // A reader keeps at most 512 archives open, one per number mod 512.
    for (int i = 0; i < archives.Count(); ++i)
        for (int j = i + 1; j < archives.Count(); ++j)
            if ((archives[i].m_nIndex & BND_ARCHIVE_SLOT_MASK) ==
                    (archives[j].m_nIndex & BND_ARCHIVE_SLOT_MASK) &&
                archives[i].m_ulNext && archives[j].m_ulNext)
                return Fail("archives %d and %d cannot be read from one pack (equal mod 512)",
                            archives[i].m_nIndex, archives[j].m_nIndex);
    // Data in the directory file is read through the slot of archive 0x7FFF,
    // which is the slot of archive 511 too.
    for (int i = 0; i < archives.Count() && ulEmbedded; ++i)
        if ((archives[i].m_nIndex & BND_ARCHIVE_SLOT_MASK) ==
                (BND_DIRECTORY_ARCHIVE_INDEX & BND_ARCHIVE_SLOT_MASK) &&
            archives[i].m_ulNext)
            return Fail("archive %d and data in the directory file cannot be read from one pack "
                        "(equal mod 512)",
                        archives[i].m_nIndex);
    if (ulTreeSize > 0x7FFFFFFFu) return Fail("directory tree exceeds 2 GB");

    char szDirFile[1100];
    V_BoundedFormat(szDirFile, sizeof(szDirFile), BND_DIRECTORY_FILE_FORMAT, pszBasePath);
    COutFile dirFile;
    if (uint32_t err = dirFile.Open(szDirFile, false))
        return Fail("cannot create \"%s\" (error %u)", szDirFile, err);

    // The header and tree are written last, once every CRC is known; reserve
    // their place so embedded data can stream right behind them.
    CUtlVector<uint8_t> tree;
    tree.SetCount((int)ulTreeSize + BND_HEADER_SIZE);
    memset(tree.Base(), 0, tree.Count());
    if (uint32_t err = dirFile.Write(tree.Base(), tree.Count()))
        return Fail("cannot write \"%s\" (error %u)", szDirFile, err);

    // Fill the tree (CRCs patched in below) and note where each preload goes.
    uint8_t* pTree = tree.Base() + BND_HEADER_SIZE;
    size_t pos = 0;
    auto putStr = [&](const char* psz)
    {
        size_t len = strlen(psz) + 1;
        memcpy(pTree + pos, psz, len);
        pos += len;
    };
    pszPrevExt = nullptr;
    pszPrevDir = nullptr;
    CUtlVector<int64_t> crcPos;
    crcPos.SetCount(nEntries);
    for (int i = 0; i < nEntries; ++i)
    {
        Entry& e = m_entries[order[i]];
        if (!pszPrevExt || strcmp(pszPrevExt, Str(e.m_nExt)) != 0)
        {
            if (pszPrevExt)
            {
                pTree[pos++] = 0;
                pTree[pos++] = 0;
            }
            putStr(Str(e.m_nExt));
            pszPrevExt = Str(e.m_nExt);
            pszPrevDir = nullptr;
        }
        if (!pszPrevDir || strcmp(pszPrevDir, Str(e.m_nDir)) != 0)
        {
            if (pszPrevDir) pTree[pos++] = 0;
            putStr(Str(e.m_nDir));
            pszPrevDir = Str(e.m_nDir);
        }
        putStr(Str(e.m_nName));
        crcPos[i] = (int64_t)pos;
        PackWriteU16(pTree + pos + 4, e.m_nPreload);
        pos += BND_ENTRY_RECORD_FIXED_SIZE;
        PackWriteU16(pTree + pos, (uint16_t)e.m_nArchive);
        PackWriteU32(pTree + pos + 2, e.m_uOffset);
        PackWriteU32(pTree + pos + 6, e.m_cubSize - e.m_nPreload);
        pos += BND_CHUNK_RECORD_SIZE;
        PackWriteU16(pTree + pos, BND_CHUNK_LIST_END);
        pos += 2;
        e.m_nPreloadInTree = (int64_t)pos;
        pos += e.m_nPreload;
    }
    if (nEntries)
    {
        pTree[pos++] = 0;
        pTree[pos++] = 0;
    }
    pTree[pos++] = 0;
    QAssertAt(pos == ulTreeSize, PACKWRITER_SOURCE, __LINE__);

    // Data pass, in tree order: CRC, preload bytes into the tree, the rest to
    // its archive or behind the tree.
    // Only files read from disk need the copy buffer; packs built from
    // memory (the tests, the fuzzer) skip allocating and clearing 1 MB.
    CUtlVector<uint8_t> piece;
    COutFile archiveFile;
    int nOpenArchive = -1;
    uint64_t ulDone = 0;
    for (int i = 0; i < nEntries; ++i)
    {
        Entry& e = m_entries[order[i]];
        COutFile* pOut = nullptr;
        if (e.m_cubSize > e.m_nPreload)
        {
            if (e.m_nArchive == BND_DIRECTORY_ARCHIVE_INDEX)
                pOut = &dirFile;
            else
            {
                if (nOpenArchive != e.m_nArchive)
                {
                    archiveFile.Close();
                    ArchiveState* pState = findArchive(e.m_nArchive);
                    char szArchive[1100];
                    V_BoundedFormat(szArchive, sizeof(szArchive), BND_ARCHIVE_FILE_FORMAT,
                                    pszBasePath, e.m_nArchive);
                    if (uint32_t err = archiveFile.Open(szArchive, pState->m_bCreated))
                        return Fail("cannot create \"%s\" (error %u)", szArchive, err);
                    if (!pState->m_bCreated) ++m_nArchivesWritten;
                    pState->m_bCreated = true;
                    nOpenArchive = e.m_nArchive;
                }
                pOut = &archiveFile;
            }
        }

        CFileReader reader;
        if (e.m_nDiskPath >= 0 && !reader.BOpenFile(Str(e.m_nDiskPath)))
            return Fail("cannot open \"%s\"", Str(e.m_nDiskPath));
        if (e.m_nDiskPath >= 0 && piece.Count() == 0) piece.SetCount((int)kCopyPiece);
        uint32_t crc = 0;
        uint32_t cubLeft = e.m_cubSize;
        uint32_t cubAt = 0;
        while (cubLeft > 0)
        {
            uint32_t cub = std::min(cubLeft, kCopyPiece);
            const uint8_t* pBytes;
            if (e.m_nDiskPath >= 0)
            {
                uint32_t cubRead = 0;
                if (!reader.Read(piece.Base(), cub, &cubRead) || cubRead != cub)
                    return Fail("cannot read \"%s\" (changed while writing?)", Str(e.m_nDiskPath));
                pBytes = piece.Base();
            }
            else
                pBytes = m_data.Base() + e.m_nData + cubAt;
            crc = PackCrc32(crc, pBytes, cub);
            uint32_t cubPreload = 0;
            if (cubAt < e.m_nPreload)
            {
                cubPreload = std::min<uint32_t>(cub, e.m_nPreload - cubAt);
                memcpy(pTree + e.m_nPreloadInTree + cubAt, pBytes, cubPreload);
            }
            if (cub > cubPreload)
            {
                if (uint32_t err = pOut->Write(pBytes + cubPreload, cub - cubPreload))
                    return Fail("cannot write pack data for %s/%s (error %u)", Str(e.m_nDir),
                                Str(e.m_nName), err);
            }
            cubAt += cub;
            cubLeft -= cub;
            ulDone += cub;
            if (pfnProgress) pfnProgress(ulDone, m_ulTotalBytes, pContext);
        }
        if (e.m_nDiskPath >= 0)
        {
            // A file that grew since it was added would silently lose its tail.
            uint64_t ulSize = 0;
            if (!reader.GetFileSize(&ulSize) || ulSize != e.m_cubSize)
                return Fail("\"%s\" changed size while writing", Str(e.m_nDiskPath));
        }
        e.m_uCrc = crc;
        PackWriteU32(pTree + crcPos[i], crc);
        // Once per file as well, so that empty files count too.
        ++m_nFilesWritten;
        if (pfnProgress) pfnProgress(ulDone, m_ulTotalBytes, pContext);
    }
    if (uint32_t err = archiveFile.Close())
        return Fail("cannot close an archive of \"%s\" (error %u)", pszBasePath, err);

    PackDirectoryHeader header;
    header.m_uSignature = BND_SIGNATURE;
    header.m_nVersion = BND_VERSION;
    header.m_uTreeSize = (uint32_t)ulTreeSize;
    header.m_uEmbeddedDataSize = (uint32_t)ulEmbedded;
    header.m_uArchiveChecksumSize = 0;
    header.m_uOtherChecksumSize = 0;
    header.m_uSignatureSize = 0;
    PackEncodeHeader(header, tree.Base());
    if (uint32_t err = dirFile.Seek(0))
        return Fail("cannot write \"%s\" (error %u)", szDirFile, err);
    if (uint32_t err = dirFile.Write(tree.Base(), tree.Count()))
        return Fail("cannot write \"%s\" (error %u)", szDirFile, err);
    if (uint32_t err = dirFile.Close())
        return Fail("cannot close \"%s\" (error %u)", szDirFile, err);
    return true;
}
