// The slot lists of the interface objects, for tests that call them through
// their raw operation tables.
#pragma once

#include "tests/support/slot_call.h"

#include <cstdint>

// The four versions and the number of slots of each.
struct IfaceVersion
{
    const char* m_pszName;  // "Quern003" ...
    const char* m_pszClass; // "CQuernInterface003" ...
    int m_nSlots;
};
constexpr IfaceVersion kIfaceVersions[] = {
    {"Quern003", "CQuernInterface003", 122},
    {"Quern004", "CQuernInterface004", 128},
    {"Quern005", "CQuernInterface005", 135},
    {"Quern006", "CQuernInterface006", 151},
};

// Which versions have an entry: bit i for kIfaceVersions[i].
enum : unsigned
{
    V003 = 1,
    V004 = 2,
    V005 = 4,
    V006 = 8,
    VALL = 15,
    VOLD = V003 | V004 | V005,
};

enum class SlotKind
{
    Destructor, // slot 0
    Stub,       // reaches a not-implemented export: its line and record
    Export,     // reaches an implemented export (checked by the forwarding tests)
    CrashDump,  // own body: its not-implemented line, no result
    ServerList, // own body: its not-implemented line and a result
    Gap,        // no operation: answers 0 and writes nothing
    ReturnsOne, // slot 149
};

// One slot as callers know it.
struct SlotEntry
{
    int m_nSlot;
    unsigned m_versions;
    SlotKind m_kind;
    const char* m_pszName; // export reached, or the own operation's name
    int m_nArgs;           // Stub, own bodies: arguments the slot takes
    int m_nRecordArg;      // Stub: 1-based position of the error record
};

extern const SlotEntry kSlotEntries[];
extern const int kSlotEntryCount;

// Slot of the operation that reaches `pszExport` in version `versionIndex`;
// -1 when that version has none.
int SlotOf(const char* pszExport, int versionIndex);

// Range over kSlotEntries for range-based loops.
struct SlotEntryRange
{
    const SlotEntry* begin() const { return kSlotEntries; }
    const SlotEntry* end() const { return kSlotEntries + kSlotEntryCount; }
};
