// Shared between the fileio sources; not for other users.
#pragma once

#include <cstdint>

class CFileWriter;

// Source name in assertion messages.
#define FILEIO_SOURCE "fileio"

// Writer-thread side of CFileWriter (fileio_writerthread.cpp).
void FileWriterThread_RegisterWriter(CFileWriter* pWriter);
void FileWriterThread_UnregisterWriter(CFileWriter* pWriter);
bool FileWriterThread_IsRegistered(CFileWriter* pWriter);
// Queues a copy of the bytes; with pchTargetFile the writer must be closed and
// the bytes become that file's content. False when refused.
bool FileWriterThread_QueueWrite(CFileWriter* pWriter, const void* pvData, uint32_t cubData,
                                 const char* pchTargetFile, bool bFlush);
// False once the thread has been shut down at process exit.
bool FileWriterThread_IsAvailable();
// Makes sure the thread runs (it ends when no writer is registered).
void FileWriterThread_EnsureRunning();
