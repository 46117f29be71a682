#include "plinth/dbg.h"
#include "tests/plinth/dbg_test_support.h"
#include "tests/plinth/platform_test_support.h"

#include <gtest/gtest.h>

#include <string>

TEST(DbgSpew, MessagesAndWarningsGoToStdoutOnly)
{
    DebugOutputCapture debugOut;
    std::string out;
    SpewResult r1, r2;
    CAPTURE_STDOUT(out, {
        r1 = SpewMessage("hello %d\n", 5);
        r2 = SpewWarning("warn %s", "x");
    });
    EXPECT_EQ(SPEW_PROCEED, r1);
    EXPECT_EQ(SPEW_PROCEED, r2);
    EXPECT_EQ("hello 5\nwarn x", out);
    EXPECT_EQ("", debugOut.Text());
}

TEST(DbgSpew, GroupLevelsAgainstTheEmptyTable)
{
    EXPECT_FALSE(IsSpewActive("console", 1));
    EXPECT_TRUE(IsSpewActive("console", 0));
    EXPECT_TRUE(IsSpewActive("CONSOLE", -3));
    EXPECT_FALSE(IsSpewActive("anything", 2));

    std::string out;
    CAPTURE_STDOUT(out, {
        SpewGroupMessage("console", 1, "silent\n");
        SpewGroupMessage("console", 0, "loud\n");
    });
    EXPECT_EQ("loud\n", out);
}

TEST(DbgSpew, TextThatDoesNotFitIsDroppedAndTheProcessGoesOn)
{
    // 5019 characters of buffer: 5018 of text and the terminator fit.
    std::string fits(5018, 'a');
    std::string tooLong(5019, 'b');
    std::string out;
    SpewResult rFits, rLong;
    CAPTURE_STDOUT(out, {
        rFits = SpewMessage("%s", fits.c_str());
        rLong = SpewMessage("%s", tooLong.c_str());
    });
    EXPECT_EQ(SPEW_PROCEED, rFits);
    EXPECT_EQ(SPEW_ABORT, rLong);
    EXPECT_EQ(fits, out);
}

TEST(DbgSpewDeathTest, ErrorWritesItsTextThenExitsWithCode1)
{
    std::string path = TestTempPath("_stdout.txt");
    remove(path.c_str());
    EXPECT_EXIT(
        {
            if (!freopen(path.c_str(), "wb", stdout)) _Exit(3);
            SpewError("fatal %d\n", 7);
            printf("after\n");
            fflush(stdout);
            _Exit(4);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ("fatal 7\n", ReadWholeFile(path));
    remove(path.c_str());
}
