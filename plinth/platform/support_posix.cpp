// Helpers shared by the POSIX stand-ins of the platform layer.
#include "plinth/platform/posix_support.h"

#include <cstring>

namespace
{

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool Posix_WindowsNameMatch(const char* pszPattern, const char* pszName)
{
    // The set of name positions reachable after the pattern read so far, one
    // flag per position. Directory entry names are at most 255 bytes; a
    // longer name is no entry name and matches nothing.
    constexpr size_t kMaxName = 1024;
    const size_t nName = strlen(pszName);
    if (nName >= kMaxName) return false;
    bool bReach[kMaxName + 1];
    memset(bReach, 0, (nName + 1) * sizeof(bool));
    bReach[0] = true;

    // Where the closing run of '.' and '*' begins: from there on, a name
    // that is used up matches whatever of the pattern is left.
    const char* pszTail = pszPattern + strlen(pszPattern);
    while (pszTail > pszPattern && (pszTail[-1] == '.' || pszTail[-1] == '*'))
        --pszTail;

    for (const char* p = pszPattern; *p; ++p)
    {
        if (p >= pszTail && bReach[nName]) return true;
        bool bAny = false;
        if (*p == '*')
        {
            // Every position from the first reachable one on.
            bool bSeen = false;
            for (size_t i = 0; i <= nName; ++i)
            {
                bSeen = bSeen || bReach[i];
                bReach[i] = bSeen;
            }
            bAny = bSeen;
        }
        else
        {
            // One character; walk backwards so that each position is read
            // before the step from the one below overwrites it.
            for (size_t i = nName + 1; i-- > 0;)
            {
                const bool bStep = bReach[i] && pszName[i] != '\0' &&
                                   (*p == '?' || FoldAscii(pszName[i]) == FoldAscii(*p));
                bReach[i] = false;
                if (bStep)
                {
                    bReach[i + 1] = true;
                    bAny = true;
                }
            }
        }
        if (!bAny) return false;
    }
    return bReach[nName];
}
