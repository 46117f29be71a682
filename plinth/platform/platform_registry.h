// Registry access with Windows semantics and Windows error codes.
//
// Keys and names are UTF-8 (the "A" calls pass ANSI bytes unchanged on
// Windows). Text data of the "W" query comes back as UTF-16 units, as Windows
// returns it; the "A" query returns bytes.
//
// POSIX stand-in: the registry is the text file named by QUERN_REGISTRY,
// re-read at every open and rewritten by the write calls. A missing variable
// or file means every key is missing. Format, one item per line:
//
//   ; comment (also lines starting with '#'; blank lines are skipped)
//   [HKCU\Software\Norra\Quern\ActiveProcess]
//   "pid"=dword:0000abcd
//   "QuernClientDll"="/path/quernclient.dll"
//   [HKLM\Software\Norra\Quern]
//   "InstallPath"="/opt/quern"
//
// Roots: HKLM / HKEY_LOCAL_MACHINE, HKCU / HKEY_CURRENT_USER, HKCR /
// HKEY_CLASSES_ROOT. Key paths and value names compare without ASCII case.
// Inside quoted text, \\ and \" stand for \ and " (other backslashes are
// kept as they are). Value kinds: "text" (REG_SZ), dword:<hex> (REG_DWORD),
// expand:"text" (REG_EXPAND_SZ), hex:<bytes as hex pairs> (REG_BINARY).
// @= names the default value. A section header followed by " (32)", as in
// "[HKLM\Software\Norra\Quern] (32)", is seen only through the 32-bit view;
// without it both views see the key. Parents of a key exist implicitly. The
// write calls rewrite the whole file (comments are not kept).
#pragma once

#include "plinth/platform/platform_error.h"

#include <cstdint>

typedef struct PlatRegKey_s* PlatRegKey;

// Access rights and views (Windows values).
enum : uint32_t
{
    PLAT_KEY_QUERY_VALUE = 0x0001,
    PLAT_KEY_SET_VALUE = 0x0002,
    PLAT_KEY_CREATE_SUB_KEY = 0x0004,
    PLAT_KEY_WOW64_64KEY = 0x0100,
    PLAT_KEY_WOW64_32KEY = 0x0200,
    PLAT_KEY_READ = 0x20019,
    PLAT_KEY_WRITE = 0x20006,
    PLAT_KEY_ALL_ACCESS = 0xF003F,
};

// Value types (Windows values).
enum : uint32_t
{
    PLAT_REG_NONE = 0,
    PLAT_REG_SZ = 1,
    PLAT_REG_EXPAND_SZ = 2,
    PLAT_REG_BINARY = 3,
    PLAT_REG_DWORD = 4,
};

enum PlatRegRoot
{
    PLAT_HKEY_LOCAL_MACHINE = 0,
    PLAT_HKEY_CURRENT_USER = 1,
    PLAT_HKEY_CLASSES_ROOT = 2,
};

// The predefined root key; it needs no close (closing it is harmless).
PlatRegKey Plat_RegRootKey(PlatRegRoot root);

// RegOpenKeyExW (path converted to UTF-16; 87 when it is not valid UTF-8) /
// RegOpenKeyExA. A null root answers 6. *phKey is null on failure.
long Plat_RegOpenKeyW(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey);
long Plat_RegOpenKeyA(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey);

// RegQueryValueExW with the name converted from UTF-8. Semantics as Windows:
// pType / pData / pcbData may be null; with pData null only type and size are
// reported; a buffer too small answers 234 with *pcbData set to the size
// needed. Text values are UTF-16 including their terminator when stored with
// one.
long Plat_RegQueryValueW(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
                         uint32_t* pcbData);
// The same with the name converted from the ANSI code page (at most 512
// characters; 87 when the conversion fails). POSIX: the name is UTF-8.
long Plat_RegQueryValueAnsiNameW(PlatRegKey hKey, const char* pszAnsiName, uint32_t* pType,
                                 void* pData, uint32_t* pcbData);
// RegQueryValueExA: text values come back as bytes with a terminator.
long Plat_RegQueryValueA(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
                         uint32_t* pcbData);

// RegCloseKey; a null key answers 6.
long Plat_RegCloseKey(PlatRegKey hKey);

// Writing (tests and the demo). `view` is 0, PLAT_KEY_WOW64_32KEY or
// PLAT_KEY_WOW64_64KEY. RegCreateKeyExW with KEY_ALL_ACCESS | view; parents
// are created as needed.
long Plat_RegCreateKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view, PlatRegKey* phKey);
// RegSetValueExW: a REG_DWORD value / a REG_SZ value (stored as UTF-16 with
// its terminator on Windows).
long Plat_RegSetValueDword(PlatRegKey hKey, const char* pszName, uint32_t value);
long Plat_RegSetValueString(PlatRegKey hKey, const char* pszName, const char* pszValue);
// RegDeleteValueW.
long Plat_RegDeleteValue(PlatRegKey hKey, const char* pszName);
// RegDeleteKeyExW: deletes a key without subkeys (2 when missing).
long Plat_RegDeleteKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view);
