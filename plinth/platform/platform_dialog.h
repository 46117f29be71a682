// Windows, dialogs, message boxes and the clipboard, as far as the assert
// dialog needs them. POSIX has none of these: every call answers as if no
// window could be shown.
#pragma once

#include <cstdint>

typedef struct PlatWindow_s* PlatWindow;

// The first top-level window that is visible and belongs to this process
// (EnumWindows order); null when there is none.
PlatWindow Plat_FindVisibleProcessWindow();

// Events a dialog handler receives.
enum PlatDialogEvent
{
    PLAT_DIALOG_INIT = 0,    // the dialog was created; fill the fields
    PLAT_DIALOG_COMMAND = 1, // a control sent a command; `controlId` names it
};
// Returns true when it handled the event.
typedef bool (*PlatDialogHandler)(PlatWindow hDialog, PlatDialogEvent event, int controlId,
                                  void* pContext);

// DialogBoxParam on template `resourceId` of the host executable (module
// handle null), modal, owned by `hParent`. Returns false when the dialog could
// not be shown (template missing); true once it was closed.
bool Plat_ShowDialogFromResource(int resourceId, PlatWindow hParent, PlatDialogHandler pfnHandler,
                                 void* pContext);
// EndDialog.
void Plat_EndDialog(PlatWindow hDialog, intptr_t result);
// SetDlgItemText (UTF-8 text) / SetDlgItemInt.
void Plat_SetDialogItemText(PlatWindow hDialog, int controlId, const char* pszText);
void Plat_SetDialogItemInt(PlatWindow hDialog, int controlId, int value, bool bSigned);
// GetDlgItemInt unsigned: *pbOk tells whether the field held a number.
uint32_t Plat_GetDialogItemUInt(PlatWindow hDialog, int controlId, bool* pbOk);
// GetWindowTextLength of the control.
int Plat_GetDialogItemTextLength(PlatWindow hDialog, int controlId);
// Moves the dialog to the centre of the desktop window, keeping its size.
void Plat_CenterWindowOnDesktop(PlatWindow hWindow);

// Message box flags (Windows values).
enum : uint32_t
{
    PLAT_MB_OK = 0x0,
    PLAT_MB_ICONERROR = 0x10,
    PLAT_MB_TASKMODAL = 0x2000,
};
// MessageBoxA; 0 when no box could be shown.
int Plat_MessageBox(PlatWindow hOwner, const char* pszText, const char* pszCaption, uint32_t flags);

// Puts `pszText` on the clipboard as plain text: opens and empties the
// clipboard, copies the text into movable global memory of `cbAlloc` bytes
// (the text is cut to fit) and hands it over. False when any step fails.
bool Plat_SetClipboardText(PlatWindow hOwner, const char* pszText, uint32_t cbAlloc);
