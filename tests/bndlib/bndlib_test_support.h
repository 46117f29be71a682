// Helpers for the pack tests: scratch folders, raw directory files built byte
// by byte, and capture of the debugger output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bndlib/packformat.h"
#include "plinth/platform/platform_debug.h"
#include "trestle/fileio.h"

namespace bndtest
{
// A folder under the test temp dir, unique per test and call. The numbering
// restarts with every test, so a death test's re-run child (Windows) gets the
// same names as its parent.
inline std::string ScratchDir(const char* pszTag = "")
{
    static int s_nCounter = 0;
    static const void* s_pLastTest = nullptr;
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    if (pInfo != s_pLastTest)
    {
        s_pLastTest = pInfo;
        s_nCounter = 0;
    }
    std::string dir = ::testing::TempDir();
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += "/";
    dir += "bndtest_";
    dir += pInfo ? pInfo->test_suite_name() : "x";
    dir += "_";
    dir += pInfo ? pInfo->name() : "x";
    dir += pszTag;
    // The build's own tag keeps two presets' runs at once apart; a death
    // test's child (a new process on Windows) computes the same folder.
    dir += "_" + std::to_string(std::hash<std::string>()(QUERN_BIN_DIR) % 100000u) + "_" +
           std::to_string(++s_nCounter);
    for (char& c : dir)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a'); // the reader lower-cases directory file names
    CreateDirectories(dir.c_str());
    return dir;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
}

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = (uint8_t)x;
    }
    return v;
}

// Byte by byte: the i686 compiler takes range inserts in some inlined loops
// for overflows.
inline void AppendBytes(std::vector<uint8_t>* pOut, const void* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        pOut->push_back(((const uint8_t*)p)[i]);
}

// Builds tree bytes by hand, for layouts the writer never produces.
class RawTree
{
public:
    RawTree& Ext(const char* psz) { return Str(psz); }
    RawTree& Dir(const char* psz) { return Str(psz); }
    RawTree& File(const char* pszName, const std::vector<PackChunk>& chunks,
                  const std::vector<uint8_t>& preload = {}, uint32_t crc = 0)
    {
        Str(pszName);
        U32(crc);
        U16((uint16_t)preload.size());
        for (const PackChunk& c : chunks)
        {
            U16((uint16_t)c.m_nArchiveIndex);
            U32(c.m_uOffset);
            U32(c.m_uLength);
        }
        U16(0xFFFF);
        AppendBytes(&m_bytes, preload.data(), preload.size());
        return *this;
    }
    RawTree& End()
    {
        m_bytes.push_back(0);
        return *this;
    }
    RawTree& Str(const char* psz)
    {
        AppendBytes(&m_bytes, psz, strlen(psz) + 1);
        return *this;
    }
    RawTree& U16(uint16_t v)
    {
        m_bytes.push_back((uint8_t)v);
        m_bytes.push_back((uint8_t)(v >> 8));
        return *this;
    }
    RawTree& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back((uint8_t)(v >> (8 * i)));
        return *this;
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Header (by version: 28 bytes, 12 for version 1, none for version -1), tree,
// then the embedded bytes.
inline std::vector<uint8_t> DirFile(int nVersion, const std::vector<uint8_t>& tree,
                                    const std::vector<uint8_t>& embedded = {})
{
    std::vector<uint8_t> out;
    if (nVersion != -1)
    {
        uint8_t header[BND_HEADER_SIZE];
        PackDirectoryHeader h = {
            BND_SIGNATURE, nVersion, (uint32_t)tree.size(), (uint32_t)embedded.size(), 0, 0, 0};
        PackEncodeHeader(h, header);
        AppendBytes(&out, header, nVersion == 1 ? BND_HEADER_SIZE_V1 : BND_HEADER_SIZE);
    }
    AppendBytes(&out, tree.data(), tree.size());
    AppendBytes(&out, embedded.data(), embedded.size());
    return out;
}

// Collects everything written to the debugger output while alive.
class DebugCapture
{
public:
    DebugCapture() { m_pfnPrev = Plat_SetDebugOutputObserver(&DebugCapture::Observe, this); }
    ~DebugCapture() { Plat_SetDebugOutputObserver(m_pfnPrev, nullptr); }
    const std::string& Text() const { return m_text; }
    int Count(const char* pszNeedle) const
    {
        int n = 0;
        for (size_t at = m_text.find(pszNeedle); at != std::string::npos;
             at = m_text.find(pszNeedle, at + 1))
            ++n;
        return n;
    }

private:
    static void Observe(const char* pszText, void* pContext)
    {
        if (pContext) ((DebugCapture*)pContext)->m_text += pszText;
    }
    PlatDebugOutputObserver m_pfnPrev;
    std::string m_text;
};

} // namespace bndtest
