// Shared helpers of the tools' tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// Everything written to the temporary file `f`, which is closed.
inline std::string Drain(FILE* f)
{
    std::string s;
    fflush(f);
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

// A strict JSON reader (RFC 8259) for the tools' --json output: UTF-8 only,
// no control characters in strings, no trailing commas or duplicate keys,
// nothing after the value but white space. Strings are decoded; numbers keep
// their text.
struct JsonValue
{
    enum Kind
    {
        NUL,
        BOOL,
        NUMBER,
        STRING,
        ARRAY,
        OBJECT
    } m_kind = NUL;
    bool m_bValue = false;
    std::string m_text; // a string's value or a number's text
    std::vector<JsonValue> m_items;
    std::vector<std::pair<std::string, JsonValue>> m_members;

    // The member or item, or a null value when there is none.
    const JsonValue& operator[](const std::string& key) const
    {
        for (const auto& member : m_members)
            if (member.first == key) return member.second;
        return None();
    }
    const JsonValue& operator[](size_t i) const { return i < m_items.size() ? m_items[i] : None(); }
    long long Int() const { return m_kind == NUMBER ? std::stoll(m_text) : -999999; }
    static const JsonValue& None()
    {
        static const JsonValue s_none;
        return s_none;
    }
};

class JsonReader
{
public:
    // False, with where and why, for anything that is not one JSON text.
    static bool Parse(const std::string& text, JsonValue* pOut, std::string* pWhy)
    {
        JsonReader reader(text);
        bool bOk = reader.Value(pOut, 0) && (reader.Space(), reader.m_at == text.size());
        if (!bOk && pWhy) *pWhy = "bad JSON at byte " + std::to_string(reader.m_at) + ": " + text;
        return bOk;
    }

private:
    explicit JsonReader(const std::string& text) : m_s(text), m_at(0) {}

    int Peek() const { return m_at < m_s.size() ? (unsigned char)m_s[m_at] : -1; }
    void Space()
    {
        while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')
            ++m_at;
    }
    bool Eat(char c)
    {
        Space();
        if (Peek() != (unsigned char)c) return false;
        ++m_at;
        return true;
    }
    bool Word(const char* psz)
    {
        size_t n = strlen(psz);
        if (m_s.compare(m_at, n, psz) != 0) return false;
        m_at += n;
        return true;
    }
    bool Value(JsonValue* pOut, int nDepth)
    {
        Space();
        if (nDepth > 64) return false;
        int c = Peek();
        if (c == '{')
        {
            ++m_at;
            pOut->m_kind = JsonValue::OBJECT;
            if (Eat('}')) return true;
            do
            {
                std::string key;
                JsonValue value;
                Space();
                if (!String(&key) || !Eat(':') || !Value(&value, nDepth + 1)) return false;
                if (&(*pOut)[key] != &JsonValue::None()) return false; // duplicate key
                pOut->m_members.emplace_back(key, value);
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[')
        {
            ++m_at;
            pOut->m_kind = JsonValue::ARRAY;
            if (Eat(']')) return true;
            do
            {
                pOut->m_items.emplace_back();
                if (!Value(&pOut->m_items.back(), nDepth + 1)) return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"')
        {
            pOut->m_kind = JsonValue::STRING;
            return String(&pOut->m_text);
        }
        if (Word("true") || Word("false"))
        {
            pOut->m_kind = JsonValue::BOOL;
            pOut->m_bValue = m_s[m_at - 1] == 'e' && m_s[m_at - 2] == 'u'; // "true", not "false"
            return true;
        }
        if (Word("null")) return true;
        return Number(pOut);
    }
    bool Digits()
    {
        size_t start = m_at;
        while (Peek() >= '0' && Peek() <= '9')
            ++m_at;
        return m_at > start;
    }
    bool Number(JsonValue* pOut)
    {
        size_t start = m_at;
        if (Peek() == '-') ++m_at;
        if (Peek() == '0')
            ++m_at;
        else if (!Digits())
            return false;
        if (Peek() == '.' && (++m_at, !Digits())) return false;
        if (Peek() == 'e' || Peek() == 'E')
        {
            ++m_at;
            if (Peek() == '+' || Peek() == '-') ++m_at;
            if (!Digits()) return false;
        }
        pOut->m_kind = JsonValue::NUMBER;
        pOut->m_text = m_s.substr(start, m_at - start);
        return true;
    }
    bool Hex4(uint32_t* pu)
    {
        if (m_at + 4 > m_s.size()) return false;
        *pu = 0;
        for (int i = 0; i < 4; ++i)
        {
            char c = m_s[m_at++];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0) return false;
            *pu = *pu * 16 + (uint32_t)d;
        }
        return true;
    }
    static void Append(std::string* pOut, uint32_t u)
    {
        if (u < 0x80)
            *pOut += (char)u;
        else if (u < 0x800)
            *pOut += {(char)(0xC0 | u >> 6), (char)(0x80 | (u & 0x3F))};
        else if (u < 0x10000)
            *pOut +=
                {(char)(0xE0 | u >> 12), (char)(0x80 | (u >> 6 & 0x3F)), (char)(0x80 | (u & 0x3F))};
        else
            *pOut += {(char)(0xF0 | u >> 18), (char)(0x80 | (u >> 12 & 0x3F)),
                      (char)(0x80 | (u >> 6 & 0x3F)), (char)(0x80 | (u & 0x3F))};
    }
    // One UTF-8 sequence as it stands in the text; false for a malformed one.
    bool Utf8(std::string* pOut)
    {
        int c = Peek();
        int n = c >= 0xC2 && c <= 0xDF   ? 1
                : c >= 0xE0 && c <= 0xEF ? 2
                : c >= 0xF0 && c <= 0xF4 ? 3
                                         : -1;
        if (n < 0 || m_at + (size_t)n >= m_s.size()) return false;
        uint32_t u = (uint32_t)c & (0x3F >> n);
        for (int i = 1; i <= n; ++i)
        {
            int b = (unsigned char)m_s[m_at + i];
            if ((b & 0xC0) != 0x80) return false;
            u = u << 6 | (uint32_t)(b & 0x3F);
        }
        const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (u < kLeast[n] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
        pOut->append(m_s, m_at, (size_t)n + 1);
        m_at += (size_t)n + 1;
        return true;
    }
    bool String(std::string* pOut)
    {
        if (Peek() != '"') return false;
        ++m_at;
        for (;;)
        {
            int c = Peek();
            if (c < 0x20) return false; // the end, or a raw control character
            if (c == '"')
            {
                ++m_at;
                return true;
            }
            if (c >= 0x80)
            {
                if (!Utf8(pOut)) return false;
                continue;
            }
            ++m_at;
            if (c != '\\')
            {
                *pOut += (char)c;
                continue;
            }
            int e = Peek();
            ++m_at;
            const char* pszFrom = "\"\\/bfnrt";
            const char* pszTo = "\"\\/\b\f\n\r\t";
            const char* pAt = e > 0 ? strchr(pszFrom, e) : nullptr;
            if (pAt)
            {
                *pOut += pszTo[pAt - pszFrom];
                continue;
            }
            uint32_t u;
            if (e != 'u' || !Hex4(&u)) return false;
            if (u >= 0xD800 && u <= 0xDBFF)
            {
                uint32_t low;
                if (!Word("\\u") || !Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            }
            else if (u >= 0xDC00 && u <= 0xDFFF)
                return false;
            Append(pOut, u);
        }
    }

    const std::string& m_s;
    size_t m_at;
};
