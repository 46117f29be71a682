// The helpers every bndtool command uses, and the path patterns.
#include "tools/bndtool/bndtool_internal.h"

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

void WriterProgress(uint64_t ulDone, uint64_t, void* pContext)
{
    ((Progress*)pContext)->Update(ulDone);
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
                 FILE* pOut, FILE* pErr, const char** ppszPack)
{
    *ppszPack = nullptr;
    for (int i = 0; i < argc; ++i)
    {
        if (IsHelp(argv[i]))
        {
            fputs(pszUsage, pOut);
            return PACKTOOL_OK;
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
    Failed(pErr, BND_DIRECTORY_FILE_FORMAT " is not a readable pack (damaged directory tree)",
           store.GetBasePath());
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
