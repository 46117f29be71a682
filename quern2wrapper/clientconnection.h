// Finding the running platform client and loading its client library.
#pragma once

#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_registry.h"

#include <cstdint>

#define QUERN_ACTIVEPROCESS_KEY "Software\\Norra\\Quern\\ActiveProcess"

// Size of g_szClientDir and of the path buffers used to fill it.
constexpr int QUERN_CLIENT_PATH_SIZE = 1040;

// Folder of the client library as last found (no trailing separator).
extern char g_szClientDir[QUERN_CLIENT_PATH_SIZE];

// Module file names of the platform, ending with an empty entry. Only the
// first row, the client library, is loaded by this library.
extern const char* const ModuleNameTable[];

// "HKEY_LOCAL_MACHINE"/"HKLM", "HKEY_CURRENT_USER"/"HKCU",
// "HKEY_CLASSES_ROOT"/"HKCR" (any case); null for any other name.
PlatRegKey RegistryRootFromName(const char* pszRootName);
// Reads a text value in the 32-bit view, converted to UTF-8 into pszOut.
bool ReadRegistryString(const char* pszRootName, const char* pszKey, const char* pszValue,
                        char* pszOut, int nOutSize);
// Reads a 32-bit value in the 32-bit view; `nDefault` when it cannot be read.
uint32_t ReadRegistryDword(const char* pszRootName, const char* pszKey, const char* pszValue,
                           uint32_t nDefault);

// The process registered as the running client is alive.
bool QuernAPI_IsQuernRunning();
// Path of the client library from the registry (or the loaded module's file
// name); fills g_szClientDir with its folder. True only when the registry
// named it.
bool FindClientLibraryPath(char* pszOut, int nOutSize);
// LoadLibraryEx with the altered search path, wide first, then ANSI.
PlatModule Sys_LoadModule(const char* pszPath);
// Loads the client library into *phModule and asks its factory for
// `pszVersion`. Each failure is written to the debugger output as a
// "[Q_API FAIL]" line and answered with null.
void* QuernAPI_Init_Internal(PlatModule* phModule, bool bAllowLocal, const char* pszVersion);
