// The helpers every bndtool command uses, and the path patterns.
#include "tools/bndtool/bndtool_internal.h"
#include "bndlib/packwriter.h"
#include "plinth/threadtools.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace bndtool
{

bool IsHelp(const char* psz)
{
    return strcmp(psz, "--help") == 0 || strcmp(psz, "-h") == 0;
}

int Usage(FILE* pErr, const char* pszUsage, const char* pszFormat, ...)
{
    if (pszFormat)
    {
        va_list args;
        va_start(args, pszFormat);
        fputs("bndtool: ", pErr);
        vfprintf(pErr, pszFormat, args);
        fputs("\n\n", pErr);
        va_end(args);
    }
    fputs(pszUsage, pErr);
    return PACKTOOL_USAGE;
}

int Failed(FILE* pErr, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    fputs("bndtool: ", pErr);
    vfprintf(pErr, pszFormat, args);
    fputs("\n", pErr);
    va_end(args);
    return PACKTOOL_FAILED;
}

namespace
{
// The first line waits this long, so quick work prints nothing; then the line
// is redrawn at most this often.
const uint32_t kProgressDelayMs = 300;
const uint32_t kProgressRedrawMs = 200;

void FormatBytes(char* psz, int nSize, uint64_t ul)
{
    if (ul >= (1ull << 30))
        V_BoundedFormat(psz, nSize, "%.2f GB", (double)ul / (1ull << 30));
    else if (ul >= (1ull << 20))
        V_BoundedFormat(psz, nSize, "%.1f MB", (double)ul / (1ull << 20));
    else
        V_BoundedFormat(psz, nSize, "%llu kB", (unsigned long long)(ul >> 10));
}
} // namespace

Progress::Progress(FILE* pErr, const char* pszWhat, int nFiles, uint64_t ulTotal, bool bQuiet)
    : m_pErr(pErr), m_pszWhat(pszWhat), m_nFiles(nFiles), m_ulTotal(ulTotal),
      m_msStart(Plat_MSTime()), m_msLastDraw(0), m_bActive(!bQuiet && Plat_IsTerminal(pErr)),
      m_bShown(false)
{
}

void Progress::Update(int nFilesDone, uint64_t ulDone)
{
    if (!m_bActive) return;
    uint32_t msNow = Plat_MSTime();
    uint32_t msElapsed = msNow - m_msStart;
    if (msElapsed < kProgressDelayMs) return;
    if (m_bShown && msNow - m_msLastDraw < kProgressRedrawMs) return;
    m_msLastDraw = msNow;
    char szLine[256];
    Format(szLine, sizeof(szLine), m_pszWhat, nFilesDone, m_nFiles, ulDone, m_ulTotal, msElapsed);
    fprintf(m_pErr, "\r%s\033[K", szLine);
    fflush(m_pErr);
    m_bShown = true;
}

void Progress::Clear()
{
    if (m_bShown)
    {
        fputs("\r\033[K", m_pErr);
        fflush(m_pErr);
    }
    m_bShown = false;
}

void Progress::Done()
{
    Clear();
    m_bActive = false;
}

void Progress::Format(char* psz, int nSize, const char* pszWhat, int nFilesDone, int nFiles,
                      uint64_t ulDone, uint64_t ulTotal, uint32_t msElapsed)
{
    char szDone[32], szTotal[32], szRate[32], szLeft[32];
    FormatBytes(szDone, sizeof(szDone), ulDone);
    FormatBytes(szTotal, sizeof(szTotal), ulTotal);
    int nPercent = ulTotal ? (int)(ulDone * 100 / ulTotal) : 100;
    if (msElapsed == 0 || ulDone == 0)
    {
        V_BoundedCopy(szRate, "-", sizeof(szRate));
        V_BoundedCopy(szLeft, "--:--", sizeof(szLeft));
    }
    else
    {
        uint64_t ulRate = ulDone * 1000 / msElapsed;
        FormatBytes(szRate, sizeof(szRate), ulRate);
        uint64_t ulSecondsLeft =
            ulDone >= ulTotal ? 0 : ((ulTotal - ulDone) * msElapsed / ulDone + 999) / 1000;
        if (ulSecondsLeft >= 3600)
            V_BoundedFormat(szLeft, sizeof(szLeft), "%llu:%02llu:%02llu",
                            (unsigned long long)(ulSecondsLeft / 3600),
                            (unsigned long long)(ulSecondsLeft / 60 % 60),
                            (unsigned long long)(ulSecondsLeft % 60));
        else
            V_BoundedFormat(szLeft, sizeof(szLeft), "%llu:%02llu",
                            (unsigned long long)(ulSecondsLeft / 60),
                            (unsigned long long)(ulSecondsLeft % 60));
    }
    V_BoundedFormat(psz, nSize, "%s: %d/%d files, %s/%s (%d%%), %s/s, %s left", pszWhat, nFilesDone,
                    nFiles, szDone, szTotal, nPercent, szRate, szLeft);
}

void WriterProgress(uint64_t ulDone, uint64_t, void* pContext)
{
    CreateProgress& create = *(CreateProgress*)pContext;
    create.m_pProgress->Update(create.m_pWriter->GetFilesWritten(), ulDone);
}

namespace
{
// Length of the well-formed UTF-8 sequence at p (2 to 4), or 0.
int Utf8SequenceLength(const unsigned char* p)
{
    int n = p[0] >= 0xC2 && p[0] <= 0xDF   ? 2
            : p[0] >= 0xE0 && p[0] <= 0xEF ? 3
            : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4
                                           : 0;
    for (int i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    // No overlong forms, surrogates or code points past U+10FFFF.
    if ((p[0] == 0xE0 && p[1] < 0xA0) || (p[0] == 0xED && p[1] > 0x9F) ||
        (p[0] == 0xF0 && p[1] < 0x90) || (p[0] == 0xF4 && p[1] > 0x8F))
        return 0;
    return n;
}
} // namespace

void JsonString(FILE* pOut, const char* psz)
{
    fputc('"', pOut);
    for (const unsigned char* p = (const unsigned char*)psz; *p; ++p)
    {
        if (*p == '"' || *p == '\\')
            fprintf(pOut, "\\%c", *p);
        else if (*p < 0x20 || *p == 0x7F)
            fprintf(pOut, "\\u%04x", *p);
        else if (*p < 0x80)
            fputc(*p, pOut);
        else if (int n = Utf8SequenceLength(p))
        {
            fwrite(p, 1, (size_t)n, pOut);
            p += n - 1;
        }
        else
            // JSON is UTF-8: a name in some other encoding (a pack made
            // elsewhere) keeps its place with the replacement character.
            fputs("\\ufffd", pOut);
    }
    fputc('"', pOut);
}

void PackBaseOf(const char* pszName, char* pszBase, int nSize)
{
    V_BoundedCopy(pszBase, pszName, nSize);
    if (char* pSuffix = V_EndsWithNoCase(pszBase, BND_DIRECTORY_FILE_SUFFIX)) *pSuffix = 0;
}

bool ParseSize(const char* psz, uint64_t* pulOut)
{
    char* pEnd = nullptr;
    unsigned long long ull = strtoull(psz, &pEnd, 10);
    if (pEnd == psz) return false;
    switch (*pEnd)
    {
    case 'k':
    case 'K':
        ull <<= 10;
        ++pEnd;
        break;
    case 'm':
    case 'M':
        ull <<= 20;
        ++pEnd;
        break;
    case 'g':
    case 'G':
        ull <<= 30;
        ++pEnd;
        break;
    default:
        break;
    }
    if (*pEnd) return false;
    *pulOut = ull;
    return true;
}

void FormatPath(const PackEntryInfo& info, char* pszOut, int nSize)
{
    pszOut[0] = 0;
    if (strcmp(info.m_pszDirectory, " ") != 0)
    {
        V_BoundedAppend(pszOut, info.m_pszDirectory, nSize);
        V_BoundedAppend(pszOut, "/", nSize);
    }
    V_BoundedAppend(pszOut, info.m_pszName, nSize);
    if (strcmp(info.m_pszExtension, " ") != 0)
    {
        V_BoundedAppend(pszOut, ".", nSize);
        V_BoundedAppend(pszOut, info.m_pszExtension, nSize);
    }
}

bool CollectEntry(const PackEntryInfo& info, void* pContext)
{
    CUtlVector<ToolEntry>& entries = *(CUtlVector<ToolEntry>*)pContext;
    char szPath[600];
    FormatPath(info, szPath, sizeof(szPath));
    int i = entries.AddToTail();
    entries[i].m_path.Set(szPath);
    entries[i].m_info = info;
    return true;
}

void CollectEntries(const PackStore& store, CUtlVector<ToolEntry>* pEntries)
{
    store.EnumerateEntries(CollectEntry, pEntries);
    std::stable_sort(pEntries->begin(), pEntries->end(),
                     [](const ToolEntry& a, const ToolEntry& b)
                     { return strcmp(a.m_path.Get(), b.m_path.Get()) < 0; });
}

bool MatchesAny(const char* pszPath, int nPatterns, const char* const* ppszPatterns)
{
    if (nPatterns == 0) return true;
    for (int i = 0; i < nPatterns; ++i)
        if (PackTool_PathMatches(ppszPatterns[i], pszPath)) return true;
    return false;
}

bool FindPack(const char* pszName, char* pszBase, int nBaseSize, FILE* pErr)
{
    PackBaseOf(pszName, pszBase, nBaseSize);
    char szDirFile[1100];
    V_BoundedFormat(szDirFile, sizeof(szDirFile), BND_DIRECTORY_FILE_FORMAT, pszBase);
    char szLower[1100];
    V_BoundedCopy(szLower, szDirFile, sizeof(szLower));
    V_LowerAscii(szLower);
    if (!BFileExists(szDirFile) && !BFileExists(szLower))
    {
        Failed(pErr, "cannot open pack \"%s\": no file %s", pszName, szDirFile);
        return false;
    }
    return true;
}

int ParseOnePack(int argc, const char* const* argv, const char* pszUsage, const char* pszCommand,
                 FILE* pOut, FILE* pErr, const char** ppszPack, bool* pbJson, bool* pbQuiet)
{
    *ppszPack = nullptr;
    for (int i = 0; i < argc; ++i)
    {
        if (IsHelp(argv[i]))
        {
            fputs(pszUsage, pOut);
            return PACKTOOL_OK;
        }
        if (pbJson && strcmp(argv[i], "--json") == 0)
        {
            *pbJson = true;
            continue;
        }
        if (pbQuiet && (strcmp(argv[i], "--quiet") == 0 || strcmp(argv[i], "-q") == 0))
        {
            *pbQuiet = true;
            continue;
        }
        if (argv[i][0] == '-' && argv[i][1])
            return Usage(pErr, pszUsage, "unknown option %s", argv[i]);
        if (*ppszPack) return Usage(pErr, pszUsage, "too many arguments");
        *ppszPack = argv[i];
    }
    if (!*ppszPack) return Usage(pErr, pszUsage, "%s needs a pack", pszCommand);
    return PACKTOOL_CONTINUE;
}

bool CheckLoaded(const PackStore& store, FILE* pErr)
{
    if (!store.IsDamaged()) return true;
    Failed(pErr, BND_DIRECTORY_FILE_FORMAT " is not a readable pack (%s)", store.GetBasePath(),
           store.GetDamage());
    return false;
}

void FormatArchive(int nArchive, char* psz, int nSize)
{
    if (nArchive == BND_DIRECTORY_ARCHIVE_INDEX)
        V_BoundedCopy(psz, "dir", nSize);
    else
        V_BoundedFormat(psz, nSize, "%03d", nArchive);
}

} // namespace bndtool

namespace
{
char FoldChar(char c)
{
    if (c == '\\') return '/';
    return V_ToLowerAscii(c);
}

bool Glob(const char* p, const char* s)
{
    // Iterative match with one backtrack point for the last '*'.
    const char* pStar = nullptr;
    const char* sStar = nullptr;
    while (*s)
    {
        if (*p == '*')
        {
            pStar = p++;
            sStar = s;
        }
        else if (*p && (*p == '?' || FoldChar(*p) == FoldChar(*s)))
        {
            ++p;
            ++s;
        }
        else if (pStar)
        {
            p = pStar + 1;
            s = ++sStar;
        }
        else
            return false;
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}
} // namespace

bool PackTool_PathMatches(const char* pszPattern, const char* pszPath)
{
    if (!pszPattern || !pszPath) return false;
    size_t len = strlen(pszPattern);
    if (len && (pszPattern[len - 1] == '/' || pszPattern[len - 1] == '\\'))
    {
        char szPrefix[1024];
        V_BoundedFormat(szPrefix, sizeof(szPrefix), "%s*", pszPattern);
        return Glob(szPrefix, pszPath);
    }
    return Glob(pszPattern, pszPath);
}
