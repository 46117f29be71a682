// Path splitting and normalisation. Both '/' and '\' are accepted as slashes;
// '\' is the separator written unless the caller names another.
#include <cstring>

#include "plinth/dbg.h"
#include "plinth/platform/platform_env.h"
#include "trestle/strtools.h"

// Stringified here, not through QAssertAt, so NULL in the text stays "NULL".
#define STR_ASSERT(cond) ((cond) ? true : (AssertFailed("strtools", __LINE__, #cond), false))

void V_SetSlashes(char* pPath, char separator)
{
    if (!STR_ASSERT(pPath != NULL)) return;
    for (; *pPath; ++pPath)
    {
        if (V_IsSlash(*pPath)) *pPath = separator;
    }
}

void V_CollapseSlashPairs(char* pPath)
{
    if (!STR_ASSERT(pPath != NULL)) return;
    int len = static_cast<int>(strlen(pPath));
    // Index 0 is never the first of a pair, so a leading "\\" (network path)
    // survives.
    for (int i = 1; i < len - 1; ++i)
    {
        if (V_IsSlash(pPath[i]) && V_IsSlash(pPath[i + 1]))
        {
            memmove(pPath + i, pPath + i + 1, static_cast<size_t>(len - i));
            --len;
        }
    }
}

void V_AppendSlash(char* pPath, int pathSize)
{
    if (!STR_ASSERT(pPath != NULL)) return;
    int len = static_cast<int>(strlen(pPath));
    if (len == 0 || V_IsSlash(pPath[len - 1])) return;
    if (len + 1 >= pathSize)
    {
        SpewError("V_AppendSlash: ran out of space on %s.", pPath);
        return;
    }
    pPath[len] = CORRECT_PATH_SEPARATOR;
    pPath[len + 1] = '\0';
}

bool V_PathIsAbsolute(const char* pPath)
{
    if (!STR_ASSERT(pPath != NULL)) return false;
    return V_IsSlash(pPath[0]) || strchr(pPath, ':') != nullptr;
}

const char* V_FileExtensionOf(const char* pPath)
{
    if (!STR_ASSERT(pPath != NULL)) return nullptr;
    for (const char* p = pPath + strlen(pPath); p > pPath;)
    {
        --p;
        if (V_IsSlash(*p)) return nullptr;
        if (*p == '.') return p[1] ? p + 1 : nullptr;
    }
    return nullptr;
}

char* V_FileExtensionOf(char* pPath)
{
    return const_cast<char*>(V_FileExtensionOf(const_cast<const char*>(pPath)));
}

void V_CopyFileExtension(const char* pPath, char* pOut, int outSize)
{
    if (!STR_ASSERT(pOut != NULL) || outSize <= 0) return;
    pOut[0] = '\0';
    if (!pPath) return;
    const char* pExt = V_FileExtensionOf(pPath);
    if (pExt) V_BoundedCopy(pOut, pExt, outSize);
}

bool V_CopyDirectoryPart(const char* pPath, char* pOut, int destSize)
{
    if (!STR_ASSERT(destSize >= 1) || !STR_ASSERT(pOut != NULL)) return false;
    if (pOut != pPath) pOut[0] = '\0';
    if (!pPath || pPath[0] == '\0') return false;
    int len = static_cast<int>(strlen(pPath));
    // The last slash before the final character: "a\b\" gives "a\".
    int slash = len - 2;
    while (slash >= 0 && !V_IsSlash(pPath[slash]))
        --slash;
    if (slash < 0)
    {
        pOut[0] = '\0';
        return false;
    }
    int count = slash + 1;
    if (count > destSize - 1) count = destSize - 1;
    memmove(pOut, pPath, static_cast<size_t>(count));
    pOut[count] = '\0';
    return true;
}

void V_CopyFileBaseName(const char* in, char* out, int maxlen)
{
    if (!STR_ASSERT(maxlen >= 1) || !STR_ASSERT(out)) return;
    if (!STR_ASSERT(in) || in[0] == '\0')
    {
        out[0] = '\0';
        return;
    }
    const char* pStart = V_FileNamePart(in);
    const char* pEnd = strrchr(pStart, '.');
    if (!pEnd) pEnd = pStart + strlen(pStart);
    int count = static_cast<int>(pEnd - pStart);
    if (count > maxlen - 1) count = maxlen - 1;
    memmove(out, pStart, static_cast<size_t>(count));
    out[count] = '\0';
}

const char* V_FileNamePart(const char* pPath)
{
    if (!STR_ASSERT(pPath != NULL)) return nullptr;
    const char* pName = pPath;
    for (const char* p = pPath; *p; ++p)
    {
        if (V_IsSlash(*p)) pName = p + 1;
    }
    return pName;
}

char* V_FileNamePart(char* pPath)
{
    return const_cast<char*>(V_FileNamePart(const_cast<const char*>(pPath)));
}

void V_TruncateAtLastSlash(char* pPath)
{
    if (!STR_ASSERT(pPath != NULL)) return;
    int last = -1;
    for (int i = 1; pPath[0] && pPath[i]; ++i)
    {
        if (V_IsSlash(pPath[i])) last = i;
    }
    pPath[last > 0 ? last : 0] = '\0';
}

bool V_RemoveDotSlashes(char* pPath, char separator)
{
    if (!STR_ASSERT(pPath != NULL)) return false;
    V_SetSlashes(pPath, separator);
    int len = static_cast<int>(strlen(pPath));

    // "\.\" becomes "\"; stay on the same index so runs like "\.\.\" reduce fully.
    for (int i = 0; i <= len - 3;)
    {
        if (pPath[i] == separator && pPath[i + 1] == '.' && pPath[i + 2] == separator)
        {
            memmove(pPath + i, pPath + i + 2, static_cast<size_t>(len - i - 1));
            len -= 2;
        }
        else
        {
            ++i;
        }
    }
    if (len > 2 && pPath[len - 2] == separator && pPath[len - 1] == '.') pPath[--len] = '\0';
    if (len > 1 && pPath[0] == '.' && pPath[1] == separator)
    {
        memmove(pPath, pPath + 2, static_cast<size_t>(len - 1));
        len -= 2;
    }

    // Resolve one ".." at a time, starting over after each change.
    for (;;)
    {
        int dots = -1;
        for (int i = 0; i + 1 < len; ++i)
        {
            if (pPath[i] == '.' && pPath[i + 1] == '.' && (i == 0 || pPath[i - 1] == separator) &&
                (pPath[i + 2] == '\0' || pPath[i + 2] == separator))
            {
                dots = i;
                break;
            }
        }
        if (dots < 0) return true;
        if (dots == 0 || (dots == 1 && pPath[0] == separator)) return false;
        int from = dots - 2;
        while (from > 0 && pPath[from] != separator)
            --from;
        // A drive ("C:") and a server name ("\\srv") are roots too: dropping
        // them would re-root the path silently.
        if (pPath[from] != separator && memchr(pPath, ':', static_cast<size_t>(dots))) return false;
        if (pPath[0] == separator && pPath[1] == separator && from <= 1) return false;
        int to = dots + 2;
        memmove(pPath + from, pPath + to, static_cast<size_t>(len - to + 1));
        len -= to - from;
    }
}

void V_MakeAbsolutePath(char* pOut, int outSize, const char* pPath, const char* pStartingDir)
{
    if (!STR_ASSERT(pOut != NULL) || !STR_ASSERT(outSize > 0)) return;
    if (!STR_ASSERT(pPath != NULL))
    {
        pOut[0] = '\0';
        return;
    }

    if (V_PathIsAbsolute(pPath))
    {
        V_BoundedCopy(pOut, pPath, outSize);
    }
    else
    {
        if (pStartingDir && V_PathIsAbsolute(pStartingDir))
        {
            V_BoundedCopy(pOut, pStartingDir, outSize);
        }
        else
        {
            uint32_t cwdLen = Plat_GetCurrentDirectory(pOut, static_cast<uint32_t>(outSize));
            if (cwdLen == 0 || cwdLen >= static_cast<uint32_t>(outSize))
            {
                AssertFailed("strtools", __LINE__, "V_MakeAbsolutePath: _getcwd failed.");
                pOut[0] = '\0';
            }
            if (pStartingDir)
            {
                V_AppendSlash(pOut, outSize);
                V_BoundedAppend(pOut, pStartingDir, outSize);
            }
        }
        V_AppendSlash(pOut, outSize);
        V_BoundedAppend(pOut, pPath, outSize);
    }

    if (!V_RemoveDotSlashes(pOut, CORRECT_PATH_SEPARATOR))
    {
        char message[256];
        V_BoundedFormat(message, sizeof(message), "V_RemoveDotSlashes failed for \"%s\".", pOut);
        AssertFailed("strtools", __LINE__, message);
    }
}
