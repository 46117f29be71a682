// The interface objects "Quern003" to "Quern006" and their factory _f. The
// objects hold nothing but their operation table; every operation forwards to
// the export of the same meaning, a few with their arguments adapted.
#include "quern2wrapper/interfaces.h"

#include "plinth/platform/platform_debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// Definitions of the slots in an implementation class.
#define QI_DEFINE_OP(result, name, params, args)                                                   \
    result name params override                                                                    \
    {                                                                                              \
        return ::name args;                                                                        \
    }
#define QI_DEFINE_STUB(n, name)                                                                    \
    int name(QI_STUB_PARAMS_##n) override                                                          \
    {                                                                                              \
        return ::name(QI_STUB_ARGS_##n);                                                           \
    }
// Unused slots answer 0 and do nothing else.
#define QI_DEFINE_GAP(slot)                                                                        \
    int Unused##slot() override                                                                    \
    {                                                                                              \
        return 0;                                                                                  \
    }

// The singletons live until the process ends; a caller deleting one through
// slot 0 must not free them.
#define QI_DEFINE_SLOT0                                                                            \
    void* DestructorSlot(unsigned int) override                                                    \
    {                                                                                              \
        return this;                                                                               \
    }

// The line of an operation the library does not carry out; the qualified name
// is the one the operation was always known by.
#define QI_NOT_IMPLEMENTED(cls, op)                                                                \
    Plat_OutputDebugString("Wrapper not implemented:`anonymous-namespace'::" #cls "::" #op)

#define QI_DEFINE_OWN_122_125(cls)                                                                 \
    void Win32SetMiniDumpComment(const char*) override                                             \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, Win32SetMiniDumpComment);                                          \
    }                                                                                              \
    void Win32SetMiniDumpSourceControlId(uint32_t) override                                        \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, Win32SetMiniDumpSourceControlId);                                  \
    }                                                                                              \
    void Win32SetMiniDumpEnableFullMemory() override                                               \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, Win32SetMiniDumpEnableFullMemory);                                 \
    }                                                                                              \
    void Win32WriteMiniDump(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg)  \
        override                                                                                   \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, Win32WriteMiniDump);                                               \
    }

// The server list of the interfaces never reaches the server-list exports.
#define QI_DEFINE_OWN_135_137(cls)                                                                 \
    int FindServersNumServers(uint32_t) override                                                   \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, FindServersNumServers);                                            \
        return 0;                                                                                  \
    }                                                                                              \
    int FindServersIterateServer(uint32_t, uint32_t, char*, int) override                          \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, FindServersIterateServer);                                         \
        return 0;                                                                                  \
    }                                                                                              \
    const char* FindServersGetErrorString() override                                               \
    {                                                                                              \
        QI_NOT_IMPLEMENTED(cls, FindServersGetErrorString);                                        \
        return "Wrapper not implemented";                                                          \
    }

#define QI_DEFINE_OWN_149                                                                          \
    int Unnamed149() override                                                                      \
    {                                                                                              \
        return 1;                                                                                  \
    }

namespace
{
class CQuernInterface006 final : public IQuernInterface
{
public:
    QI_DEFINE_SLOT0
    QI_SLOTS_001_015(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOT_016_V006(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOTS_017_043(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    int QuernStartEngine(TQuernError* pError) override
    {
        return ::QuernStartEngineEx(pError, 0, 0);
    }
    QI_SLOTS_045_064(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOT_065_V005(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOTS_066_090(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOT_091_V006(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOTS_092_121(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_DEFINE_OWN_122_125(CQuernInterface006)
    QI_SLOTS_126_127(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOTS_128_134(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_DEFINE_OWN_135_137(CQuernInterface006)
    QI_SLOTS_138_148(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_DEFINE_OWN_149
    // Slot 150, the one operation beyond the interface.
    virtual int QuernSetUser2(QI_STUB_PARAMS_2) { return ::QuernSetUser2(QI_STUB_ARGS_2); }
};

class IQuernInterface005
{
public:
    QI_DECLARE_SLOT0
    QI_SLOTS_001_121_OLD(QI_SLOT_065_V005, QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_DECLARE_OWN_122_125
    QI_SLOTS_126_127(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOTS_128_134(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)

protected:
    ~IQuernInterface005() = default;
};

class CQuernInterface005 final : public IQuernInterface005
{
public:
    QI_DEFINE_SLOT0
    QI_SLOTS_001_121_OLD(QI_SLOT_065_V005, QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_DEFINE_OWN_122_125(CQuernInterface005)
    QI_SLOTS_126_127(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_SLOTS_128_134(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
};

class IQuernInterface004
{
public:
    QI_DECLARE_SLOT0
    QI_SLOTS_001_121_OLD(QI_SLOT_065_V003, QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_DECLARE_OWN_122_125
    QI_SLOTS_126_127(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)

protected:
    ~IQuernInterface004() = default;
};

class CQuernInterface004 final : public IQuernInterface004
{
public:
    QI_DEFINE_SLOT0
    QI_SLOTS_001_121_OLD(QI_SLOT_065_V003, QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
    QI_DEFINE_OWN_122_125(CQuernInterface004)
    QI_SLOTS_126_127(QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
};

class IQuernInterface003
{
public:
    QI_DECLARE_SLOT0
    QI_SLOTS_001_121_OLD(QI_SLOT_065_V003, QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)

protected:
    ~IQuernInterface003() = default;
};

class CQuernInterface003 final : public IQuernInterface003
{
public:
    QI_DEFINE_SLOT0
    QI_SLOTS_001_121_OLD(QI_SLOT_065_V003, QI_DEFINE_OP, QI_DEFINE_STUB, QI_DEFINE_GAP)
};

// One process-wide object of T in static storage, made by Create() once and
// ended by Destroy() at exit. The flag is a plain one: the first _f call is
// expected before concurrent use.
template <class T> class InterfaceSingleton
{
public:
    static void Create()
    {
        if (s_bCreated) return;
        s_bCreated = true;
        s_pObject = new (s_storage) T;
    }
    static void Destroy()
    {
        if (!s_pObject) return;
        s_pObject->~T();
        s_pObject = nullptr;
    }
    static T* Get() { return s_pObject; }

private:
    static bool s_bCreated;
    static T* s_pObject;
    alignas(T) static unsigned char s_storage[sizeof(T)];
};

template <class T> bool InterfaceSingleton<T>::s_bCreated = false;
template <class T> T* InterfaceSingleton<T>::s_pObject = nullptr;
template <class T> alignas(T) unsigned char InterfaceSingleton<T>::s_storage[sizeof(T)];

void DestroyInterfaces()
{
    InterfaceSingleton<CQuernInterface006>::Destroy();
    InterfaceSingleton<CQuernInterface005>::Destroy();
    InterfaceSingleton<CQuernInterface004>::Destroy();
    InterfaceSingleton<CQuernInterface003>::Destroy();
}

void CreateInterfaces()
{
    static bool s_bExitRegistered = false;
    InterfaceSingleton<CQuernInterface003>::Create();
    InterfaceSingleton<CQuernInterface004>::Create();
    InterfaceSingleton<CQuernInterface005>::Create();
    InterfaceSingleton<CQuernInterface006>::Create();
    if (!s_bExitRegistered)
    {
        s_bExitRegistered = true;
        atexit(DestroyInterfaces);
    }
}
} // namespace

QUERN_EXPORT void* _f(const char* pszVersion)
{
    CreateInterfaces();
    if (!pszVersion) return nullptr;

    if (strcmp(pszVersion, "Quern003") == 0)
        return static_cast<IQuernInterface003*>(InterfaceSingleton<CQuernInterface003>::Get());
    if (strcmp(pszVersion, "Quern004") == 0)
        return static_cast<IQuernInterface004*>(InterfaceSingleton<CQuernInterface004>::Get());
    if (strcmp(pszVersion, "Quern005") == 0)
        return static_cast<IQuernInterface005*>(InterfaceSingleton<CQuernInterface005>::Get());
    if (strcmp(pszVersion, "Quern006") == 0)
        return static_cast<IQuernInterface*>(InterfaceSingleton<CQuernInterface006>::Get());

    char szMessage[256];
    snprintf(szMessage, sizeof(szMessage), "Quern interface not implemented: %s", pszVersion);
    Plat_OutputDebugString(szMessage);
    return nullptr;
}

bool QuernInterfacesCreated()
{
    return InterfaceSingleton<CQuernInterface003>::Get() &&
           InterfaceSingleton<CQuernInterface004>::Get() &&
           InterfaceSingleton<CQuernInterface005>::Get() &&
           InterfaceSingleton<CQuernInterface006>::Get();
}
