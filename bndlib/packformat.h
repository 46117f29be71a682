// The bnd directory file: constants and a bounds-checked view of the name tree.
//
// Directory file = header, tree, embedded data, checksum sections. The tree is
// three nested lists of NUL-terminated names (extension, directory, file);
// every file name is followed by an entry record:
//   crc (4), preload size P (2), chunk records of 10 bytes up to 0xFFFF (2),
//   then P preload bytes. All integers little-endian.
// Every walk of tree bytes goes through PackParseString/PackParseRecord, which
// never read past the end they are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The files of a pack with base path <base>: the directory file
// "<base>_dir.bnd" and the archives "<base>_000.bnd", "<base>_001.bnd", ...
// Macros, so that they can be joined with other format text and checked as
// printf formats.
#define BND_DIRECTORY_FILE_SUFFIX "_dir.bnd"
#define BND_DIRECTORY_FILE_FORMAT "%s" BND_DIRECTORY_FILE_SUFFIX
#define BND_ARCHIVE_FILE_FORMAT "%s_%03d.bnd"

constexpr uint32_t BND_SIGNATURE = 0x55AA1234u;
constexpr int BND_VERSION = 2;
constexpr int BND_HEADER_SIZE_V1 = 12;
constexpr int BND_HEADER_SIZE = 28;
constexpr int BND_DIRECTORY_ARCHIVE_INDEX = 0x7FFF;
constexpr uint16_t BND_CHUNK_LIST_END = 0xFFFF;
constexpr int BND_ENTRY_RECORD_FIXED_SIZE = 6; // crc + preload size
constexpr int BND_CHUNK_RECORD_SIZE = 10;
constexpr int BND_MAX_PRELOAD_SIZE = 0xFFFF;
constexpr uint32_t BND_HASH_SEED = 1047;
constexpr int BND_EXTENSION_BUCKETS = 15;
// A store keeps one open archive per number mod 512.
constexpr int BND_ARCHIVE_SLOT_COUNT = 512;
constexpr int BND_ARCHIVE_SLOT_MASK = BND_ARCHIVE_SLOT_COUNT - 1;
constexpr int BND_DIRECTORY_BUCKETS = 43;

// Header as stored (version 2 layout; a version-1 file fills only the first three).
struct PackDirectoryHeader
{
    uint32_t m_uSignature;
    int32_t m_nVersion;
    uint32_t m_uTreeSize;
    uint32_t m_uEmbeddedDataSize;
    uint32_t m_uArchiveChecksumSize;
    uint32_t m_uOtherChecksumSize;
    uint32_t m_uSignatureSize;
};

inline uint16_t PackReadU16(const uint8_t* p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

inline uint32_t PackReadU32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

inline void PackWriteU16(uint8_t* p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

inline void PackWriteU32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// Decodes the 28 header bytes (little-endian, whatever the host).
inline void PackDecodeHeader(const uint8_t* p, PackDirectoryHeader* pHeader)
{
    pHeader->m_uSignature = PackReadU32(p);
    pHeader->m_nVersion = (int32_t)PackReadU32(p + 4);
    pHeader->m_uTreeSize = PackReadU32(p + 8);
    pHeader->m_uEmbeddedDataSize = PackReadU32(p + 12);
    pHeader->m_uArchiveChecksumSize = PackReadU32(p + 16);
    pHeader->m_uOtherChecksumSize = PackReadU32(p + 20);
    pHeader->m_uSignatureSize = PackReadU32(p + 24);
}

inline void PackEncodeHeader(const PackDirectoryHeader& header, uint8_t* p)
{
    PackWriteU32(p, header.m_uSignature);
    PackWriteU32(p + 4, (uint32_t)header.m_nVersion);
    PackWriteU32(p + 8, header.m_uTreeSize);
    PackWriteU32(p + 12, header.m_uEmbeddedDataSize);
    PackWriteU32(p + 16, header.m_uArchiveChecksumSize);
    PackWriteU32(p + 20, header.m_uOtherChecksumSize);
    PackWriteU32(p + 24, header.m_uSignatureSize);
}

// One chunk record, decoded.
struct PackChunk
{
    int m_nArchiveIndex;
    uint32_t m_uOffset;
    uint32_t m_uLength;
};

// An entry record, decoded in place: pointers stay inside the tree bytes.
struct PackRecordView
{
    const uint8_t* m_pRecord; // the crc field
    uint32_t m_uCrc;
    uint16_t m_uPreloadSize;
    const uint8_t* m_pFirstChunk; // first 10-byte chunk record
    int m_nChunkCount;
    const uint8_t* m_pPreload; // null when the preload size is 0
};

inline PackChunk PackDecodeChunk(const uint8_t* p)
{
    PackChunk chunk;
    chunk.m_nArchiveIndex = PackReadU16(p);
    chunk.m_uOffset = PackReadU32(p + 2);
    chunk.m_uLength = PackReadU32(p + 6);
    return chunk;
}

// Length of the NUL-terminated string at p, or -1 when no terminator comes
// before pEnd.
inline ptrdiff_t PackParseString(const uint8_t* p, const uint8_t* pEnd)
{
    // Names are short: a plain loop beats a library call per name.
    for (const uint8_t* q = p; q < pEnd; ++q)
    {
        if (*q == 0) return q - p;
    }
    return -1;
}

// Decodes the record at p and returns the first byte after it (after the
// preload bytes), or null when the record does not fit before pEnd or has no
// chunk record.
inline const uint8_t* PackParseRecord(const uint8_t* p, const uint8_t* pEnd, PackRecordView* pView)
{
    if (pEnd - p < BND_ENTRY_RECORD_FIXED_SIZE) return nullptr;
    pView->m_pRecord = p;
    pView->m_uCrc = PackReadU32(p);
    pView->m_uPreloadSize = PackReadU16(p + 4);
    p += BND_ENTRY_RECORD_FIXED_SIZE;
    pView->m_pFirstChunk = p;
    int nChunks = 0;
    for (;;)
    {
        if (pEnd - p < 2) return nullptr;
        if (PackReadU16(p) == BND_CHUNK_LIST_END) break;
        if (pEnd - p < BND_CHUNK_RECORD_SIZE) return nullptr;
        p += BND_CHUNK_RECORD_SIZE;
        ++nChunks;
    }
    p += 2;
    // The reader takes the first chunk as the file's data, so one must exist.
    if (nChunks == 0) return nullptr;
    pView->m_nChunkCount = nChunks;
    if (pEnd - p < (ptrdiff_t)pView->m_uPreloadSize) return nullptr;
    pView->m_pPreload = pView->m_uPreloadSize ? p : nullptr;
    return p + pView->m_uPreloadSize;
}
