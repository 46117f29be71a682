// Helpers shared by the diagnostics tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A file name in the test temp folder, unique per test.
inline std::string TestTempPath(const char* pszSuffix)
{
    const testing::TestInfo* pInfo = testing::UnitTest::GetInstance()->current_test_info();
    return testing::TempDir() + "quern_" + pInfo->test_suite_name() + "_" + pInfo->name() +
           pszSuffix;
}

// Everything the statement writes to standard output.
#define CAPTURE_STDOUT(text, statement)                                                            \
    do                                                                                             \
    {                                                                                              \
        fflush(stdout);                                                                            \
        testing::internal::CaptureStdout();                                                        \
        statement;                                                                                 \
        fflush(stdout);                                                                            \
        text = testing::internal::GetCapturedStdout();                                             \
    } while (0)
