// Writes version-2 bnd packs: "<base>_dir.bnd" with the name tree (and any
// embedded data) plus numbered archives "<base>_000.bnd", "<base>_001.bnd", ...
//
//   CPackWriter writer;
//   writer.SetMaxArchiveSize(64 << 20);
//   writer.AddFile("Data/Foo.txt", bytes, nBytes);
//   writer.AddDiskFile("maps/e1.bsp", "/src/maps/e1.bsp");
//   if (!writer.Write("out/pak01")) puts(writer.GetError());
//
// Paths are stored lower-cased with '/' separators. Files are laid out in
// tree order (extension, directory, name, bytewise), so the same input always
// gives the same bytes. The checksum sections are written empty.
#pragma once

#include <cstdint>

#include "trestle/utlvector.h"

// Per-file choices; -1 / false take the writer's defaults.
struct PackWriterFileOptions
{
    int m_nPreloadBytes = -1; // bytes kept in the directory tree (at most 0xFFFF)
    int m_nArchiveIndex = -1; // force the data into this archive (0 .. 0x7FFE)
    bool m_bEmbed = false;    // store the data in the directory file (archive 0x7FFF)
};

// Called while writing with the bytes of file data handled so far and in total.
typedef void (*PackWriterProgress_t)(uint64_t ulDone, uint64_t ulTotal, void* pContext);

class CPackWriter
{
public:
    CPackWriter();
    ~CPackWriter();

    CPackWriter(const CPackWriter&) = delete;
    CPackWriter& operator=(const CPackWriter&) = delete;

    // A new archive starts when the next file would grow the current one past
    // this size (a bigger file gets an archive of its own). Default 200 MB.
    void SetMaxArchiveSize(uint32_t cubMax);
    // Preload bytes for files without their own setting. Default 0.
    void SetDefaultPreloadSize(int nBytes);
    // Store all data in the directory file. Default off.
    void SetEmbedAll(bool bEmbed);

    // Adds a file from memory (copied). False, with GetError, for a path that
    // cannot be stored. Two files with the same stored path make Write fail.
    bool AddFile(const char* pszPath, const void* pData, uint32_t cubData,
                 const PackWriterFileOptions* pOptions = nullptr);
    // Adds a file read from disk when the pack is written.
    bool AddDiskFile(const char* pszPath, const char* pszDiskPath,
                     const PackWriterFileOptions* pOptions = nullptr);

    int GetFileCount() const { return m_entries.Count(); }
    uint64_t GetTotalBytes() const { return m_ulTotalBytes; }
    // Number of archive files the last Write produced (not counting the directory file).
    int GetArchiveCount() const { return m_nArchivesWritten; }
    // Files whose data the running (or last) Write has finished.
    int GetFilesWritten() const { return m_nFilesWritten; }

    // Writes the pack for the base path (without "_dir.bnd"). False, with
    // GetError, when a file cannot be read or written.
    bool Write(const char* pszBasePath, PackWriterProgress_t pfnProgress = nullptr,
               void* pContext = nullptr);

    const char* GetError() const { return m_szError; }

    // Splits and checks a pack path as it will be stored: lower case, '/'
    // separators, extension " " and directory " " when absent. False for paths
    // a lookup could never find (empty name, trailing '.', "." or "..").
    static bool NormalizePath(const char* pszPath, char* pszDir, int nDirSize, char* pszName,
                              int nNameSize, char* pszExt, int nExtSize);

private:
    struct Entry
    {
        int m_nDir; // offsets into m_strings
        int m_nName;
        int m_nExt;
        int m_nDiskPath; // -1 for memory data
        int64_t m_nData; // offset into m_data for memory data
        uint32_t m_cubSize;
        PackWriterFileOptions m_options;
        // Layout, filled by Write.
        uint16_t m_nPreload;
        int m_nArchive;
        uint32_t m_uOffset;
        uint32_t m_uCrc;
        int64_t m_nPreloadInTree; // offset of the preload bytes in the tree
    };

    bool AddEntry(const char* pszPath, const char* pszDiskPath, const void* pData, uint32_t cubData,
                  const PackWriterFileOptions* pOptions);
    int AddString(const char* psz);
    const char* Str(int n) const { return m_strings.Base() + n; }
    bool Fail(const char* pszFormat, ...);

    CUtlVector<Entry> m_entries;
    CUtlVector<char> m_strings;
    CUtlVector<uint8_t> m_data;
    uint32_t m_cubMaxArchive;
    int m_nDefaultPreload;
    bool m_bEmbedAll;
    uint64_t m_ulTotalBytes;
    int m_nArchivesWritten;
    int m_nFilesWritten;
    char m_szError[1024];
};
