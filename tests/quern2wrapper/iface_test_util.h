// Calls into interface objects through their raw operation table, by slot
// number, the way a caller built long ago does: the object is the hidden
// first argument (thiscall on 32-bit Windows).
#pragma once

#include <cstdint>

#if defined(__i386__)
#define IFACE_MEMBER_CALL __attribute__((thiscall))
#else
#define IFACE_MEMBER_CALL
#endif

// The operation table of `pObject`.
inline void* const* IfaceTable(const void* pObject)
{
    return *static_cast<void* const* const*>(pObject);
}

// Calls slot `slot` of `pObject` with arguments of exactly the types given.
template <typename R, typename... A> R CallSlot(void* pObject, int slot, A... args)
{
    typedef R(IFACE_MEMBER_CALL * SlotFn)(void*, A...);
    SlotFn pfn = reinterpret_cast<SlotFn>(IfaceTable(pObject)[slot]);
    return pfn(pObject, args...);
}

// Calls slot `slot` with `argc` (0 to 8) word-sized arguments from `args`.
// Not inlined: callers pass arrays sized to the call, which the optimiser
// would otherwise check against every case.
__attribute__((noinline)) inline intptr_t CallSlotWords(void* pObject, int slot, int argc,
                                                        const uintptr_t* args)
{
    typedef uintptr_t W;
    switch (argc)
    {
    case 0:
        return CallSlot<int>(pObject, slot);
    case 1:
        return CallSlot<int, W>(pObject, slot, args[0]);
    case 2:
        return CallSlot<int, W, W>(pObject, slot, args[0], args[1]);
    case 3:
        return CallSlot<int, W, W, W>(pObject, slot, args[0], args[1], args[2]);
    case 4:
        return CallSlot<int, W, W, W, W>(pObject, slot, args[0], args[1], args[2], args[3]);
    case 5:
        return CallSlot<int, W, W, W, W, W>(pObject, slot, args[0], args[1], args[2], args[3],
                                            args[4]);
    case 6:
        return CallSlot<int, W, W, W, W, W, W>(pObject, slot, args[0], args[1], args[2], args[3],
                                               args[4], args[5]);
    case 7:
        return CallSlot<int, W, W, W, W, W, W, W>(pObject, slot, args[0], args[1], args[2], args[3],
                                                  args[4], args[5], args[6]);
    default:
        return CallSlot<int, W, W, W, W, W, W, W, W>(pObject, slot, args[0], args[1], args[2],
                                                     args[3], args[4], args[5], args[6], args[7]);
    }
}

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
