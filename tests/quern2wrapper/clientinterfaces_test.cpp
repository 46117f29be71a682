// The client stand-in called through its raw operation tables by slot number:
// the numbers are fixed by the client, not by the declarations. Every slot the
// library uses is called here with the client's argument count; on 32-bit x86
// each call also checks that the stand-in, built from the same declarations as
// the library's calls, pops exactly that many arguments.
#include "tests/quern2wrapper/session_test_support.h"
#include "tests/support/slot_call.h"

#include "plinth/platform/platform_modules.h"
#include "quern2wrapper/clientinterfaces.h"

#include <gtest/gtest.h>

#include <string>

TEST(ClientInterfacesSlots, EveryOperationAtItsSlot)
{
    ResetStandInEnv();
    SetEnv("QUERN_STANDIN_APPID", "220");
    SetEnv("QUERN_STANDIN_ACCOUNT", "76561197960265729");
    SetEnv("QUERN_STANDIN_INSTALLDIR_220", "C:\\Games\\Two");
    SetEnv("QUERN_STANDIN_DEPOTS_220", "221,222,223");
    SetEnv("QUERN_STANDIN_INSTALLED", "7,222");
    PlatModule hModule = Plat_LoadLibraryW(BinaryPath("quernclient.dll").c_str());
    ASSERT_NE(nullptr, hModule);
    auto pfnFactory = (QuernCreateInterfaceFn)Plat_GetProcAddress(hModule, "CreateInterface");
    ASSERT_NE(nullptr, pfnFactory);
    int code = -1;
    EXPECT_EQ(nullptr, pfnFactory("QuernClient016", &code));
    EXPECT_EQ(1, code);
    void* pClient = pfnFactory(QUERNCLIENT_INTERFACE_VERSION, &code);
    ASSERT_NE(nullptr, pClient);
    EXPECT_EQ(0, code);

    StartStandInLog();
    HQuernPipe hPipe = CallSlot<HQuernPipe>(pClient, 0);
    HQuernUser hUser = CallSlot<HQuernUser>(pClient, 2, hPipe);
    void* pUser = CallSlot<void*>(pClient, 5, hUser, hPipe, QUERNUSER_INTERFACE_VERSION);
    void* pUtils = CallSlot<void*>(pClient, 9, hPipe, QUERNUTILS_INTERFACE_VERSION);
    void* pApps = CallSlot<void*>(pClient, 15, hUser, hPipe, QUERNAPPS_INTERFACE_VERSION);
    ASSERT_TRUE(pUser && pUtils && pApps);

    EXPECT_EQ(220u, CallSlot<uint32_t>(pUtils, 9));
    EXPECT_EQ(76561197960265729ull, CallSlot<uint64_t>(pUser, 2));
    uint32_t depots[2] = {};
    EXPECT_EQ(2u, CallSlot<uint32_t>(pApps, 17, 220u, depots, 2u));
    EXPECT_EQ(221u, depots[0]);
    EXPECT_EQ(222u, depots[1]);
    char szDir[8];
    CallSlot<uint32_t>(pApps, 18, 220u, szDir, (uint32_t)sizeof(szDir));
    EXPECT_STREQ("C:\\Game", szDir) << "cut and terminated";
    EXPECT_TRUE(CallSlot<bool>(pApps, 19, 222u));
    EXPECT_FALSE(CallSlot<bool>(pApps, 19, 22u));

    CallSlot<void>(pClient, 4, hPipe, hUser);
    CallSlot<bool>(pClient, 1, hPipe);
    const std::vector<std::string> expected = {
        "client.OpenPipe() -> 17",
        "client.AttachUser(17) -> 34",
        "client.GetUserInterface(34, 17, QuernUser019) -> user",
        "client.GetUtilsInterface(17, QuernUtils009) -> utils",
        "client.GetAppsInterface(34, 17, QUERNAPPS_INTERFACE_VERSION008) -> apps",
        "utils.GetRunningAppId() -> 220",
        "user.GetUserIdentity() -> 76561197960265729",
        "apps.ListInstalledDepots(220, 2) -> 2",
        "apps.GetInstallFolder(220, 8) -> C:\\Games\\Two",
        "apps.QueryInstalled(222) -> 1",
        "apps.QueryInstalled(22) -> 0",
        "client.DetachUser(17, 34)",
        "client.ClosePipe(17) -> 1",
    };
    EXPECT_EQ(expected, ReadStandInLog());

    Plat_FreeLibrary(hModule);
    ResetStandInEnv();
}
