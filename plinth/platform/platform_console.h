// Standard streams of command-line tools: terminal detection and binary mode.
#pragma once

#include <cstdio>

// True when the stream is an interactive terminal (console).
bool Plat_IsTerminal(FILE* pStream);
// Switches the stream to binary mode so bytes pass untranslated (Windows
// text mode would turn "\n" into "\r\n"). Does nothing where there is no
// text mode.
void Plat_SetBinaryMode(FILE* pStream);
