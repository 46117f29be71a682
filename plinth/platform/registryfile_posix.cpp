// The registry stand-in's text file: parsing and writing.
#include "plinth/platform/registryfile_posix.h"
#include "plinth/asciicase.h"
#include "plinth/platform/platform_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool Reg_EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::string Reg_TrimSlashes(const std::string& path)
{
    size_t begin = 0, end = path.size();
    while (begin < end && path[begin] == '\\')
        ++begin;
    while (end > begin && path[end - 1] == '\\')
        --end;
    return path.substr(begin, end - begin);
}

namespace
{

int RootFromName(const std::string& name)
{
    if (Reg_EqualNoCase(name, "HKLM") || Reg_EqualNoCase(name, "HKEY_LOCAL_MACHINE"))
        return PLAT_HKEY_LOCAL_MACHINE;
    if (Reg_EqualNoCase(name, "HKCU") || Reg_EqualNoCase(name, "HKEY_CURRENT_USER"))
        return PLAT_HKEY_CURRENT_USER;
    if (Reg_EqualNoCase(name, "HKCR") || Reg_EqualNoCase(name, "HKEY_CLASSES_ROOT"))
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
            section.m_path = slash == std::string::npos ? std::string()
                                                        : Reg_TrimSlashes(full.substr(slash + 1));
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
                if (Reg_EqualNoCase(existing.m_name, value.m_name))
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

} // namespace

const char* Reg_FileName()
{
    const char* pszFile = getenv("QUERN_REGISTRY");
    return (pszFile && *pszFile) ? pszFile : nullptr;
}

std::vector<RegSection> Reg_LoadFile()
{
    const char* pszFile = Reg_FileName();
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

bool Reg_SaveFile(const std::vector<RegSection>& sections)
{
    const char* pszFile = Reg_FileName();
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
