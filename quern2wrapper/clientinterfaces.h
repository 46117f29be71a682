// The platform client's interfaces, as far as this library uses them.
//
// Each interface is an object whose first word points to its operation
// table; the slot numbers are fixed by the client. Member calls use the
// platform's member calling convention (thiscall on 32-bit Windows). No
// interface declares a virtual destructor, because compilers disagree on how
// many slots one takes; the Reserved operations only hold the unused slots so
// that the used ones sit at their numbers (their bodies are empty, so that an
// implementation defines only what it answers). Nothing here may be reordered.
#pragma once

#include <cstdint>

typedef int32_t HQuernPipe;
typedef int32_t HQuernUser;
typedef uint32_t QuernAppId;
typedef uint32_t QuernDepotId;

#define QUERNCLIENT_INTERFACE_VERSION "QuernClient017"
#define QUERNUTILS_INTERFACE_VERSION "QuernUtils009"
#define QUERNUSER_INTERFACE_VERSION "QuernUser019"
#define QUERNAPPS_INTERFACE_VERSION "QUERNAPPS_INTERFACE_VERSION008"

// The client library's exported factory "CreateInterface".
typedef void* (*QuernCreateInterfaceFn)(const char* pVersion, int* pReturnCode);

class IQuernClient017
{
public:
    virtual HQuernPipe OpenPipe() = 0;                               // 0
    virtual bool ClosePipe(HQuernPipe hPipe) = 0;                    // 1
    virtual HQuernUser AttachUser(HQuernPipe hPipe) = 0;             // 2
    virtual void Reserved3() {}                                      // 3
    virtual void DetachUser(HQuernPipe hPipe, HQuernUser hUser) = 0; // 4
    virtual void* GetUserInterface(HQuernUser hUser, HQuernPipe hPipe,
                                   const char* pVersion) = 0;                    // 5
    virtual void Reserved6() {}                                                  // 6
    virtual void Reserved7() {}                                                  // 7
    virtual void Reserved8() {}                                                  // 8
    virtual void* GetUtilsInterface(HQuernPipe hPipe, const char* pVersion) = 0; // 9
    virtual void Reserved10() {}                                                 // 10
    virtual void Reserved11() {}                                                 // 11
    virtual void Reserved12() {}                                                 // 12
    virtual void Reserved13() {}                                                 // 13
    virtual void Reserved14() {}                                                 // 14
    virtual void* GetAppsInterface(HQuernUser hUser, HQuernPipe hPipe,
                                   const char* pVersion) = 0; // 15
};

class IQuernUtils009
{
public:
    virtual void Reserved0() {}
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual void Reserved3() {}
    virtual void Reserved4() {}
    virtual void Reserved5() {}
    virtual void Reserved6() {}
    virtual void Reserved7() {}
    virtual void Reserved8() {}
    virtual QuernAppId GetRunningAppId() = 0; // 9
};

class IQuernUser019
{
public:
    virtual void Reserved0() {}
    virtual void Reserved1() {}
    // The low 32 bits are the account number.
    virtual uint64_t GetUserIdentity() = 0; // 2
};

class IQuernApps008
{
public:
    virtual void Reserved0() {}
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual void Reserved3() {}
    virtual void Reserved4() {}
    virtual void Reserved5() {}
    virtual void Reserved6() {}
    virtual void Reserved7() {}
    virtual void Reserved8() {}
    virtual void Reserved9() {}
    virtual void Reserved10() {}
    virtual void Reserved11() {}
    virtual void Reserved12() {}
    virtual void Reserved13() {}
    virtual void Reserved14() {}
    virtual void Reserved15() {}
    virtual void Reserved16() {}
    // Writes at most `maxDepots` ids; returns how many it wrote.
    virtual uint32_t ListInstalledDepots(QuernAppId appId, QuernDepotId* pDepots,
                                         uint32_t maxDepots) = 0; // 17
    // Fills pBuffer with the install directory, terminated.
    virtual uint32_t GetInstallFolder(QuernAppId appId, char* pBuffer,
                                      uint32_t bufferSize) = 0; // 18
    virtual bool QueryInstalled(uint32_t id) = 0;               // 19
};
