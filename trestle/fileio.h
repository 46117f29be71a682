// File access with path normalisation. Every UTF-8 path is made absolute,
// cleaned and turned into the wide long-path form before it reaches the
// operating system, so paths beyond the classic length limit work.
#pragma once

#include <atomic>
#include <cstdint>

#include "plinth/platform/platform_file.h"

class CUtlBuffer;

// Largest byte count handed to one system read or write.
#define FIO_MAX_IO_BYTES 0x40000000u

// Size of the prepared UTF-8 path buffer and of the converted wide part.
#define FIO_MAX_PATH_UTF8 0x1FFFC
#define FIO_MAX_PATH_WIDE_BYTES 0xFFFE

// An absolute, cleaned path and (built on first use) its wide form:
// "\\?\<path>", or "\\?\UNC\server\share..." for network paths.
class CPathString
{
public:
    explicit CPathString(const char* pchPath);
    // The prepared pchPath, a '\' unless it ends in one, then pchAppend as is
    // (a search pattern, for instance).
    CPathString(const char* pchPath, const char* pchAppend);
    ~CPathString();

    CPathString(const CPathString&) = delete;
    CPathString& operator=(const CPathString&) = delete;

    const char* GetUTF8Path() const { return m_pchUTF8Path; }
    // Empty when the path is not valid UTF-8 (or too long), so the system
    // call that receives it fails.
    const PlatWChar* GetWCharPath();

private:
    void Prepare(const char* pchPath);

    char* m_pchUTF8Path;
    PlatWChar* m_pwchWidePath;
};

// Plain file operations. Results are 0 or the operating-system error code.
// unAccess: 1 read, 2 write, 3 both. unShare: 0, 1 read, 2 write, 3 both,
// 7 also delete. unDisposition: 0 open existing, 1 open always, 2 create new,
// 3 create always. unFlags: the PLAT_FILE_FLAG_ bits.
uint32_t OpenFileHandle(const char* pchPath, uint32_t unAccess, uint32_t unShare,
                        uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile);
uint32_t CloseFileHandle(PlatFileHandle hFile);
uint32_t GetFileHandleSize(PlatFileHandle hFile, uint64_t* pulSize);
// Without pcubRead a short read fails with PLAT_ERROR_HANDLE_EOF.
uint32_t ReadFileHandle(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint32_t* pcubRead);
// Positioned read: cubToRead bytes at ulOffset; same short-read rule.
uint32_t ReadFileHandleAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint64_t ulOffset,
                          uint32_t* pcubRead);
// nOrigin: 0 begin, 1 current, 2 end.
uint32_t SeekFileHandle(PlatFileHandle hFile, int64_t lOffset, int nOrigin,
                        uint64_t* pulNewPos = nullptr);
// Writes everything (in pieces of at most FIO_MAX_IO_BYTES); stops early only
// when a system call writes nothing. *pcubWritten receives the total.
uint32_t WriteFileHandle(PlatFileHandle hFile, const void* pvData, uint64_t cubData,
                         uint64_t* pcubWritten);
uint32_t FlushFileHandle(PlatFileHandle hFile);

// True when the directory was created or already exists.
bool BCreateDirectory(const char* pchPath);
// True when the path has attributes (file or directory).
bool BFileExists(const char* pchPath);
bool BDirectoryExists(const char* pchPath);
// Creates every missing directory of pchPath, pchPath itself included.
bool CreateDirectories(const char* pchPath);
// Moves a file, replacing an existing target.
bool BMoveFileReplace(const char* pchFrom, const char* pchTo);
bool BDeleteFile(const char* pchPath);
// Bytes per sector of the drive that holds pchPath; 0 on failure.
uint32_t GetSectorSizeForPath(const char* pchPath);

// Reads up to cubMaxRead bytes (-1: all) from ulOffset into buf, NUL-terminated
// after the bytes; bText makes it a text buffer with CRLF line ends.
bool LoadFileIntoBuffer(const char* pchPath, uint64_t ulOffset, uint32_t cubMaxRead,
                        CUtlBuffer& buf, bool bText);

// Sequential reader with an optional read-ahead window or unbuffered I/O.
class CFileReader
{
public:
    explicit CFileReader(bool bUnbuffered = false, uint32_t unReadAheadChunkSize = 0);
    ~CFileReader();

    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    // unFlags: PLAT_FILE_FLAG_NO_ACCESS_TIME and PLAT_FILE_FLAG_SEQUENTIAL_SCAN.
    bool BOpenFile(const char* pchPath, uint32_t unFlags = 0);
    // Without pcubRead, false unless all cubData bytes were read.
    bool Read(void* pvData, uint32_t cubData, uint32_t* pcubRead = nullptr);
    // nOrigin: 0 begin, 1 current, 2 end.
    bool Seek(int64_t lOffset, int nOrigin);
    void Close();

    bool IsOpen() const { return m_hFile != PLAT_INVALID_FILE; }
    uint64_t GetPosition() const { return m_ulPosition; }
    bool GetFileSize(uint64_t* pulSize) const;
    bool IsUnbuffered() const { return m_bUnbuffered; }
    uint32_t GetSectorSize() const { return m_unSectorSize; }
    uint32_t GetChunkSize() const { return m_unChunkSize; }

private:
    bool ReadPiece(uint8_t* pubDest, uint32_t cubToRead, uint32_t* pcubRead);
    void EmptyWindow()
    {
        m_ulWindowStart = 0;
        m_cubWindow = 0;
    }

    PlatFileHandle m_hFile;
    uint64_t m_ulPosition;
    uint32_t m_unChunkSize;
    uint64_t m_ulWindowStart;
    uint32_t m_cubWindow;
    uint8_t* m_pubReadAhead;
    bool m_bUnbuffered;
    uint32_t m_unSectorSize;
};

// Writes a file directly, or (asynchronous) through the process's one
// background writer thread.
class CFileWriter
{
public:
    explicit CFileWriter(bool bAsync = false);
    ~CFileWriter();

    CFileWriter(const CFileWriter&) = delete;
    CFileWriter& operator=(const CFileWriter&) = delete;

    // Creates missing directories; bAppend keeps an existing file and writes
    // at its end.
    bool Open(const char* pchPath, bool bAppend = false);
    bool Write(const void* pvData, uint32_t cubData);
    // Asynchronous writers that are not open: has the writer thread write the
    // bytes as the whole new content of pchTargetPath (through a temporary
    // file beside it, then moved over it). Flush waits for it.
    bool WriteFileAsync(const char* pchTargetPath, const void* pvData, uint32_t cubData,
                        bool bFlushToDisk = false);
    // Waits for queued bytes, then flushes the system's buffers.
    bool Flush();
    void Close();

    bool IsOpen() const { return m_hFile != PLAT_INVALID_FILE; }
    bool IsAsync() const { return m_bAsync; }
    // A write (synchronous or queued) failed since Open.
    bool BFailed() const { return m_bFailed.load(); }
    uint64_t GetBytesWritten() const { return m_cubWritten; }
    int32_t GetBytesOutstanding() const { return m_cubOutstanding.load(); }
    const char* GetFileName() const { return m_szFileName; }
    PlatFileHandle GetHandle() const { return m_hFile; }

private:
    friend class CFileWriterThread;
    void WaitForOutstanding();

    PlatFileHandle m_hFile;
    uint64_t m_cubWritten;
    std::atomic<int32_t> m_cubOutstanding;
    bool m_bAsync;
    std::atomic<bool> m_bFailed;
    char m_szFileName[64];
};

// The background writer thread: false while it is not running.
bool FileWriterThread_IsRunning();
// Asks the thread to end once its queue is empty (it starts again on demand).
void FileWriterThread_StopWhenIdle();

// Iterates the entries of one directory matching a wildcard pattern,
// skipping "." and "..".
class CDirIterator
{
public:
    CDirIterator(const char* pchDirectory, const char* pchPattern);
    ~CDirIterator();

    CDirIterator(const CDirIterator&) = delete;
    CDirIterator& operator=(const CDirIterator&) = delete;

    bool BNext();
    const char* CurrentFileName() const { return m_szCurrentName; }
    bool BCurrentIsDir() const;
    uint64_t CurrentFileSize() const;

private:
    bool BFetchName();

    PlatFindHandle m_hFind;
    PlatFindData* m_pFindData;
    char m_szCurrentName[1040];
    bool m_bDone;
    bool m_bFirstPending;
};
