// Windows, dialogs, message boxes and the clipboard over user32.
#include "plinth/platform/platform_dialog.h"

#include <windows.h>

#include <cstring>

namespace
{
struct FindWindowState
{
    DWORD m_processId;
    HWND m_hFound;
};

BOOL CALLBACK FindVisibleWindowProc(HWND hWnd, LPARAM lParam)
{
    FindWindowState* pState = reinterpret_cast<FindWindowState*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hWnd, &processId);
    if (processId == pState->m_processId && IsWindowVisible(hWnd))
    {
        pState->m_hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

struct DialogState
{
    PlatDialogHandler m_pfnHandler;
    void* m_pContext;
};

INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogState* pState;
    if (message == WM_INITDIALOG)
    {
        pState = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)pState);
        pState->m_pfnHandler((PlatWindow)hDlg, PLAT_DIALOG_INIT, 0, pState->m_pContext);
        return TRUE;
    }
    pState = reinterpret_cast<DialogState*>(GetWindowLongPtrA(hDlg, DWLP_USER));
    if (message == WM_COMMAND && pState)
    {
        return pState->m_pfnHandler((PlatWindow)hDlg, PLAT_DIALOG_COMMAND, LOWORD(wParam),
                                    pState->m_pContext)
                   ? TRUE
                   : FALSE;
    }
    return FALSE;
}
} // namespace

PlatWindow Plat_FindVisibleProcessWindow()
{
    FindWindowState state = {GetCurrentProcessId(), nullptr};
    EnumWindows(FindVisibleWindowProc, reinterpret_cast<LPARAM>(&state));
    return (PlatWindow)state.m_hFound;
}

bool Plat_ShowDialogFromResource(int resourceId, PlatWindow hParent, PlatDialogHandler pfnHandler,
                                 void* pContext)
{
    if (!pfnHandler) return false;
    DialogState state = {pfnHandler, pContext};
    INT_PTR rc = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resourceId), (HWND)hParent, DialogProc,
                                 reinterpret_cast<LPARAM>(&state));
    return rc != -1;
}

void Plat_EndDialog(PlatWindow hDialog, intptr_t result)
{
    EndDialog((HWND)hDialog, result);
}

void Plat_SetDialogItemText(PlatWindow hDialog, int controlId, const char* pszText)
{
    SetDlgItemTextA((HWND)hDialog, controlId, pszText ? pszText : "");
}

void Plat_SetDialogItemInt(PlatWindow hDialog, int controlId, int value, bool bSigned)
{
    SetDlgItemInt((HWND)hDialog, controlId, (UINT)value, bSigned ? TRUE : FALSE);
}

uint32_t Plat_GetDialogItemUInt(PlatWindow hDialog, int controlId, bool* pbOk)
{
    BOOL bTranslated = FALSE;
    UINT value = GetDlgItemInt((HWND)hDialog, controlId, &bTranslated, FALSE);
    if (pbOk) *pbOk = bTranslated != FALSE;
    return value;
}

int Plat_GetDialogItemTextLength(PlatWindow hDialog, int controlId)
{
    HWND hItem = GetDlgItem((HWND)hDialog, controlId);
    return hItem ? GetWindowTextLengthA(hItem) : 0;
}

void Plat_CenterWindowOnDesktop(PlatWindow hWindow)
{
    RECT rcDialog, rcDesktop;
    HWND hDesktop = GetDesktopWindow();
    if (!GetWindowRect((HWND)hWindow, &rcDialog) || !GetWindowRect(hDesktop, &rcDesktop)) return;
    int left = (rcDialog.left + rcDesktop.right - rcDialog.right - rcDesktop.left) / 2;
    int top = (rcDialog.top + rcDesktop.bottom - rcDialog.bottom - rcDesktop.top) / 2;
    SetWindowPos((HWND)hWindow, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

int Plat_MessageBox(PlatWindow hOwner, const char* pszText, const char* pszCaption, uint32_t flags)
{
    return MessageBoxA((HWND)hOwner, pszText, pszCaption, flags);
}

bool Plat_SetClipboardText(PlatWindow hOwner, const char* pszText, uint32_t cbAlloc)
{
    if (!pszText || cbAlloc == 0) return false;
    if (!OpenClipboard((HWND)hOwner)) return false;
    bool bOk = false;
    if (EmptyClipboard())
    {
        HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, cbAlloc);
        if (hMem)
        {
            char* pDest = static_cast<char*>(GlobalLock(hMem));
            if (pDest)
            {
                size_t len = strlen(pszText);
                if (len >= cbAlloc) len = cbAlloc - 1;
                memcpy(pDest, pszText, len);
                pDest[len] = 0;
                GlobalUnlock(hMem);
                bOk = SetClipboardData(CF_TEXT, hMem) != nullptr;
            }
            // The clipboard owns the memory only once SetClipboardData took it.
            if (!bOk) GlobalFree(hMem);
        }
    }
    if (!CloseClipboard()) bOk = false;
    return bOk;
}
