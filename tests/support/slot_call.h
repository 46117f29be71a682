// Test support: calls an object's operation by slot number through its raw
// table, the way a caller built long ago does. The object is the hidden first
// argument: in ECX with the callee popping the arguments (thiscall) on 32-bit
// x86, as a plain first argument elsewhere.
//
// On 32-bit x86 every call also checks that the callee popped exactly the
// arguments pushed, which is how a wrong argument count shows up there (on
// x86-64 it goes unnoticed).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

// The operation table of `pObject`.
inline void* const* IfaceTable(const void* pObject)
{
    return *static_cast<void* const* const*>(pObject);
}

#if defined(__i386__)

// Pushes `nWords` words (last first), calls `pfn` with `pObject` in ECX and
// returns EDX:EAX. `*pnLeft` receives the bytes the callee left on the stack:
// 0 when it took exactly `nWords` words.
__attribute__((noinline)) inline uint64_t
CallThiscallWords(void* pObject, const void* pfn, int nWords, const uint32_t* pWords, int* pnLeft)
{
    uint32_t eax;
    uint32_t edx = (uint32_t)nWords;
    uint32_t ecx = (uint32_t)(uintptr_t)pObject;
    __asm__ volatile("movl %%esp, %%esi\n\t"
                     "1:\n\t"
                     "testl %%edx, %%edx\n\t"
                     "jz 2f\n\t"
                     "pushl -4(%%edi,%%edx,4)\n\t"
                     "decl %%edx\n\t"
                     "jmp 1b\n"
                     "2:\n\t"
                     "call *%%ebx\n\t"
                     "movl %%esi, %%ecx\n\t"
                     "subl %%esp, %%ecx\n\t"
                     "movl %%esi, %%esp\n\t"
                     : "=a"(eax), "+d"(edx), "+c"(ecx)
                     : "D"(pWords), "b"(pfn)
                     : "esi", "memory", "cc");
    *pnLeft = (int)ecx;
    return ((uint64_t)edx << 32) | eax;
}

// Appends `value` to `pWords` as the caller's stack would hold it.
template <typename A> void PushArgWords(uint32_t* pWords, int& nWords, const A& value)
{
    static_assert(std::is_trivially_copyable<A>::value && sizeof(A) <= 8,
                  "slot arguments are words or 64-bit values");
    uint32_t words[2] = {0, 0};
    memcpy(words, &value, sizeof(A));
    pWords[nWords++] = words[0];
    if (sizeof(A) > 4) pWords[nWords++] = words[1];
}

// Calls slot `slot` of `pObject` with arguments of exactly the types given.
template <typename R, typename... A> R CallSlot(void* pObject, int slot, A... args)
{
    static_assert(!std::is_floating_point<R>::value, "no slot returns a floating-point value");
    uint32_t words[2 * sizeof...(A) + 1] = {};
    int nWords = 0;
    (PushArgWords(words, nWords, args), ...);
    int nLeft = 0;
    uint64_t result = CallThiscallWords(pObject, IfaceTable(pObject)[slot], nWords, words, &nLeft);
    if (nLeft != 0)
        ADD_FAILURE() << "slot " << slot << " called with " << nWords * 4
                      << " bytes of arguments popped " << nWords * 4 - nLeft;
    if constexpr (std::is_void<R>::value)
    {
        (void)result;
    }
    else
    {
        static_assert(sizeof(R) <= 8, "results come back in EDX:EAX");
        R value;
        memcpy(&value, &result, sizeof(R));
        return value;
    }
}

#else

// Calls slot `slot` of `pObject` with arguments of exactly the types given.
template <typename R, typename... A> R CallSlot(void* pObject, int slot, A... args)
{
    typedef R (*SlotFn)(void*, A...);
    SlotFn pfn = reinterpret_cast<SlotFn>(IfaceTable(pObject)[slot]);
    return pfn(pObject, args...);
}

#endif

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
