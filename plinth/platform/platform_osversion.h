// Version of the host operating system.
#pragma once

#include <cstdint>

struct PlatOSVersion
{
    uint32_t m_nMajor;
    uint32_t m_nMinor;
    // The product type is not workstation (a server edition).
    bool m_bServer;
};

// GetVersionExA with OSVERSIONINFOEXA. POSIX: reports 10.0, workstation, the
// version a current Windows host reports. False when the query fails.
bool Plat_GetOSVersion(PlatOSVersion* pVersion);
