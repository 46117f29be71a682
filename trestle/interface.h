// Reference-counted module loading and the process-wide interface registry.
#pragma once

#include "plinth/platform/platform_modules.h"

#include <cstdint>

// LoadModule flags.
enum : uint32_t
{
    // Only look up a module that is already loaded; no reference is added.
    LOADMODULE_ONLY_IF_LOADED = 0x1,
    // Use the altered search path on the last, bare-name attempt.
    LOADMODULE_ALTERED_SEARCH_PATH = 0x2,
};

// Longest module path handled by LoadModule, in UTF-8 bytes.
constexpr int MAX_UNICODE_PATH_IN_UTF8 = 131068;

// Loads `pchModuleName` (absolute, or relative to the current directory),
// completing ".dll" and falling back to the bare file name through the system
// search order. Each module obtained (unless LOADMODULE_ONLY_IF_LOADED) counts
// one reference in the loaded-module table.
PlatModule LoadModule(const char* pchModuleName, uint32_t flags);
// One load attempt: wide call first, then the ANSI call on the same bytes.
PlatModule LoadModuleFile(const char* pchPath, bool bAlteredSearchPath, uint32_t flags);
// Drops one reference (removing the entry at 0) and releases the module once,
// whether or not the table knew it. A null module is ignored.
void UnloadModule(PlatModule hModule);
// References the table holds for `hModule`; 0 when it is not listed.
int LoadedModuleRefCount(PlatModule hModule);

// Interface registry: a process-wide singly linked list walked from its head.
typedef void* (*InstantiateInterfaceFn)();
class InterfaceReg
{
public:
    // Registers at the head of the list; instances must live for the process.
    InterfaceReg(InstantiateInterfaceFn fnCreate, const char* pName);

    InstantiateInterfaceFn m_CreateFn;
    const char* m_pName;
    InterfaceReg* m_pNext;
    static InterfaceReg* s_pInterfaceRegs;
};

// Result codes of CreateInterface.
enum
{
    IFACE_OK = 0,
    IFACE_FAILED = 1,
};

// The first registration whose name equals `pName` exactly: sets
// *pReturnCode to IFACE_OK and returns what it creates. Otherwise
// IFACE_FAILED and null. pReturnCode may be null.
extern "C" void* CreateInterface(const char* pName, int* pReturnCode);
