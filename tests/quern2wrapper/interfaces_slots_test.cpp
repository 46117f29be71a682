// Every slot of every interface version, called through the raw operation
// table: the not-implemented exports it reaches (their line and the record
// position), the operations with bodies of their own, the unused slots.
#include "tests/quern2wrapper/interfaces_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/interfaces.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
const char kNotImplemented[] = "Wrapper not implemented";

bool HasSlot(const SlotEntry& entry, int versionIndex)
{
    return entry.m_nSlot < kIfaceVersions[versionIndex].m_nSlots &&
           (entry.m_versions & (1u << versionIndex));
}

void* Object(int versionIndex)
{
    void* pObject = _f(kIfaceVersions[versionIndex].m_pszName);
    EXPECT_NE(nullptr, pObject) << kIfaceVersions[versionIndex].m_pszName;
    return pObject;
}

std::string Context(int versionIndex, const SlotEntry& entry)
{
    return std::string(kIfaceVersions[versionIndex].m_pszName) + " slot " +
           std::to_string(entry.m_nSlot) + (entry.m_pszName ? " " : "") +
           (entry.m_pszName ? entry.m_pszName : "");
}
} // namespace

TEST(InterfaceSlots, TableCoversEverySlotOnce)
{
    for (int v = 0; v < 4; ++v)
    {
        std::vector<int> seen(kIfaceVersions[v].m_nSlots, 0);
        for (int i = 0; i < kSlotEntryCount; ++i)
            if (HasSlot(kSlotEntries[i], v)) ++seen[kSlotEntries[i].m_nSlot];
        for (int slot = 0; slot < (int)seen.size(); ++slot)
            EXPECT_EQ(1, seen[slot]) << kIfaceVersions[v].m_pszName << " slot " << slot;
    }
}

// The record sits where the export expects it; the other arguments are filler
// that a stub must not touch.
TEST(InterfaceSlots, NotImplementedExportsAnswerThroughTheirSlot)
{
    for (int v = 0; v < 4; ++v)
    {
        void* pObject = Object(v);
        ASSERT_NE(nullptr, pObject);
        for (const SlotEntry& entry : SlotEntryRange())
        {
            if (entry.m_kind != SlotKind::Stub || !HasSlot(entry, v)) continue;
            SCOPED_TRACE(Context(v, entry));
            TQuernError error;
            memset(&error, 'x', sizeof(error));
            error.failureType = 9;
            error.detailedErrorCode = 77;
            uintptr_t args[8];
            for (int i = 0; i < entry.m_nArgs; ++i)
                args[i] = 0x5A5A0000u + (uintptr_t)i;
            args[entry.m_nRecordArg - 1] = (uintptr_t)&error;

            DebugOutputCapture capture;
            EXPECT_EQ(0, (int)CallSlotWords(pObject, entry.m_nSlot, entry.m_nArgs, args));
            EXPECT_EQ(
                std::vector<std::string>({std::string(kNotImplemented) + ":" + entry.m_pszName}),
                capture.Lines());
            EXPECT_EQ(1, error.failureType);
            EXPECT_EQ(0, error.detailedErrorType);
            EXPECT_EQ(0, error.detailedErrorCode);
            EXPECT_STREQ(kNotImplemented, error.description);
            EXPECT_EQ('x', error.description[sizeof(kNotImplemented)]);
        }
    }
}

TEST(InterfaceSlots, OwnBodiesNameTheirClass)
{
    for (int v = 0; v < 4; ++v)
    {
        void* pObject = Object(v);
        ASSERT_NE(nullptr, pObject);
        for (const SlotEntry& entry : SlotEntryRange())
        {
            if (!HasSlot(entry, v)) continue;
            if (entry.m_kind != SlotKind::CrashDump && entry.m_kind != SlotKind::ServerList)
                continue;
            SCOPED_TRACE(Context(v, entry));
            char szOut[16] = "untouched";
            uintptr_t args[5] = {4, 0, (uintptr_t)szOut, sizeof(szOut), 0};
            if (entry.m_nSlot == 122) args[0] = (uintptr_t) "comment";

            DebugOutputCapture capture;
            if (entry.m_nSlot == 137)
                EXPECT_STREQ(kNotImplemented, CallSlot<const char*>(pObject, 137));
            else if (entry.m_kind == SlotKind::ServerList)
                EXPECT_EQ(0, (int)CallSlotWords(pObject, entry.m_nSlot, entry.m_nArgs, args));
            else
                CallSlotWords(pObject, entry.m_nSlot, entry.m_nArgs, args);
            const std::string line = std::string(kNotImplemented) +
                                     ":`anonymous-namespace'::" + kIfaceVersions[v].m_pszClass +
                                     "::" + entry.m_pszName;
            EXPECT_EQ(std::vector<std::string>({line}), capture.Lines());
            // The server list of the objects is not the exported one.
            EXPECT_STREQ("untouched", szOut);
        }
    }
}

TEST(InterfaceSlots, UnusedSlotsAndSlot149AnswerQuietly)
{
    for (int v = 0; v < 4; ++v)
    {
        void* pObject = Object(v);
        ASSERT_NE(nullptr, pObject);
        for (const SlotEntry& entry : SlotEntryRange())
        {
            if (!HasSlot(entry, v)) continue;
            if (entry.m_kind != SlotKind::Gap && entry.m_kind != SlotKind::ReturnsOne) continue;
            SCOPED_TRACE(Context(v, entry));
            DebugOutputCapture capture;
            EXPECT_EQ(entry.m_kind == SlotKind::ReturnsOne ? 1 : 0,
                      CallSlot<int>(pObject, entry.m_nSlot));
            EXPECT_TRUE(capture.Lines().empty());
        }
    }
}

// A caller that deletes the object through slot 0 must not end the singleton.
TEST(InterfaceSlots, DestructorSlotLeavesTheObjectUsable)
{
    for (int v = 0; v < 4; ++v)
    {
        void* pObject = Object(v);
        ASSERT_NE(nullptr, pObject);
        EXPECT_EQ(pObject, CallSlot<void*>(pObject, 0, 1u));
        EXPECT_EQ(pObject, _f(kIfaceVersions[v].m_pszName));
        char szVersion[8] = {};
        EXPECT_EQ(1, CallSlot<int>(pObject, 19, (char*)szVersion, (uint32_t)sizeof(szVersion)));
        EXPECT_STREQ("1.0.0.0", szVersion);
    }
}
