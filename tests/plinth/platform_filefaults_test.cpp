// The file-fault hook: which call fails, how much still goes through, and
// that the calls behave as before once the faults are cleared.
#include "plinth/platform/platform_filefaults.h"

#ifdef QUERN_FILE_FAULTS

#include <gtest/gtest.h>

#include <string>

namespace
{

class PlatFileFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Plat_ClearFileFaults();
        const std::string name = ::testing::TempDir() + "platfilefaults_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_path.assign(name.begin(), name.end());
        m_moved = m_path + u".moved";
        ASSERT_EQ(0u,
                  Plat_CreateFile(m_path.c_str(), PLAT_FILE_ACCESS_READ | PLAT_FILE_ACCESS_WRITE,
                                  PLAT_FILE_SHARE_READ, PLAT_FILE_CREATE_ALWAYS, 0, &m_hFile));
    }
    void TearDown() override
    {
        Plat_ClearFileFaults();
        if (m_hFile != PLAT_INVALID_FILE) Plat_CloseFile(m_hFile);
        Plat_DeleteFile(m_path.c_str());
        Plat_DeleteFile(m_moved.c_str());
    }

    std::string ReadAll()
    {
        uint64_t ulSize = 0;
        EXPECT_EQ(0u, Plat_GetFileSize(m_hFile, &ulSize));
        std::string bytes((size_t)ulSize, '\0');
        uint32_t cubRead = 0;
        EXPECT_EQ(0u, Plat_ReadFileAt(m_hFile, &bytes[0], (uint32_t)ulSize, 0, &cubRead));
        bytes.resize(cubRead);
        return bytes;
    }

    std::u16string m_path;
    std::u16string m_moved;
    PlatFileHandle m_hFile = PLAT_INVALID_FILE;
};

TEST_F(PlatFileFaults, OnlyTheNthCallFailsAndCallsAreCounted)
{
    uint32_t cubWritten = 0;
    Plat_SetFileFault(PLAT_FILE_OP_WRITE, PlatFault_Error(2, PLAT_ERROR_WRITE_FAULT));
    EXPECT_EQ(0u, Plat_WriteFile(m_hFile, "abc", 3, &cubWritten));
    EXPECT_EQ(3u, cubWritten);
    EXPECT_EQ(PLAT_ERROR_WRITE_FAULT, Plat_WriteFile(m_hFile, "def", 3, &cubWritten));
    EXPECT_EQ(0u, cubWritten);
    EXPECT_EQ(0u, Plat_WriteFile(m_hFile, "ghi", 3, &cubWritten));
    EXPECT_EQ(3u, Plat_FileFaultCalls(PLAT_FILE_OP_WRITE));
    EXPECT_EQ("abcghi", ReadAll());

    Plat_ClearFileFaults();
    EXPECT_EQ(0u, Plat_FileFaultCalls(PLAT_FILE_OP_WRITE));
}

TEST_F(PlatFileFaults, ShortReadsDeliverTheFirstBytes)
{
    uint32_t cubWritten = 0;
    ASSERT_EQ(0u, Plat_WriteFile(m_hFile, "0123456789", 10, &cubWritten));
    char buf[10] = {};
    uint32_t cubRead = 0;
    Plat_SetFileFault(PLAT_FILE_OP_READ_AT, PlatFault_Short(1, 4));
    EXPECT_EQ(0u, Plat_ReadFileAt(m_hFile, buf, 10, 2, &cubRead));
    EXPECT_EQ("2345", std::string(buf, cubRead));
    EXPECT_EQ(0u, Plat_ReadFileAt(m_hFile, buf, 10, 2, &cubRead));
    EXPECT_EQ("23456789", std::string(buf, cubRead));

    ASSERT_EQ(0u, Plat_SeekFile(m_hFile, 0, 0, nullptr));
    Plat_SetFileFault(PLAT_FILE_OP_READ, PlatFault_Error(1, PLAT_ERROR_READ_FAULT));
    EXPECT_EQ(PLAT_ERROR_READ_FAULT, Plat_ReadFile(m_hFile, buf, 10, &cubRead));
    EXPECT_EQ(0u, cubRead);
    EXPECT_EQ(0u, Plat_ReadFile(m_hFile, buf, 10, &cubRead));
    EXPECT_EQ("0123456789", std::string(buf, cubRead));
}

TEST_F(PlatFileFaults, AFullDiskTakesItsLastBytesThenNothing)
{
    uint32_t cubWritten = 0;
    Plat_SetFileFault(PLAT_FILE_OP_WRITE, PlatFault_DiskFull(2, 5));
    EXPECT_EQ(0u, Plat_WriteFile(m_hFile, "aaaa", 4, &cubWritten));
    EXPECT_EQ(PLAT_ERROR_DISK_FULL, Plat_WriteFile(m_hFile, "bbbbbbbb", 8, &cubWritten));
    EXPECT_EQ(5u, cubWritten);
    EXPECT_EQ(PLAT_ERROR_DISK_FULL, Plat_WriteFile(m_hFile, "cc", 2, &cubWritten));
    EXPECT_EQ(0u, cubWritten);
    EXPECT_EQ("aaaabbbbb", ReadAll());
}

TEST_F(PlatFileFaults, FailingCallsChangeNothing)
{
    uint32_t cubWritten = 0;
    ASSERT_EQ(0u, Plat_WriteFile(m_hFile, "xyz", 3, &cubWritten));
    uint64_t ulPos = 7;
    Plat_SetFileFault(PLAT_FILE_OP_SEEK, PlatFault_Error(1, PLAT_ERROR_GEN_FAILURE));
    Plat_SetFileFault(PLAT_FILE_OP_SIZE, PlatFault_Error(1, PLAT_ERROR_GEN_FAILURE));
    Plat_SetFileFault(PLAT_FILE_OP_FLUSH, PlatFault_Error(1, PLAT_ERROR_DISK_FULL));
    Plat_SetFileFault(PLAT_FILE_OP_MOVE, PlatFault_Error(1, PLAT_ERROR_ACCESS_DENIED));
    Plat_SetFileFault(PLAT_FILE_OP_DELETE, PlatFault_Error(1, PLAT_ERROR_ACCESS_DENIED));
    Plat_SetFileFault(PLAT_FILE_OP_OPEN, PlatFault_Error(1, PLAT_ERROR_SHARING_VIOLATION));
    EXPECT_EQ(PLAT_ERROR_GEN_FAILURE, Plat_SeekFile(m_hFile, 0, 0, &ulPos));
    EXPECT_EQ(7u, ulPos);
    EXPECT_EQ(PLAT_ERROR_GEN_FAILURE, Plat_GetFileSize(m_hFile, &ulPos));
    EXPECT_EQ(PLAT_ERROR_DISK_FULL, Plat_FlushFile(m_hFile));
    Plat_CloseFile(m_hFile);
    m_hFile = PLAT_INVALID_FILE;
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, Plat_MoveFileReplace(m_path.c_str(), m_moved.c_str()));
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, Plat_DeleteFile(m_path.c_str()));
    PlatFileHandle hOther = PLAT_INVALID_FILE;
    EXPECT_EQ(PLAT_ERROR_SHARING_VIOLATION,
              Plat_CreateFile(m_path.c_str(), PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ,
                              PLAT_FILE_OPEN_EXISTING, 0, &hOther));
    EXPECT_EQ(PLAT_INVALID_FILE, hOther);

    // The second calls go through: the file is still there, whole.
    ASSERT_EQ(0u, Plat_CreateFile(m_path.c_str(), PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ,
                                  PLAT_FILE_OPEN_EXISTING, 0, &m_hFile));
    EXPECT_EQ("xyz", ReadAll());
}

} // namespace

#endif // QUERN_FILE_FAULTS
