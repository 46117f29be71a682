// Internal to the platform layer: hands a debugger-output text to the
// installed observer, and asks the tests' stand-in debugger.
#pragma once

void Plat_NotifyDebugOutputObserver(const char* pszText);
// Whether a stand-in debugger is set.
bool Plat_DebuggerStandInPresent();
// Hands a break to the stand-in; false when there is none.
bool Plat_DebuggerStandInBreak();
