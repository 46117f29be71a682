// Pieces of the crash-dump writer that tests reach directly.
#pragma once

#include <cstddef>
#include <cstdint>

class IFaultSink;

// Builds the crash-handler module path from the path of the module it sits
// beside: "faultsink.dll" after the last separator, one directory up when
// that directory is "bin" (any case); '/' becomes '\'. At most nOutSize - 1
// characters are kept.
void DumpSink_BuildModulePath(const char* pszNextTo, char* pszOut, size_t nOutSize);
// Lower-cased base name of an executable path, cut at its first '.'.
void DumpSink_ExecutableBaseName(const char* pszExePath, char* pszOut, size_t nOutSize);
// The build id text from compiler date and time texts ("Dec  8 2026",
// "18:56:49" -> "20261208185649"). pszOut holds at least 15 characters.
void DumpSink_FormatBuildId(const char* pszDate, const char* pszTime, char* pszOut);

// Loads the crash-handler module on the first call; later calls answer the
// stored outcome (whether a sink was obtained).
bool DumpSink_Load();
IFaultSink* DumpSink_Get();
// The sink's info record, read once at load (may be null).
const struct FaultSinkInfo_t* DumpSink_Info();
// The module path of the last load attempt ("" before it).
const char* DumpSink_ModulePath();
// The cached texts handed to the sink (filled on first use).
const char* DumpSink_AppName();
const char* DumpSink_AssertVersion();
const char* DumpSink_ExceptionVersion();
const char* DumpSink_BuildId();

// For tests: forget the module and the caches so the next dump loads again,
// as if the host executable were pszHostPath (null: the real one). The old
// module stays loaded.
void DumpSink_ResetForTests(const char* pszHostPath);
// For tests: the time of the last assertion dump (seconds since 1970).
void MinidumpSetLastAssertDumpTime(uint32_t nSeconds);
uint32_t MinidumpGetLastAssertDumpTime();

// The dump writers under WriteDumpOnAssert and the exception guard.
void WriteAssertDump(const char* pszMessage, const char* pszFile, int line, bool bDump);
void WriteExceptionDump(uint32_t nExceptionCode, void* pExceptionPointers);
