// Internal to the platform layer: hands a debugger-output text to the
// installed observer.
#pragma once

void Plat_NotifyDebugOutputObserver(const char* pszText);
