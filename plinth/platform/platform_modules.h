// Loadable modules: load, look up, name, resolve and release.
//
// Paths are UTF-8. The "W" calls convert to UTF-16 and use the wide system
// call; they answer null when the text is not valid UTF-8, so callers can go
// on with the "A" call, which passes the bytes unchanged (ANSI code page on
// Windows). On POSIX both map to dlopen/dlsym/dlclose and the file names are
// kept as on Windows (the client stand-in is an ELF object named
// "quernclient.dll").
#pragma once

#include <cstdint>

typedef struct PlatModule_s* PlatModule;

// LoadLibraryW / LoadLibraryA.
PlatModule Plat_LoadLibraryW(const char* pszPath);
PlatModule Plat_LoadLibraryA(const char* pszPath);
// LoadLibraryExW / LoadLibraryExA with no file handle; `bAlteredSearchPath`
// adds LOAD_WITH_ALTERED_SEARCH_PATH (POSIX: same as the plain load).
PlatModule Plat_LoadLibraryExW(const char* pszPath, bool bAlteredSearchPath);
PlatModule Plat_LoadLibraryExA(const char* pszPath, bool bAlteredSearchPath);
// GetModuleHandleW / GetModuleHandleA: only modules already loaded, no new
// reference. A null name is the executable. POSIX: dlopen with RTLD_NOLOAD
// (the reference it takes is dropped again at once).
PlatModule Plat_GetModuleHandleW(const char* pszName);
PlatModule Plat_GetModuleHandleA(const char* pszName);

// GetModuleFileNameW: writes the file name as UTF-16 into `pBuffer` (cchBuffer
// units) and returns the reported length, like Windows: the length without
// terminator when it fits, cchBuffer when it was cut (the text is then cut and
// terminated), 0 on failure. A null module is the executable.
uint32_t Plat_GetModuleFileNameW(PlatModule hModule, char16_t* pBuffer, uint32_t cchBuffer);
// The same name as UTF-8 into `pszOut` (nOutSize bytes, always terminated when
// nOutSize > 0). Returns the UTF-8 length, or 0 when the name is unknown or
// does not fit.
uint32_t Plat_GetModuleFileNameUtf8(PlatModule hModule, char* pszOut, uint32_t nOutSize);

// GetProcAddress.
void* Plat_GetProcAddress(PlatModule hModule, const char* pszName);
// FreeLibrary; false on failure or a null module.
bool Plat_FreeLibrary(PlatModule hModule);
