// The factory _f and the general factory CreateInterface.
#include "tests/quern2wrapper/interfaces_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/interfaces.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

TEST(InterfaceFactory, EachVersionHasOneObject)
{
    std::set<void*> objects;
    DebugOutputCapture capture;
    for (const IfaceVersion& version : kIfaceVersions)
    {
        void* pObject = _f(version.m_pszName);
        ASSERT_NE(nullptr, pObject) << version.m_pszName;
        EXPECT_EQ(pObject, _f(version.m_pszName));
        objects.insert(pObject);
    }
    EXPECT_EQ(4u, objects.size());
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_TRUE(QuernInterfacesCreated());
}

TEST(InterfaceFactory, UnknownNamesAreReportedAndRefused)
{
    DebugOutputCapture capture;
    EXPECT_EQ(nullptr, _f("quern006"));
    EXPECT_EQ(nullptr, _f("Quern006 "));
    EXPECT_EQ(nullptr, _f("Quern007"));
    EXPECT_EQ(nullptr, _f(""));
    std::vector<std::string> expected = {
        "Quern interface not implemented: quern006",
        "Quern interface not implemented: Quern006 ",
        "Quern interface not implemented: Quern007",
        "Quern interface not implemented: ",
    };
    EXPECT_EQ(expected, capture.Lines());
}

TEST(InterfaceFactory, LongNameIsCutInTheMessage)
{
    const std::string name(300, 'n');
    DebugOutputCapture capture;
    EXPECT_EQ(nullptr, _f(name.c_str()));
    ASSERT_EQ(1u, capture.Lines().size());
    const std::string line = capture.Lines()[0];
    EXPECT_EQ(255u, line.size());
    EXPECT_EQ("Quern interface not implemented: " + std::string(255 - 33, 'n'), line);
}

// A fresh process: the null name makes the objects but returns nothing and
// says nothing.
TEST(InterfaceFactoryDeathTest, NullNameCreatesTheObjectsSilently)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (QuernInterfacesCreated()) exit(2);
            DebugOutputCapture capture;
            if (_f(nullptr) != nullptr) exit(3);
            if (!capture.Lines().empty()) exit(4);
            exit(QuernInterfacesCreated() ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(InterfaceFactory, CreateInterfaceKnowsNoInterface)
{
    int code = 7;
    EXPECT_EQ(nullptr, CreateInterface("Quern006", &code));
    EXPECT_EQ(1, code);
    code = 7;
    EXPECT_EQ(nullptr, CreateInterface("QuernClient017", &code));
    EXPECT_EQ(1, code);
    EXPECT_EQ(nullptr, CreateInterface("Quern003", nullptr));
}
