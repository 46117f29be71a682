// Registry stand-in: a text file named by QUERN_REGISTRY (format in the
// header), read afresh by every open and query, rewritten by every write.
#include "plinth/platform_registry.h"
#include "plinth/platform_env_unicode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace
{
struct RegValue
{
    std::string m_name;
    uint32_t m_type;
    std::string m_data; // text without terminator, or raw bytes
};

struct RegSection
{
    int m_root;
    std::string m_path; // no leading or trailing backslash
    bool m_b32Only;
    std::vector<RegValue> m_values;
};

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

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// `path` lies strictly below `parent`.
bool IsBelow(const std::string& path, const std::string& parent)
{
    if (parent.empty()) return !path.empty();
    return path.size() > parent.size() && path[parent.size()] == '\\' &&
           EqualNoCase(path.substr(0, parent.size()), parent);
}

std::string TrimSlashes(const std::string& path)
{
    size_t begin = 0, end = path.size();
    while (begin < end && path[begin] == '\\')
        ++begin;
    while (end > begin && path[end - 1] == '\\')
        --end;
    return path.substr(begin, end - begin);
}

std::string JoinPath(const std::string& parent, const char* pszSub)
{
    std::string sub = TrimSlashes(pszSub ? pszSub : "");
    if (parent.empty()) return sub;
    if (sub.empty()) return parent;
    return parent + "\\" + sub;
}

int RootFromName(const std::string& name)
{
    if (EqualNoCase(name, "HKLM") || EqualNoCase(name, "HKEY_LOCAL_MACHINE"))
        return PLAT_HKEY_LOCAL_MACHINE;
    if (EqualNoCase(name, "HKCU") || EqualNoCase(name, "HKEY_CURRENT_USER"))
        return PLAT_HKEY_CURRENT_USER;
    if (EqualNoCase(name, "HKCR") || EqualNoCase(name, "HKEY_CLASSES_ROOT"))
        return PLAT_HKEY_CLASSES_ROOT;
    return -1;
}

const char* const kRootNames[3] = {"HKLM", "HKCU", "HKCR"};

// Reads a quoted text starting at p (on the opening quote); p ends after the
// closing quote. False when unterminated.
bool ParseQuoted(const char*& p, std::string& out)
{
    if (*p != '"') return false;
    ++p;
    out.clear();
    while (*p && *p != '"')
    {
        if (*p == '\\' && (p[1] == '\\' || p[1] == '"')) ++p;
        out += *p++;
    }
    if (*p != '"') return false;
    ++p;
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool StartsWithNoCase(const char* p, const char* prefix)
{
    for (; *prefix; ++p, ++prefix)
    {
        if (LowerAscii(*p) != LowerAscii(*prefix)) return false;
    }
    return true;
}

bool ParseValueLine(const char* p, RegValue& value)
{
    if (*p == '@')
    {
        value.m_name.clear();
        ++p;
    }
    else if (!ParseQuoted(p, value.m_name))
        return false;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p++ != '=') return false;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '"')
    {
        value.m_type = PLAT_REG_SZ;
        return ParseQuoted(p, value.m_data);
    }
    if (StartsWithNoCase(p, "expand:"))
    {
        p += 7;
        value.m_type = PLAT_REG_EXPAND_SZ;
        return ParseQuoted(p, value.m_data);
    }
    if (StartsWithNoCase(p, "dword:"))
    {
        p += 6;
        uint32_t v = 0;
        int nDigits = 0;
        for (; HexDigit(*p) >= 0; ++p, ++nDigits)
            v = (v << 4) | (uint32_t)HexDigit(*p);
        if (nDigits == 0 || nDigits > 8) return false;
        value.m_type = PLAT_REG_DWORD;
        value.m_data.assign(reinterpret_cast<const char*>(&v), 4);
        return true;
    }
    if (StartsWithNoCase(p, "hex:"))
    {
        p += 4;
        value.m_type = PLAT_REG_BINARY;
        value.m_data.clear();
        while (*p)
        {
            if (*p == ',' || *p == ' ' || *p == '\t')
            {
                ++p;
                continue;
            }
            int hi = HexDigit(p[0]), lo = hi >= 0 ? HexDigit(p[1]) : -1;
            if (lo < 0) return false;
            value.m_data += (char)(hi * 16 + lo);
            p += 2;
        }
        return true;
    }
    return false;
}

// Parses `text`; lines that cannot be read are skipped, as are values before
// the first section.
std::vector<RegSection> ParseRegistryText(const std::string& text)
{
    std::vector<RegSection> sections;
    RegSection* pCurrent = nullptr;
    size_t pos = 0;
    while (pos < text.size())
    {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        const char* p = line.c_str() + start;
        if (*p == ';' || *p == '#') continue;
        if (*p == '[')
        {
            pCurrent = nullptr;
            const char* pClose = strrchr(p, ']');
            if (!pClose) continue;
            std::string full(p + 1, pClose);
            std::string tail(pClose + 1);
            size_t tailStart = tail.find_first_not_of(" \t");
            tail = tailStart == std::string::npos ? std::string() : tail.substr(tailStart);
            if (!tail.empty() && tail != "(32)") continue;
            size_t slash = full.find('\\');
            int root = RootFromName(full.substr(0, slash));
            if (root < 0) continue;
            RegSection section;
            section.m_root = root;
            section.m_path =
                slash == std::string::npos ? std::string() : TrimSlashes(full.substr(slash + 1));
            section.m_b32Only = !tail.empty();
            sections.push_back(section);
            pCurrent = &sections.back();
            continue;
        }
        RegValue value;
        if (pCurrent && ParseValueLine(p, value))
        {
            // A later line for the same name replaces the earlier one.
            bool bReplaced = false;
            for (RegValue& existing : pCurrent->m_values)
            {
                if (EqualNoCase(existing.m_name, value.m_name))
                {
                    existing = value;
                    bReplaced = true;
                    break;
                }
            }
            if (!bReplaced) pCurrent->m_values.push_back(value);
        }
    }
    return sections;
}

const char* RegistryFileName()
{
    const char* pszFile = getenv("QUERN_REGISTRY");
    return (pszFile && *pszFile) ? pszFile : nullptr;
}

std::vector<RegSection> LoadRegistry()
{
    const char* pszFile = RegistryFileName();
    if (!pszFile) return {};
    FILE* pFile = fopen(pszFile, "rb");
    if (!pFile) return {};
    std::string text;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof(buf), pFile)) > 0)
        text.append(buf, got);
    fclose(pFile);
    return ParseRegistryText(text);
}

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
    {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool SaveRegistry(const std::vector<RegSection>& sections)
{
    const char* pszFile = RegistryFileName();
    if (!pszFile) return false;
    std::string text;
    for (const RegSection& section : sections)
    {
        text += "[";
        text += kRootNames[section.m_root];
        if (!section.m_path.empty()) text += "\\" + section.m_path;
        text += section.m_b32Only ? "] (32)\n" : "]\n";
        for (const RegValue& value : section.m_values)
        {
            text += value.m_name.empty() ? std::string("@") : Quote(value.m_name);
            text += "=";
            char hex[16];
            switch (value.m_type)
            {
            case PLAT_REG_DWORD:
            {
                uint32_t v = 0;
                memcpy(&v, value.m_data.data(), 4);
                snprintf(hex, sizeof(hex), "dword:%08x", v);
                text += hex;
                break;
            }
            case PLAT_REG_EXPAND_SZ:
                text += "expand:" + Quote(value.m_data);
                break;
            case PLAT_REG_BINARY:
                text += "hex:";
                for (size_t i = 0; i < value.m_data.size(); ++i)
                {
                    snprintf(hex, sizeof(hex), i ? ",%02x" : "%02x",
                             (unsigned)(unsigned char)value.m_data[i]);
                    text += hex;
                }
                break;
            default:
                text += Quote(value.m_data);
                break;
            }
            text += "\n";
        }
        text += "\n";
    }
    // Written beside the target and renamed over it, so readers never see
    // half a file.
    std::string tmp = std::string(pszFile) + ".tmp";
    FILE* pFile = fopen(tmp.c_str(), "wb");
    if (!pFile) return false;
    bool bOk = fwrite(text.data(), 1, text.size(), pFile) == text.size();
    bOk = fclose(pFile) == 0 && bOk;
    if (!bOk || rename(tmp.c_str(), pszFile) != 0)
    {
        remove(tmp.c_str());
        return false;
    }
    return true;
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
            (EqualNoCase(section.m_path, path) || IsBelow(section.m_path, path)))
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
            !EqualNoCase(section.m_path, key.m_path))
            continue;
        for (const RegValue& value : section.m_values)
        {
            if (EqualNoCase(value.m_name, name) && (!pFound || section.m_b32Only)) pFound = &value;
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
        sections = LoadRegistry();
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
        sections = LoadRegistry();
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
        sections = LoadRegistry();
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
    if (!RegistryFileName()) return PLAT_ERROR_ACCESS_DENIED;
    std::vector<RegSection> sections = LoadRegistry();
    if (!path.empty() && !KeyExists(sections, pParent->m_root, path, bView32))
    {
        RegSection section;
        section.m_root = pParent->m_root;
        section.m_path = path;
        section.m_b32Only = bView32;
        sections.push_back(section);
        if (!SaveRegistry(sections)) return PLAT_ERROR_ACCESS_DENIED;
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
    if (!RegistryFileName()) return PLAT_ERROR_ACCESS_DENIED;
    std::vector<RegSection> sections = LoadRegistry();
    RegSection* pTarget = nullptr;
    for (RegSection& section : sections)
    {
        if (section.m_root == pKey->m_root && section.m_b32Only == pKey->m_bView32 &&
            EqualNoCase(section.m_path, pKey->m_path))
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
        if (EqualNoCase(value.m_name, name)) pValue = &value;
    }
    if (!pValue)
    {
        pTarget->m_values.push_back(RegValue{name, type, data});
        pValue = &pTarget->m_values.back();
    }
    pValue->m_type = type;
    pValue->m_data = data;
    return SaveRegistry(sections) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_ACCESS_DENIED;
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
    std::vector<RegSection> sections = LoadRegistry();
    std::string name = pszName ? pszName : "";
    bool bFound = false;
    for (RegSection& section : sections)
    {
        if (section.m_root != pKey->m_root || section.m_b32Only != pKey->m_bView32 ||
            !EqualNoCase(section.m_path, pKey->m_path))
            continue;
        for (size_t i = 0; i < section.m_values.size(); ++i)
        {
            if (EqualNoCase(section.m_values[i].m_name, name))
            {
                section.m_values.erase(section.m_values.begin() + (long)i);
                bFound = true;
                break;
            }
        }
    }
    if (!bFound) return PLAT_ERROR_FILE_NOT_FOUND;
    return SaveRegistry(sections) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_ACCESS_DENIED;
}

long Plat_RegDeleteKey(PlatRegKey hRoot, const char* pszSubKey, uint32_t view)
{
    RegKeyRecord* pParent = KeyOf(hRoot);
    if (!pParent) return PLAT_ERROR_INVALID_HANDLE;
    bool bView32 = ViewIs32(view) || (!pParent->m_bPredefined && pParent->m_bView32);
    std::string path = JoinPath(pParent->m_path, pszSubKey);
    if (path.empty()) return PLAT_ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(g_RegistryFileMutex);
    std::vector<RegSection> sections = LoadRegistry();
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
              EqualNoCase(section.m_path, path)))
            kept.push_back(section);
    }
    if (kept.size() == sections.size()) return PLAT_ERROR_FILE_NOT_FOUND;
    return SaveRegistry(kept) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_ACCESS_DENIED;
}
