// Internal to the platform layer: strict UTF-8 / UTF-16 conversion. The POSIX
// stand-ins use it to check and convert names; the Windows files use it
// (through WideText in win32_support.h) to turn the caller's UTF-8 into wide
// arguments, so invalid text is refused alike on both sides.
#pragma once

// Converts a terminated text; returns the units written including the
// terminator, or 0 when the input is invalid or does not fit. With a null
// output (or 0 units) only measures.
int Plat_Utf8ToUtf16(const char* pszIn, char16_t* pOut, int cOutUnits);
int Plat_Utf16ToUtf8(const char16_t* pIn, char* pszOut, int cbOut);

// Converts into a fresh block (free with Plat_FreeConverted); null when the
// input is null or invalid.
char16_t* Plat_Utf8ToUtf16Alloc(const char* pszIn);
char* Plat_Utf16ToUtf8Alloc(const char16_t* pIn);
void Plat_FreeConverted(void* pBlock);
