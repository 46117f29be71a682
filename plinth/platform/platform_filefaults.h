// Test hook of the file calls: makes the n-th call of an operation fail, come
// back short or find the disk full, so that the failure paths above it can be
// tested on a healthy disk.
//
// It exists only where QUERN_FILE_FAULTS is defined (the test beds; never the
// shipping build). There the per-system files define their calls under the
// PlatOs_ names below, and platform_filefaults.cpp defines the Plat_ names in
// front of them; without it the Plat_ names are the system calls themselves,
// so the shipping build has neither the hook nor any cost for it.
#pragma once

#include "plinth/platform/platform_crtfile.h"
#include "plinth/platform/platform_file.h"

#ifdef QUERN_FILE_FAULTS

// The calls the hook can fail.
enum PlatFileOp
{
    PLAT_FILE_OP_OPEN,    // Plat_CreateFile and the stream open Plat_CrtOpen
    PLAT_FILE_OP_READ,    // Plat_ReadFile (streams read through it too, see below)
    PLAT_FILE_OP_READ_AT, // Plat_ReadFileAt
    PLAT_FILE_OP_WRITE,   // Plat_WriteFile (and stream writes)
    PLAT_FILE_OP_SEEK,    // Plat_SeekFile (and stream seeks)
    PLAT_FILE_OP_SIZE,    // Plat_GetFileSize
    PLAT_FILE_OP_FLUSH,   // Plat_FlushFile
    PLAT_FILE_OP_MOVE,    // Plat_MoveFileReplace
    PLAT_FILE_OP_DELETE,  // Plat_DeleteFile
    PLAT_FILE_OP_COUNT
};

struct PlatFileFault
{
    // First call that fails, counted from 1 since the fault was set.
    uint32_t m_unNth = 1;
    // Calls in a row that fail; 0: every call from the first one on.
    uint32_t m_unTimes = 1;
    // What a failing call answers; 0: it succeeds (reads and writes with fewer
    // bytes). An open, seek, size, flush, move or delete that fails does nothing.
    uint32_t m_unError = 0;
    // Reads and writes: bytes that still go through, in all the failing calls
    // together (the rest of the disk, for a full one).
    uint32_t m_cubBudget = 0;
};

// The usual faults.
inline PlatFileFault PlatFault_Error(uint32_t unNth, uint32_t unError)
{
    PlatFileFault fault;
    fault.m_unNth = unNth;
    fault.m_unError = unError;
    return fault;
}
inline PlatFileFault PlatFault_Short(uint32_t unNth, uint32_t cubGoThrough)
{
    PlatFileFault fault;
    fault.m_unNth = unNth;
    fault.m_cubBudget = cubGoThrough;
    return fault;
}
// From the n-th write on the disk has cubLeft bytes of room, then none.
inline PlatFileFault PlatFault_DiskFull(uint32_t unNth, uint32_t cubLeft)
{
    PlatFileFault fault;
    fault.m_unNth = unNth;
    fault.m_unTimes = 0;
    fault.m_unError = PLAT_ERROR_DISK_FULL;
    fault.m_cubBudget = cubLeft;
    return fault;
}

// Replaces the fault of one operation and restarts its call count.
void Plat_SetFileFault(PlatFileOp eOp, const PlatFileFault& fault);
// No faults; every call count restarts.
void Plat_ClearFileFaults();
// Calls of the operation since its fault was set or cleared.
uint32_t Plat_FileFaultCalls(PlatFileOp eOp);

// Whether streams that Plat_CrtOpen opens while a fault is set read, write
// and seek through Plat_ReadFile, Plat_WriteFile and Plat_SeekFile, so that
// their faults reach the C runtime's buffering. Not where the runtime offers
// no streams of the caller's own (Windows).
bool Plat_FileFaultsReachStreams();

// The system calls behind the hook.
uint32_t PlatOs_CreateFile(const PlatWChar* pwszPath, uint32_t unAccess, uint32_t unShare,
                           uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile);
uint32_t PlatOs_ReadFile(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead,
                         uint32_t* pcubRead);
uint32_t PlatOs_ReadFileAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead,
                           uint64_t ulOffset, uint32_t* pcubRead);
uint32_t PlatOs_WriteFile(PlatFileHandle hFile, const void* pvData, uint32_t cubToWrite,
                          uint32_t* pcubWritten);
uint32_t PlatOs_SeekFile(PlatFileHandle hFile, int64_t lOffset, int nOrigin, uint64_t* pulNewPos);
uint32_t PlatOs_GetFileSize(PlatFileHandle hFile, uint64_t* pulSize);
uint32_t PlatOs_FlushFile(PlatFileHandle hFile);
uint32_t PlatOs_MoveFileReplace(const PlatWChar* pwszFrom, const PlatWChar* pwszTo);
uint32_t PlatOs_DeleteFile(const PlatWChar* pwszPath);
FILE* PlatOs_CrtOpen(const char* pszPath, const char* pszMode);
// The stream again, reading, writing and seeking through the Plat_ calls
// where the system allows it; null (the stream closed) when that fails.
FILE* PlatOs_FaultStream(FILE* pStream, const char* pszMode);

// Only the per-system files define this before including the header: their
// definitions then take the PlatOs_ names.
#ifdef PLAT_FILE_SYSTEM_SIDE
#define Plat_CreateFile PlatOs_CreateFile
#define Plat_ReadFile PlatOs_ReadFile
#define Plat_ReadFileAt PlatOs_ReadFileAt
#define Plat_WriteFile PlatOs_WriteFile
#define Plat_SeekFile PlatOs_SeekFile
#define Plat_GetFileSize PlatOs_GetFileSize
#define Plat_FlushFile PlatOs_FlushFile
#define Plat_MoveFileReplace PlatOs_MoveFileReplace
#define Plat_DeleteFile PlatOs_DeleteFile
#define Plat_CrtOpen PlatOs_CrtOpen
#endif

#endif // QUERN_FILE_FAULTS
