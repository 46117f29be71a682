// Name maps: own copies of names, de-duplication by the user's comparison.
#include "trestle/utlnamemap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

TEST(UtlNameMap, DeduplicatesByItsComparison)
{
    CUtlNameMap<int> noCase(UtlNameLessNoCase);
    int i = noCase.Insert("Maps/Start", 1);
    EXPECT_EQ(i, noCase.Insert("maps/START", 2));
    EXPECT_EQ(1, noCase.Count());
    EXPECT_EQ(2, noCase[i]);
    EXPECT_STREQ("Maps/Start", noCase.GetElementName(i)); // the first spelling stays
    EXPECT_EQ(i, noCase.Find("MAPS/start"));

    CUtlNameMap<int> exact;
    int a = exact.Insert("Maps/Start", 1);
    int b = exact.Insert("maps/START", 2);
    EXPECT_NE(a, b);
    EXPECT_EQ(2, exact.Count());
    EXPECT_EQ(-1, exact.Find("MAPS/start"));
}

TEST(UtlNameMap, KeepsItsOwnCopies)
{
    char name[] = "sound/alarm.wav";
    CUtlNameMap<int> map;
    int i = map.Insert(name, 5);
    EXPECT_NE(name, map.GetElementName(i));
    strcpy(name, "zzz");
    EXPECT_STREQ("sound/alarm.wav", map.GetElementName(i));
    EXPECT_EQ(i, map.Find("sound/alarm.wav"));
    EXPECT_EQ(-1, map.Find("zzz"));
}

TEST(UtlNameMap, NullNameIsItsOwnEntry)
{
    CUtlNameMap<int> map(UtlNameLessNoCase);
    int n = map.Insert(nullptr, 1);
    int e = map.Insert("", 2);
    EXPECT_NE(n, e);
    EXPECT_EQ(nullptr, map.GetElementName(n));
    EXPECT_EQ(n, map.Find(nullptr));
    EXPECT_EQ(e, map.Find(""));
    EXPECT_EQ(n, map.Insert(nullptr, 3));
    EXPECT_EQ(3, map[n]);
}

TEST(UtlNameMap, OrderRemoveAndReuse)
{
    CUtlNameMap<std::string> map(UtlNameLessNoCase);
    for (const char* name : {"delta", "Alpha", "charlie", "bravo"})
        map.Insert(name, std::string(name) + "!");
    std::vector<std::string> names;
    for (int i = map.First(); i != map.InvalidIndex(); i = map.Next(i))
        names.push_back(map.GetElementName(i));
    EXPECT_EQ((std::vector<std::string>{"Alpha", "bravo", "charlie", "delta"}), names);

    int c = map.Find("CHARLIE");
    EXPECT_TRUE(map.Remove("Charlie"));
    EXPECT_FALSE(map.Remove("charlie"));
    EXPECT_EQ(3, map.Count());
    EXPECT_EQ(c, map.Insert("echo", "e")); // the freed slot comes back
    EXPECT_EQ("e", map[c]);
    map.RemoveAll();
    EXPECT_EQ(0, map.Count());
    EXPECT_EQ(-1, map.Find("echo"));
}

TEST(UtlNameLess, NullAndCase)
{
    EXPECT_TRUE(UtlNameLess(nullptr, ""));
    EXPECT_FALSE(UtlNameLess("", nullptr));
    EXPECT_FALSE(UtlNameLess(nullptr, nullptr));
    EXPECT_TRUE(UtlNameLess("B", "a"));
    EXPECT_FALSE(UtlNameLessNoCase("B", "a"));
    EXPECT_TRUE(UtlNameLessNoCase("a", "B"));
    EXPECT_FALSE(UtlNameLessNoCase("ABC", "abc"));
    EXPECT_TRUE(UtlNameLessNoCase("ab", "ABC"));
    // Bytes above 0x7F compare unsigned.
    EXPECT_TRUE(UtlNameLessNoCase("z", "\xC3\xA9"));
}
