// No windowing here: every call answers as if no window could be shown.
#include "plinth/platform/platform_dialog.h"

PlatWindow Plat_FindVisibleProcessWindow()
{
    return nullptr;
}

bool Plat_ShowDialogFromResource(int, PlatWindow, PlatDialogHandler, void*)
{
    return false;
}

void Plat_EndDialog(PlatWindow, intptr_t) {}

void Plat_SetDialogItemText(PlatWindow, int, const char*) {}

void Plat_SetDialogItemInt(PlatWindow, int, int, bool) {}

uint32_t Plat_GetDialogItemUInt(PlatWindow, int, bool* pbOk)
{
    if (pbOk) *pbOk = false;
    return 0;
}

int Plat_GetDialogItemTextLength(PlatWindow, int)
{
    return 0;
}

void Plat_CenterWindowOnDesktop(PlatWindow) {}

int Plat_MessageBox(PlatWindow, const char*, const char*, uint32_t)
{
    return 0;
}

bool Plat_SetClipboardText(PlatWindow, const char*, uint32_t)
{
    return false;
}
