#include "plinth/platform/platform_osversion.h"

bool Plat_GetOSVersion(PlatOSVersion* pVersion)
{
    if (!pVersion) return false;
    pVersion->m_nMajor = 10;
    pVersion->m_nMinor = 0;
    pVersion->m_bServer = false;
    return true;
}
