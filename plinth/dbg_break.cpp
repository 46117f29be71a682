// The break decision for assertions: switches, the ignore list and the assert
// dialog with its message-box fallback.
#include "plinth/dbg.h"
#include "plinth/asciicase.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
struct AssertIgnoreEntry
{
    char m_szFile[512];
    int m_nMinLine;
    int m_nMaxLine;
    int m_nRemaining;
    AssertIgnoreEntry* m_pNext;
};

// Touched only on the main thread with the minidump lock held.
AssertIgnoreEntry* g_pAssertIgnoreList = nullptr;
bool g_bAssertsEnabled = true;
int g_nNearbyLinesDefault = 5;
int g_nRepeatCountDefault = 1;

struct AssertDialogSubject
{
    const char* m_pszFile;
    int m_nLine;
    const char* m_pszExpression;
    bool m_bResult;
};
AssertDialogSubject g_AssertSubject;

enum
{
    IDD_ASSERT_DIALOG = 101,
    IDC_FILENAME = 1000,
    IDC_LINE = 1001,
    IDC_IGNORE_FILE = 1002,
    IDC_IGNORE_NEARBY = 1003,
    IDC_IGNORE_NUMLINES = 1004,
    IDC_IGNORE_NUMTIMES = 1005,
    IDC_BREAK = 1006,
    IDC_IGNORE_ALL = 1008,
    IDC_IGNORE_THIS = 1009,
    IDC_IGNORE_TIMES = 1010,
    IDC_COPY_CLIPBOARD = 1011,
    IDC_ASSERT_MSG = 1012,
    IDC_CANCEL = 2,
};

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && LowerAscii(*a) == LowerAscii(*b); ++a, ++b)
    {
    }
    return LowerAscii(*a) == LowerAscii(*b);
}

void CopyToClipboard(PlatWindow hDialog)
{
    uint32_t cb = (uint32_t)(Plat_GetDialogItemTextLength(hDialog, IDC_LINE) +
                             Plat_GetDialogItemTextLength(hDialog, IDC_FILENAME) +
                             Plat_GetDialogItemTextLength(hDialog, IDC_ASSERT_MSG) + 100);
    char* pszText = static_cast<char*>(malloc(cb));
    bool bOk = false;
    if (pszText)
    {
        snprintf(pszText, cb, "File: %s\r\nLine: %d\r\nAssertion: %s\r\n",
                 g_AssertSubject.m_pszFile ? g_AssertSubject.m_pszFile : "",
                 g_AssertSubject.m_nLine,
                 g_AssertSubject.m_pszExpression ? g_AssertSubject.m_pszExpression : "");
        bOk = Plat_SetClipboardText(hDialog, pszText, cb);
        free(pszText);
    }
    if (!bOk) Plat_MessageBox(hDialog, "Assert", "Couldn't copy to clipboard.", PLAT_MB_ICONERROR);
}

bool AssertDialogHandler(PlatWindow hDialog, PlatDialogEvent event, int controlId, void*)
{
    const AssertDialogSubject& subject = g_AssertSubject;
    const char* pszFile = subject.m_pszFile ? subject.m_pszFile : "";
    if (event == PLAT_DIALOG_INIT)
    {
        Plat_SetDialogItemText(hDialog, IDC_FILENAME, pszFile);
        Plat_SetDialogItemInt(hDialog, IDC_LINE, subject.m_nLine, false);
        Plat_SetDialogItemText(hDialog, IDC_ASSERT_MSG, subject.m_pszExpression);
        Plat_SetDialogItemInt(hDialog, IDC_IGNORE_NUMLINES, g_nNearbyLinesDefault, false);
        Plat_SetDialogItemInt(hDialog, IDC_IGNORE_TIMES, g_nRepeatCountDefault, false);
        Plat_CenterWindowOnDesktop(hDialog);
        return true;
    }
    bool bOk = false;
    switch (controlId)
    {
    case IDC_IGNORE_FILE:
        AssertIgnoreList_Add(pszFile, -1, -1, -1);
        Plat_EndDialog(hDialog, 0);
        return true;
    case IDC_IGNORE_THIS:
        AssertIgnoreList_Add(pszFile, subject.m_nLine, subject.m_nLine, -1);
        Plat_EndDialog(hDialog, 0);
        return true;
    case IDC_IGNORE_NEARBY:
    {
        uint32_t n = Plat_GetDialogItemUInt(hDialog, IDC_IGNORE_NUMLINES, &bOk);
        if (!bOk || n == 0) return true;
        // Lines within n of this one, both ways, clamped to the int range.
        long long lo = (long long)subject.m_nLine - n, hi = (long long)subject.m_nLine + n;
        if (lo < 0) lo = 0;
        if (hi > 0x7FFFFFFF) hi = 0x7FFFFFFF;
        AssertIgnoreList_Add(pszFile, (int)lo, (int)hi, -1);
        Plat_EndDialog(hDialog, 0);
        return true;
    }
    case IDC_IGNORE_NUMTIMES:
    {
        uint32_t n = Plat_GetDialogItemUInt(hDialog, IDC_IGNORE_TIMES, &bOk);
        if (bOk && AssertIgnoreList_AddForCount(pszFile, subject.m_nLine, n))
            g_nRepeatCountDefault = (int)n;
        Plat_EndDialog(hDialog, 0);
        return true;
    }
    case IDC_BREAK:
        g_AssertSubject.m_bResult = true;
        Plat_EndDialog(hDialog, 0);
        return true;
    case IDC_IGNORE_ALL:
        g_bAssertsEnabled = false;
        Plat_EndDialog(hDialog, 0);
        return true;
    case IDC_COPY_CLIPBOARD:
        CopyToClipboard(hDialog);
        return true;
    case IDC_CANCEL:
        g_AssertSubject.m_bResult = false;
        Plat_EndDialog(hDialog, 0);
        return true;
    }
    return false;
}
} // namespace

void AssertIgnoreList_Add(const char* pszFile, int minLine, int maxLine, int count)
{
    AssertIgnoreEntry* pEntry = static_cast<AssertIgnoreEntry*>(calloc(1, sizeof(*pEntry)));
    if (!pEntry) return;
    snprintf(pEntry->m_szFile, sizeof(pEntry->m_szFile), "%s", pszFile ? pszFile : "");
    pEntry->m_nMinLine = minLine;
    pEntry->m_nMaxLine = maxLine;
    pEntry->m_nRemaining = count;
    pEntry->m_pNext = g_pAssertIgnoreList;
    g_pAssertIgnoreList = pEntry;
}

bool AssertIgnoreList_AddForCount(const char* pszFile, int line, uint32_t nTimes)
{
    // An entry's count includes the hit that uses it up (count c hides c - 1
    // hits), so n hidden hits take n + 1.
    if (nTimes == 0 || nTimes >= 0x7FFFFFFF) return false;
    AssertIgnoreList_Add(pszFile, line, line, (int)nTimes + 1);
    return true;
}

bool AssertIgnoreList_ShouldShow(const char* pszFile, int line)
{
    if (!pszFile) pszFile = "";
    AssertIgnoreEntry** ppLink = &g_pAssertIgnoreList;
    while (AssertIgnoreEntry* pEntry = *ppLink)
    {
        bool bMatch = EqualNoCase(pEntry->m_szFile, pszFile) &&
                      ((pEntry->m_nMinLine == -1 && pEntry->m_nMaxLine == -1) ||
                       (pEntry->m_nMinLine <= line && line <= pEntry->m_nMaxLine));
        if (!bMatch)
        {
            ppLink = &pEntry->m_pNext;
            continue;
        }
        if (pEntry->m_nRemaining <= 0) return false;
        if (--pEntry->m_nRemaining > 0) return false;
        // Used up: drop it and look further.
        *ppLink = pEntry->m_pNext;
        free(pEntry);
    }
    return true;
}

int AssertIgnoreList_Count()
{
    int n = 0;
    for (AssertIgnoreEntry* pEntry = g_pAssertIgnoreList; pEntry; pEntry = pEntry->m_pNext)
        ++n;
    return n;
}

void AssertIgnoreList_Clear()
{
    while (AssertIgnoreEntry* pEntry = g_pAssertIgnoreList)
    {
        g_pAssertIgnoreList = pEntry->m_pNext;
        free(pEntry);
    }
}

bool ShouldBreakOnAssert(const char* file, int line, const char* expression)
{
    if (HasCommandLineSwitch("-noassert") || HasCommandLineSwitch("-nocrashdialog")) return false;
    // The dialog belongs to the main thread; elsewhere only a debugger decides.
    if (!IsMainThread()) return Plat_IsDebuggerPresent();
    if (HasCommandLineSwitch("-debugbreak")) return true;
    if (!g_bAssertsEnabled) return false;
    if (!AssertIgnoreList_ShouldShow(file, line)) return false;

    g_AssertSubject.m_pszFile = file;
    g_AssertSubject.m_nLine = line;
    g_AssertSubject.m_pszExpression = expression;
    g_AssertSubject.m_bResult = false;
    PlatWindow hParent = Plat_FindVisibleProcessWindow();
    if (hParent)
        Plat_ShowDialogFromResource(IDD_ASSERT_DIALOG, hParent, AssertDialogHandler, nullptr);
    else
        Plat_MessageBox(nullptr, expression ? expression : "", "Assert Dialog",
                        PLAT_MB_OK | PLAT_MB_TASKMODAL);
    return g_AssertSubject.m_bResult;
}
