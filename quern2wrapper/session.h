// The session with the platform client: what QuernStartup obtains and
// QuernCleanup gives back.
#pragma once

#include "plinth/platform/platform_modules.h"
#include "quern2wrapper/clientinterfaces.h"

#include <cstdint>

constexpr int QUERN_INSTALL_DIR_SIZE = 1024;

// What QuernStartup obtains from the client (QuernCleanup gives it back) and
// the application the session serves.
struct QuernSession
{
    PlatModule m_hClientModule;
    IQuernClient017* m_pClient;
    HQuernPipe m_hPipe;
    HQuernUser m_hUser;
    IQuernUtils009* m_pUtils;
    IQuernUser019* m_pUser;
    IQuernApps008* m_pApps;
    QuernAppId m_nAppId;
    char m_szAppInstallDir[QUERN_INSTALL_DIR_SIZE];
};

extern QuernSession g_Session;

struct TQuernError;
// QuernStartup up to the file layer: loads the client library, obtains the
// interfaces and records the application and its install folder. 1 on
// success; failures are set in the record as QuernStartup reports them.
int QuernStartup_Client(TQuernError* pError);
// The last step of QuernStartup: the file layer's start-up (working
// directory, default packs); defined with the file layer (files/mount.cpp).
bool QuernStartup_FileLayer();
// Unloads the crash-dump module, if one is loaded; defined with the
// crash-dump entry points (minidump_entry.cpp).
void QuernCleanup_CrashDumpModule();
