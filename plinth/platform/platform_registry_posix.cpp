// Registry stand-in: a text file named by QUERN_REGISTRY (format in the
// header), read afresh by every open and query, rewritten by every write.
#include "plinth/platform/platform_registry.h"
#include "plinth/platform/platform_env_unicode.h"
#include "plinth/platform/registryfile_posix.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace
{
const uint32_t kKeyMagic = 0x5245474Bu;

struct RegKeyRecord
{
    uint32_t m_magic;
    int m_root;
    std::string m_path;
    bool m_bView32;
    bool m_bPredefined;
    uint32_t m_access;
};

RegKeyRecord g_RootKeys[3] = {
    {kKeyMagic, PLAT_HKEY_LOCAL_MACHINE, std::string(), false, true, PLAT_KEY_ALL_ACCESS},
    {kKeyMagic, PLAT_HKEY_CURRENT_USER, std::string(), false, true, PLAT_KEY_ALL_ACCESS},
    {kKeyMagic, PLAT_HKEY_CLASSES_ROOT, std::string(), false, true, PLAT_KEY_ALL_ACCESS},
};

// Writers rewrite the file; keep them from interleaving within the process.
std::mutex g_RegistryFileMutex;

RegKeyRecord* KeyOf(PlatRegKey hKey)
{
    RegKeyRecord* pKey = reinterpret_cast<RegKeyRecord*>(hKey);
    if (!pKey || pKey->m_magic != kKeyMagic) return nullptr;
    return pKey;
}

// `path` lies strictly below `parent`.
bool IsBelow(const std::string& path, const std::string& parent)
{
    if (parent.empty()) return !path.empty();
    return path.size() > parent.size() && path[parent.size()] == '\\' &&
           Reg_EqualNoCase(path.substr(0, parent.size()), parent);
}

std::string JoinPath(const std::string& parent, const char* pszSub)
{
    std::string sub = Reg_TrimSlashes(pszSub ? pszSub : "");
    if (parent.empty()) return sub;
    if (sub.empty()) return parent;
    return parent + "\\" + sub;
}

bool SectionVisible(const RegSection& section, int root, bool bView32)
{
    return section.m_root == root && (!section.m_b32Only || bView32);
}

bool KeyExists(const std::vector<RegSection>& sections, int root, const std::string& path,
               bool bView32)
{
    if (path.empty()) return true;
    for (const RegSection& section : sections)
    {
        if (SectionVisible(section, root, bView32) &&
            (Reg_EqualNoCase(section.m_path, path) || IsBelow(section.m_path, path)))
            return true;
    }
    return false;
}

// The value as the key sees it: 32-bit-only sections win in the 32-bit view.
const RegValue* FindValue(const std::vector<RegSection>& sections, const RegKeyRecord& key,
                          const char* pszName)
{
    std::string name = pszName ? pszName : "";
    const RegValue* pFound = nullptr;
    for (const RegSection& section : sections)
    {
        if (!SectionVisible(section, key.m_root, key.m_bView32) ||
            !Reg_EqualNoCase(section.m_path, key.m_path))
            continue;
        for (const RegValue& value : section.m_values)
        {
            if (Reg_EqualNoCase(value.m_name, name) && (!pFound || section.m_b32Only))
                pFound = &value;
        }
    }
    return pFound;
}

bool ViewIs32(uint32_t access)
{
    return (access & PLAT_KEY_WOW64_32KEY) != 0;
}

long OpenKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey)
{
    if (!phKey) return PLAT_ERROR_INVALID_PARAMETER;
    *phKey = nullptr;
    RegKeyRecord* pParent = KeyOf(hRoot);
    if (!pParent) return PLAT_ERROR_INVALID_HANDLE;
    bool bView32 = ViewIs32(access) || (!pParent->m_bPredefined && pParent->m_bView32);
    std::string path = JoinPath(pParent->m_path, pszSubKey);
    std::vector<RegSection> sections;
    {
        std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
        sections = Reg_LoadFile();
    }
    if (!KeyExists(sections, pParent->m_root, path, bView32)) return PLAT_ERROR_FILE_NOT_FOUND;
    *phKey = reinterpret_cast<PlatRegKey>(
        new RegKeyRecord{kKeyMagic, pParent->m_root, path, bView32, false, access});
    return PLAT_ERROR_SUCCESS;
}

// Copies `data` (cbData bytes) out with RegQueryValueEx's size rules.
long CopyOut(uint32_t type, const void* pSource, uint32_t cbSource, uint32_t* pType, void* pData,
             uint32_t* pcbData)
{
    if (pData && !pcbData) return PLAT_ERROR_INVALID_PARAMETER;
    if (pType) *pType = type;
    if (!pcbData) return PLAT_ERROR_SUCCESS;
    uint32_t cbOffered = *pcbData;
    *pcbData = cbSource;
    if (!pData) return PLAT_ERROR_SUCCESS;
    if (cbOffered < cbSource) return PLAT_ERROR_MORE_DATA;
    memcpy(pData, pSource, cbSource);
    return PLAT_ERROR_SUCCESS;
}

bool IsText(uint32_t type)
{
    return type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ;
}

long QueryWide(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
               uint32_t* pcbData)
{
    RegKeyRecord* pKey = KeyOf(hKey);
    if (!pKey) return PLAT_ERROR_INVALID_HANDLE;
    if (!(pKey->m_access & PLAT_KEY_QUERY_VALUE)) return PLAT_ERROR_ACCESS_DENIED;
    std::vector<RegSection> sections;
    {
        std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
        sections = Reg_LoadFile();
    }
    if (!KeyExists(sections, pKey->m_root, pKey->m_path, pKey->m_bView32))
        return PLAT_ERROR_FILE_NOT_FOUND;
    const RegValue* pValue = FindValue(sections, *pKey, pszName);
    if (!pValue) return PLAT_ERROR_FILE_NOT_FOUND;
    if (!IsText(pValue->m_type))
        return CopyOut(pValue->m_type, pValue->m_data.data(), (uint32_t)pValue->m_data.size(),
                       pType, pData, pcbData);
    // Text is stored as UTF-16 with its terminator, as the system stores it.
    std::u16string wide;
    char16_t* pWide = Plat_Utf8ToUtf16Alloc(pValue->m_data.c_str());
    if (pWide)
    {
        wide = pWide;
        Plat_FreeConverted(pWide);
    }
    else
    {
        for (char c : pValue->m_data)
            wide += (char16_t)(unsigned char)c;
    }
    return CopyOut(pValue->m_type, wide.c_str(), (uint32_t)((wide.size() + 1) * 2), pType, pData,
                   pcbData);
}
} // namespace

PlatRegKey Plat_RegRootKey(PlatRegRoot root)
{
    if ((int)root < 0 || (int)root > 2) return nullptr;
    return reinterpret_cast<PlatRegKey>(&g_RootKeys[root]);
}

long Plat_RegOpenKeyW(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey)
{
    if (pszSubKey && Plat_Utf8ToUtf16(pszSubKey, nullptr, 0) <= 0)
    {
        if (phKey) *phKey = nullptr;
        return PLAT_ERROR_INVALID_PARAMETER;
    }
    return OpenKey(hRoot, pszSubKey, access, phKey);
}

long Plat_RegOpenKeyA(PlatRegKey hRoot, const char* pszSubKey, uint32_t access, PlatRegKey* phKey)
{
    return OpenKey(hRoot, pszSubKey, access, phKey);
}

long Plat_RegQueryValueW(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
                         uint32_t* pcbData)
{
    if (pszName && Plat_Utf8ToUtf16(pszName, nullptr, 0) <= 0) return PLAT_ERROR_INVALID_PARAMETER;
    return QueryWide(hKey, pszName, pType, pData, pcbData);
}

long Plat_RegQueryValueAnsiNameW(PlatRegKey hKey, const char* pszAnsiName, uint32_t* pType,
                                 void* pData, uint32_t* pcbData)
{
    if (pszAnsiName &&
        (strlen(pszAnsiName) >= 512 || Plat_Utf8ToUtf16(pszAnsiName, nullptr, 0) <= 0))
        return PLAT_ERROR_INVALID_PARAMETER;
    return QueryWide(hKey, pszAnsiName, pType, pData, pcbData);
}

long Plat_RegQueryValueA(PlatRegKey hKey, const char* pszName, uint32_t* pType, void* pData,
                         uint32_t* pcbData)
{
    RegKeyRecord* pKey = KeyOf(hKey);
    if (!pKey) return PLAT_ERROR_INVALID_HANDLE;
    if (!(pKey->m_access & PLAT_KEY_QUERY_VALUE)) return PLAT_ERROR_ACCESS_DENIED;
    std::vector<RegSection> sections;
    {
        std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
        sections = Reg_LoadFile();
    }
    if (!KeyExists(sections, pKey->m_root, pKey->m_path, pKey->m_bView32))
        return PLAT_ERROR_FILE_NOT_FOUND;
    const RegValue* pValue = FindValue(sections, *pKey, pszName);
    if (!pValue) return PLAT_ERROR_FILE_NOT_FOUND;
    uint32_t cb = (uint32_t)pValue->m_data.size() + (IsText(pValue->m_type) ? 1 : 0);
    return CopyOut(pValue->m_type, pValue->m_data.c_str(), cb, pType, pData, pcbData);
}

long Plat_RegCloseKey(PlatRegKey hKey)
{
    RegKeyRecord* pKey = KeyOf(hKey);
    if (!pKey) return PLAT_ERROR_INVALID_HANDLE;
    if (!pKey->m_bPredefined)
    {
        pKey->m_magic = 0;
        delete pKey;
    }
    return PLAT_ERROR_SUCCESS;
}

long Plat_RegCreateKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view, PlatRegKey* phKey)
{
    if (!phKey) return PLAT_ERROR_INVALID_PARAMETER;
    *phKey = nullptr;
    RegKeyRecord* pParent = KeyOf(hRoot);
    if (!pParent) return PLAT_ERROR_INVALID_HANDLE;
    bool bView32 = ViewIs32(view) || (!pParent->m_bPredefined && pParent->m_bView32);
    std::string path = JoinPath(pParent->m_path, pszSubKey);
    std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
    if (!Reg_FileName()) return PLAT_ERROR_ACCESS_DENIED;
    std::vector<RegSection> sections = Reg_LoadFile();
    if (!path.empty() && !KeyExists(sections, pParent->m_root, path, bView32))
    {
        RegSection section;
        section.m_root = pParent->m_root;
        section.m_path = path;
        section.m_b32Only = bView32;
        sections.push_back(section);
        if (!Reg_SaveFile(sections)) return PLAT_ERROR_ACCESS_DENIED;
    }
    *phKey = reinterpret_cast<PlatRegKey>(
        new RegKeyRecord{kKeyMagic, pParent->m_root, path, bView32, false, PLAT_KEY_ALL_ACCESS});
    return PLAT_ERROR_SUCCESS;
}

static long SetValue(PlatRegKey hKey, const char* pszName, uint32_t type, const std::string& data)
{
    RegKeyRecord* pKey = KeyOf(hKey);
    if (!pKey) return PLAT_ERROR_INVALID_HANDLE;
    if (pKey->m_bPredefined || !(pKey->m_access & PLAT_KEY_SET_VALUE))
        return PLAT_ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
    if (!Reg_FileName()) return PLAT_ERROR_ACCESS_DENIED;
    std::vector<RegSection> sections = Reg_LoadFile();
    RegSection* pTarget = nullptr;
    for (RegSection& section : sections)
    {
        if (section.m_root == pKey->m_root && section.m_b32Only == pKey->m_bView32 &&
            Reg_EqualNoCase(section.m_path, pKey->m_path))
            pTarget = &section;
    }
    if (!pTarget)
    {
        RegSection section;
        section.m_root = pKey->m_root;
        section.m_path = pKey->m_path;
        section.m_b32Only = pKey->m_bView32;
        sections.push_back(section);
        pTarget = &sections.back();
    }
    std::string name = pszName ? pszName : "";
    RegValue* pValue = nullptr;
    for (RegValue& value : pTarget->m_values)
    {
        if (Reg_EqualNoCase(value.m_name, name)) pValue = &value;
    }
    if (!pValue)
    {
        pTarget->m_values.push_back(RegValue{name, type, data});
        pValue = &pTarget->m_values.back();
    }
    pValue->m_type = type;
    pValue->m_data = data;
    return Reg_SaveFile(sections) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_ACCESS_DENIED;
}

long Plat_RegSetValueDword(PlatRegKey hKey, const char* pszName, uint32_t value)
{
    return SetValue(hKey, pszName, PLAT_REG_DWORD,
                    std::string(reinterpret_cast<const char*>(&value), 4));
}

long Plat_RegSetValueString(PlatRegKey hKey, const char* pszName, const char* pszValue)
{
    return SetValue(hKey, pszName, PLAT_REG_SZ, pszValue ? pszValue : "");
}

long Plat_RegDeleteValue(PlatRegKey hKey, const char* pszName)
{
    RegKeyRecord* pKey = KeyOf(hKey);
    if (!pKey) return PLAT_ERROR_INVALID_HANDLE;
    if (!(pKey->m_access & PLAT_KEY_SET_VALUE)) return PLAT_ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
    std::vector<RegSection> sections = Reg_LoadFile();
    std::string name = pszName ? pszName : "";
    bool bFound = false;
    for (RegSection& section : sections)
    {
        if (section.m_root != pKey->m_root || section.m_b32Only != pKey->m_bView32 ||
            !Reg_EqualNoCase(section.m_path, pKey->m_path))
            continue;
        for (size_t i = 0; i < section.m_values.size(); ++i)
        {
            if (Reg_EqualNoCase(section.m_values[i].m_name, name))
            {
                section.m_values.erase(section.m_values.begin() + (long)i);
                bFound = true;
                break;
            }
        }
    }
    if (!bFound) return PLAT_ERROR_FILE_NOT_FOUND;
    return Reg_SaveFile(sections) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_ACCESS_DENIED;
}

long Plat_RegDeleteKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view)
{
    RegKeyRecord* pParent = KeyOf(hRoot);
    if (!pParent) return PLAT_ERROR_INVALID_HANDLE;
    bool bView32 = ViewIs32(view) || (!pParent->m_bPredefined && pParent->m_bView32);
    std::string path = JoinPath(pParent->m_path, pszSubKey);
    if (path.empty()) return PLAT_ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
    std::vector<RegSection> sections = Reg_LoadFile();
    if (!KeyExists(sections, pParent->m_root, path, bView32)) return PLAT_ERROR_FILE_NOT_FOUND;
    // Like the system call, a key with subkeys stays.
    for (const RegSection& section : sections)
    {
        if (SectionVisible(section, pParent->m_root, bView32) && IsBelow(section.m_path, path))
            return PLAT_ERROR_ACCESS_DENIED;
    }
    std::vector<RegSection> kept;
    for (const RegSection& section : sections)
    {
        if (!(section.m_root == pParent->m_root && section.m_b32Only == bView32 &&
              Reg_EqualNoCase(section.m_path, path)))
            kept.push_back(section);
    }
    if (kept.size() == sections.size()) return PLAT_ERROR_FILE_NOT_FOUND;
    return Reg_SaveFile(kept) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_ACCESS_DENIED;
}
