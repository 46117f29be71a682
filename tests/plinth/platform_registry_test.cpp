#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_file.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_registry.h"
#include "tests/plinth/dbg_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
std::string Narrow(const char16_t* p)
{
    std::string s;
    for (; *p; ++p)
        s += (char)*p;
    return s;
}

// A key of its own per run, so that runs in one Wine prefix do not meet.
std::string TestKeyPath()
{
    return "Software\\QuernPlinthTests\\k" + std::to_string(Plat_GetCurrentProcessId());
}

// The POSIX stand-in reads a file of this test's own, empty at the start; on
// Windows the real registry is used under TestKeyPath().
bool UseEmptyRegistry()
{
#ifndef _WIN32
    std::string file = TestTempPath(".reg");
    remove(file.c_str());
    return Plat_SetEnvironmentVariable("QUERN_REGISTRY", file.c_str());
#else
    return true;
#endif
}
} // namespace

// Files and registry answer from one set of codes: a missing key and a
// missing file are the same "not found".
TEST(PlatformRegistry, MissingKeyAndMissingFileShareOneCode)
{
    ASSERT_TRUE(UseEmptyRegistry());
    PlatRegKey hKey = nullptr;
    std::string path = TestKeyPath() + "\\missing";
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              (uint32_t)Plat_RegOpenKeyA(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), path.c_str(),
                                         PLAT_KEY_READ, &hKey));
    std::string missing = TestTempPath(".missing");
    std::u16string wide(missing.begin(), missing.end());
    uint32_t unAttributes = 0;
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, Plat_GetFileAttributes(wide.c_str(), &unAttributes));
}

// Write, read back and delete: the same calls work on both platforms.
TEST(PlatformRegistry, WriteReadDeleteRoundTrip)
{
    ASSERT_TRUE(UseEmptyRegistry());
    std::string path = TestKeyPath();
    PlatRegKey hRoot = Plat_RegRootKey(PLAT_HKEY_CURRENT_USER);
    PlatRegKey hKey = nullptr;
    ASSERT_EQ(0, Plat_RegCreateKey(hRoot, path.c_str(), PLAT_KEY_WOW64_32KEY, &hKey));
    EXPECT_EQ(0, Plat_RegSetValueDword(hKey, "pid", 0xabcd));
    EXPECT_EQ(0, Plat_RegSetValueString(hKey, "QuernClientDll", "C:\\a \"b\"\\client.dll"));
    EXPECT_EQ(0, Plat_RegCloseKey(hKey));

    ASSERT_EQ(0,
              Plat_RegOpenKeyW(hRoot, path.c_str(), PLAT_KEY_READ | PLAT_KEY_WOW64_32KEY, &hKey));
    uint32_t type = 0, value = 0, cb = 4;
    EXPECT_EQ(0, Plat_RegQueryValueW(hKey, "PID", &type, &value, &cb));
    EXPECT_EQ((uint32_t)PLAT_REG_DWORD, type);
    EXPECT_EQ(0xabcdu, value);

    // Wide text comes back as UTF-16 with its terminator counted.
    char16_t wide[64] = {};
    cb = sizeof(wide);
    EXPECT_EQ(0, Plat_RegQueryValueW(hKey, "QuernClientDll", &type, wide, &cb));
    EXPECT_EQ((uint32_t)PLAT_REG_SZ, type);
    EXPECT_EQ("C:\\a \"b\"\\client.dll", Narrow(wide));
    EXPECT_EQ((uint32_t)(strlen("C:\\a \"b\"\\client.dll") + 1) * 2, cb);

    // Too small: 234 and the size needed; size only with no buffer.
    cb = 4;
    EXPECT_EQ(PLAT_ERROR_MORE_DATA, Plat_RegQueryValueW(hKey, "QuernClientDll", &type, wide, &cb));
    EXPECT_EQ((uint32_t)(strlen("C:\\a \"b\"\\client.dll") + 1) * 2, cb);
    cb = 0;
    EXPECT_EQ(0, Plat_RegQueryValueAnsiNameW(hKey, "QuernClientDll", &type, nullptr, &cb));
    EXPECT_EQ((uint32_t)(strlen("C:\\a \"b\"\\client.dll") + 1) * 2, cb);

    char narrow[64] = {};
    cb = sizeof(narrow);
    EXPECT_EQ(0, Plat_RegQueryValueA(hKey, "QuernClientDll", &type, narrow, &cb));
    EXPECT_STREQ("C:\\a \"b\"\\client.dll", narrow);
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, Plat_RegQueryValueW(hKey, "missing", &type, wide, &cb));

    // Deleting needs a key opened for writing.
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, Plat_RegDeleteValue(hKey, "pid"));
    EXPECT_EQ(0, Plat_RegCloseKey(hKey));
    ASSERT_EQ(0, Plat_RegCreateKey(hRoot, path.c_str(), PLAT_KEY_WOW64_32KEY, &hKey));
    EXPECT_EQ(0, Plat_RegDeleteValue(hKey, "pid"));
    cb = 4;
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, Plat_RegQueryValueA(hKey, "pid", &type, &value, &cb));
    EXPECT_EQ(0, Plat_RegCloseKey(hKey));

    EXPECT_EQ(0, Plat_RegDeleteKey(hRoot, path.c_str(), PLAT_KEY_WOW64_32KEY));
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Plat_RegOpenKeyW(hRoot, path.c_str(), PLAT_KEY_READ | PLAT_KEY_WOW64_32KEY, &hKey));
    EXPECT_EQ(nullptr, hKey);
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Plat_RegDeleteKey(hRoot, path.c_str(), PLAT_KEY_WOW64_32KEY));
#ifndef _WIN32
    Plat_SetEnvironmentVariable("QUERN_REGISTRY", nullptr);
    remove(TestTempPath(".reg").c_str());
#endif
}

#ifndef _WIN32
class PlatformRegistryFile : public testing::Test
{
protected:
    void SetUp() override
    {
        m_file = TestTempPath(".reg");
        Plat_SetEnvironmentVariable("QUERN_REGISTRY", m_file.c_str());
    }
    void TearDown() override
    {
        Plat_SetEnvironmentVariable("QUERN_REGISTRY", nullptr);
        remove(m_file.c_str());
    }
    void Write(const char* pszText)
    {
        FILE* pFile = fopen(m_file.c_str(), "wb");
        ASSERT_NE(nullptr, pFile);
        fputs(pszText, pFile);
        fclose(pFile);
    }
    long Open(PlatRegRoot root, const char* pszPath, uint32_t access)
    {
        if (m_hKey) Plat_RegCloseKey(m_hKey);
        m_hKey = nullptr;
        return Plat_RegOpenKeyA(Plat_RegRootKey(root), pszPath, access, &m_hKey);
    }
    std::string Text(const char* pszName)
    {
        char buf[256] = {};
        uint32_t cb = sizeof(buf), type = 0;
        long rc = Plat_RegQueryValueA(m_hKey, pszName, &type, buf, &cb);
        return rc == 0 ? std::string(buf) : "<" + std::to_string(rc) + ">";
    }
    std::string m_file;
    PlatRegKey m_hKey = nullptr;
};

TEST_F(PlatformRegistryFile, ParsesSectionsValuesAndEscapes)
{
    Write("; comment\r\n"
          "# another\n"
          "\n"
          "[HKEY_CURRENT_USER\\Software\\Norra\\Quern\\ActiveProcess]\n"
          "\"pid\"=dword:0000ABCD\n"
          "\"QuernClientDll\"=\"/opt/quern/quernclient.dll\"\n"
          "  \"Raw\" = \"C:\\a\\b\"  \n"
          "\"Escaped\"=\"q\\\"x\\\\y\"\n"
          "@=\"default\"\n"
          "\"Bin\"=hex:01,ff\n"
          "\"Exp\"=expand:\"%X%\"\n"
          "\"Broken\"=dword:nothex\n"
          "[HKLM\\Software\\Norra\\Quern]\n"
          "\"InstallPath\"=\"/opt/quern\"\n");
    ASSERT_EQ(0,
              Open(PLAT_HKEY_CURRENT_USER, "software\\NORRA\\quern\\activeprocess", PLAT_KEY_READ));
    uint32_t value = 0, cb = 4, type = 0;
    EXPECT_EQ(0, Plat_RegQueryValueA(m_hKey, "pid", &type, &value, &cb));
    EXPECT_EQ(0xabcdu, value);
    EXPECT_EQ("/opt/quern/quernclient.dll", Text("quernclientdll"));
    EXPECT_EQ("C:\\a\\b", Text("Raw"));
    EXPECT_EQ("q\"x\\y", Text("Escaped"));
    EXPECT_EQ("default", Text(nullptr));
    EXPECT_EQ("%X%", Text("Exp"));
    EXPECT_EQ("<2>", Text("Broken"));
    unsigned char bin[4] = {};
    cb = sizeof(bin);
    EXPECT_EQ(0, Plat_RegQueryValueA(m_hKey, "Bin", &type, bin, &cb));
    EXPECT_EQ((uint32_t)PLAT_REG_BINARY, type);
    EXPECT_EQ(2u, cb);
    EXPECT_EQ(0xff, bin[1]);

    ASSERT_EQ(0, Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norra\\Quern", PLAT_KEY_QUERY_VALUE));
    EXPECT_EQ("/opt/quern", Text("InstallPath"));
    // Parents exist without a section of their own; other roots do not share keys.
    EXPECT_EQ(0, Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norra", PLAT_KEY_READ));
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Open(PLAT_HKEY_CLASSES_ROOT, "Software\\Norra\\Quern", PLAT_KEY_READ));
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norr", PLAT_KEY_READ));
    Plat_RegCloseKey(m_hKey);
}

TEST_F(PlatformRegistryFile, ThirtyTwoBitSectionsAndRereadAtOpen)
{
    Write("[HKLM\\Software\\Norra\\Quern] (32)\n\"InstallPath\"=\"/x86\"\n");
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norra\\Quern", PLAT_KEY_QUERY_VALUE));
    ASSERT_EQ(0, Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norra\\Quern",
                      PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_32KEY));
    EXPECT_EQ("/x86", Text("InstallPath"));

    Write("[HKLM\\Software\\Norra\\Quern]\n\"InstallPath\"=\"/both\"\n");
    ASSERT_EQ(0, Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norra\\Quern",
                      PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_32KEY));
    EXPECT_EQ("/both", Text("InstallPath"));

    remove(m_file.c_str());
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Open(PLAT_HKEY_LOCAL_MACHINE, "Software\\Norra\\Quern", PLAT_KEY_READ));
    Plat_SetEnvironmentVariable("QUERN_REGISTRY", nullptr);
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, Open(PLAT_HKEY_CURRENT_USER, "Software", PLAT_KEY_READ));
}

TEST_F(PlatformRegistryFile, KeyWithSubkeysIsNotDeleted)
{
    Write("[HKCU\\Software\\A\\B]\n\"v\"=\"1\"\n");
    PlatRegKey hRoot = Plat_RegRootKey(PLAT_HKEY_CURRENT_USER);
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, Plat_RegDeleteKey(hRoot, "Software\\A", 0));
    EXPECT_EQ(0, Plat_RegDeleteKey(hRoot, "Software\\A\\B", 0));
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND,
              Open(PLAT_HKEY_CURRENT_USER, "Software\\A", PLAT_KEY_READ));
}
#endif
