// The session with the platform client: what QuernStartup obtains and
// QuernCleanup gives back.
#pragma once

#include "plinth/platform/platform_modules.h"
#include "quern2wrapper/clientinterfaces.h"

#include <cstdint>

constexpr int QUERN_INSTALL_DIR_SIZE = 1024;

extern PlatModule g_hClientModule;
extern IQuernClient017* g_pClient;
extern HQuernPipe g_hPipe;
extern HQuernUser g_hUser;
extern IQuernUtils009* g_pUtils;
extern IQuernUser019* g_pUser;
extern IQuernApps008* g_pApps;
extern QuernAppId g_nAppId;
extern char g_szAppInstallDir[QUERN_INSTALL_DIR_SIZE];

// The last step of QuernStartup: the file layer's start-up (working
// directory, default packs). True until the file layer provides it.
bool QuernStartup_FileLayer();
// Cleanup of the crash-dump module, if one is loaded. Nothing until the
// crash-dump entry points provide it.
void QuernCleanup_CrashDumpModule();
