#include "plinth/platform/platform_osversion.h"

#include <windows.h>

bool Plat_GetOSVersion(PlatOSVersion* pVersion)
{
    if (!pVersion) return false;
    OSVERSIONINFOEXA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    BOOL bOk = GetVersionExA((OSVERSIONINFOA*)&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!bOk) return false;
    pVersion->m_nMajor = info.dwMajorVersion;
    pVersion->m_nMinor = info.dwMinorVersion;
    pVersion->m_bServer = info.wProductType != VER_NT_WORKSTATION;
    return true;
}
