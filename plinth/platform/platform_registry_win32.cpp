// Registry over advapi32.
#include "plinth/platform/platform_registry.h"
#include "plinth/platform/win32_support.h"

#include <windows.h>

namespace
{
HKEY H(PlatRegKey hKey)
{
    return reinterpret_cast<HKEY>(hKey);
}

LPDWORD D(uint32_t* p)
{
    static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32 bits");
    return reinterpret_cast<LPDWORD>(p);
}
} // namespace

PlatRegKey Plat_RegRootKey(PlatRegRoot root)
{
    switch (root)
    {
    case PLAT_HKEY_LOCAL_MACHINE:
        return reinterpret_cast<PlatRegKey>(HKEY_LOCAL_MACHINE);
    case PLAT_HKEY_CURRENT_USER:
        return reinterpret_cast<PlatRegKey>(HKEY_CURRENT_USER);
    case PLAT_HKEY_CLASSES_ROOT:
        return reinterpret_cast<PlatRegKey>(HKEY_CLASSES_ROOT);
    }
    return nullptr;
}

long Plat_RegOpenKeyW(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey)
{
    if (!phKey) return ERROR_INVALID_PARAMETER;
    *phKey = nullptr;
    if (!hRoot) return ERROR_INVALID_HANDLE;
    WideText subKey(pszSubKey);
    if (subKey.Failed()) return ERROR_INVALID_PARAMETER;
    HKEY hKey = nullptr;
    LONG rc = RegOpenKeyExW(H(hRoot), subKey.Get(), 0, access, &hKey);
    if (rc == ERROR_SUCCESS) *phKey = reinterpret_cast<PlatRegKey>(hKey);
    return rc;
}

long Plat_RegOpenKeyA(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey)
{
    if (!phKey) return ERROR_INVALID_PARAMETER;
    *phKey = nullptr;
    if (!hRoot) return ERROR_INVALID_HANDLE;
    HKEY hKey = nullptr;
    LONG rc = RegOpenKeyExA(H(hRoot), pszSubKey, 0, access, &hKey);
    if (rc == ERROR_SUCCESS) *phKey = reinterpret_cast<PlatRegKey>(hKey);
    return rc;
}

long Plat_RegQueryValueW(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
                         uint32_t* pcbData)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    WideText name(pszName);
    if (name.Failed()) return ERROR_INVALID_PARAMETER;
    return RegQueryValueExW(H(hKey), name.Get(), nullptr, D(pType), static_cast<LPBYTE>(pData),
                            D(pcbData));
}

long Plat_RegQueryValueAnsiNameW(PlatRegKey hKey, const char* pszAnsiName, uint32_t* pType,
                                 void* pData, uint32_t* pcbData)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    wchar_t szName[512];
    const wchar_t* pName = nullptr;
    if (pszAnsiName)
    {
        if (MultiByteToWideChar(CP_ACP, 0, pszAnsiName, -1, szName, 512) <= 0)
            return ERROR_INVALID_PARAMETER;
        pName = szName;
    }
    return RegQueryValueExW(H(hKey), pName, nullptr, D(pType), static_cast<LPBYTE>(pData),
                            D(pcbData));
}

long Plat_RegQueryValueA(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
                         uint32_t* pcbData)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    return RegQueryValueExA(H(hKey), pszName, nullptr, D(pType), static_cast<LPBYTE>(pData),
                            D(pcbData));
}

long Plat_RegCloseKey(PlatRegKey hKey)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    return RegCloseKey(H(hKey));
}

long Plat_RegCreateKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view, PlatRegKey* phKey)
{
    if (!phKey) return ERROR_INVALID_PARAMETER;
    *phKey = nullptr;
    if (!hRoot) return ERROR_INVALID_HANDLE;
    WideText subKey(pszSubKey ? pszSubKey : "");
    if (!subKey.Get()) return ERROR_INVALID_PARAMETER;
    HKEY hKey = nullptr;
    LONG rc = RegCreateKeyExW(H(hRoot), subKey.Get(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | (view & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)),
                              nullptr, &hKey, nullptr);
    if (rc == ERROR_SUCCESS) *phKey = reinterpret_cast<PlatRegKey>(hKey);
    return rc;
}

long Plat_RegSetValueDword(PlatRegKey hKey, const char* pszName, uint32_t value)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    WideText name(pszName);
    if (name.Failed()) return ERROR_INVALID_PARAMETER;
    DWORD v = value;
    return RegSetValueExW(H(hKey), name.Get(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                          sizeof(v));
}

long Plat_RegSetValueString(PlatRegKey hKey, const char* pszName, const char* pszValue)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    WideText name(pszName);
    WideText value(pszValue ? pszValue : "");
    if (name.Failed() || !value.Get()) return ERROR_INVALID_PARAMETER;
    DWORD cch = 0;
    while (value.Get()[cch])
        ++cch;
    return RegSetValueExW(H(hKey), name.Get(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.Get()), (cch + 1) * sizeof(wchar_t));
}

long Plat_RegDeleteValue(PlatRegKey hKey, const char* pszName)
{
    if (!hKey) return ERROR_INVALID_HANDLE;
    WideText name(pszName);
    if (name.Failed()) return ERROR_INVALID_PARAMETER;
    return RegDeleteValueW(H(hKey), name.Get());
}

long Plat_RegDeleteKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view)
{
    if (!hRoot) return ERROR_INVALID_HANDLE;
    WideText subKey(pszSubKey);
    if (!subKey.Get()) return ERROR_INVALID_PARAMETER;
    return RegDeleteKeyExW(H(hRoot), subKey.Get(), view & (KEY_WOW64_32KEY | KEY_WOW64_64KEY), 0);
}
