// Bounded string functions, comparisons, number parsing, hashing and path
// normalisation over NUL-terminated narrow (UTF-8) strings.
//
// Nothing here allocates or keeps state. Buffer sizes are signed byte counts
// that include room for the terminator; misuse (null pointers, bad sizes) is
// reported through ReportAssertion and answered with an empty/zero result.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "trestle/strtools_unicode.h"

#if defined(__GNUC__)
#define QUERN_FMT_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QUERN_FMT_PRINTF(fmt, args)
#endif

// --- Bounded copying, appending and formatting ---

// Copies at most destSize - 1 characters and always terminates (destSize 0
// writes nothing).
void V_BoundedCopy(char* pDest, const char* pSrc, int destSize);
// V_BoundedCopy to the end of pDest with the space that is left.
void V_BoundedAppend(char* pDest, const char* pSrc, int destSize);
// Appends min(maxChars, strlen(pSrc)) characters (all of them when maxChars is
// negative), cut to what fits. Returns pDest.
char* V_BoundedAppendCount(char* pDest, const char* pSrc, int destSize, int maxChars);
// printf into pDest; returns the number of characters stored (destSize - 1 when
// the output was cut). pDest is always terminated; destSize must be positive.
int V_BoundedFormat(char* pDest, int destSize, const char* pFormat, ...) QUERN_FMT_PRINTF(3, 4);
int V_BoundedFormatList(char* pDest, int destSize, const char* pFormat, va_list args)
    QUERN_FMT_PRINTF(3, 0);
// As V_BoundedFormatList; *pTruncated (optional) tells whether the output was cut.
int V_BoundedFormatListTruncated(char* pDest, int destSize, const char* pFormat, va_list args,
                                 bool* pTruncated) QUERN_FMT_PRINTF(3, 0);

// --- Comparison, search and case ---

// -1, 0 or 1 by signed character value over at most count characters.
int V_CompareCount(const char* pStr1, const char* pStr2, int count);
// Same, folding 'a'..'z' to upper case (ASCII only). Use 0x7FFFFFFF for a
// whole-string comparison.
int V_CompareNoCaseCount(const char* pStr1, const char* pStr2, int count);
// First occurrence of pSearch in pStr ignoring case; null when absent or empty.
const char* V_FindNoCase(const char* pStr, const char* pSearch);
char* V_FindNoCase(char* pStr, const char* pSearch);
// Where the suffix begins inside pStr when pStr ends with it (ignoring ASCII
// case), else null.
const char* V_EndsWithNoCase(const char* pStr, const char* pSuffix);
char* V_EndsWithNoCase(char* pStr, const char* pSuffix);
// 'A'..'Z' to 'a'..'z' in place; returns pStr.
char* V_LowerAscii(char* pStr);
char V_ToLowerAscii(char c);

// --- Numbers, bytes and hashing ---

// Decimal, "0x" hexadecimal or 'c' character value with optional sign; no
// white space skipping. *ppEnd (optional) receives where parsing stopped.
int V_atoi(const char* pText, const char** ppEnd = nullptr);
// Two lower-case hex digits per input byte (whole bytes only), always terminated.
void V_BytesToHex(const void* pIn, int inBytes, char* pOut, int outSize);
// MurmurHash3 x86 32-bit. With foldCase every byte has bit 0x20 cleared before
// mixing so ASCII letters hash alike regardless of case; equality must still
// be decided by a real comparison.
uint32_t V_HashMurmur3(const void* pData, int length, uint32_t seed, bool foldCase);

// --- Paths ('/' and '\' are both slashes on input; '\' is written) ---

#define CORRECT_PATH_SEPARATOR '\\'
#define INCORRECT_PATH_SEPARATOR '/'

inline bool V_IsSlash(char c)
{
    return c == '/' || c == '\\';
}

// Replaces every slash by separator.
void V_SetSlashes(char* pPath, char separator = CORRECT_PATH_SEPARATOR);
// Collapses doubled slashes after the first character (a leading "\\" stays).
void V_CollapseSlashPairs(char* pPath);
// Appends '\' to a non-empty path not ending in a slash; running out of space
// is an error that ends the process.
void V_AppendSlash(char* pPath, int pathSize);
// True if the path contains ':' or starts with a slash.
bool V_PathIsAbsolute(const char* pPath);
// The extension after the last '.' of the file name, or null.
const char* V_FileExtensionOf(const char* pPath);
char* V_FileExtensionOf(char* pPath);
void V_CopyFileExtension(const char* pPath, char* pOut, int outSize);
// Directory part including its trailing slash ("a\b\c" -> "a\b\"); false when
// there is none. pOut may be pPath.
bool V_CopyDirectoryPart(const char* pPath, char* pOut, int outSize);
// File name without directory and extension ("a\b.txt" -> "b").
void V_CopyFileBaseName(const char* pPath, char* pOut, int outSize);
// The character after the last slash, or the whole path.
const char* V_FileNamePart(const char* pPath);
char* V_FileNamePart(char* pPath);
// Cuts at the last slash at index 1 or beyond; no such slash gives "".
void V_TruncateAtLastSlash(char* pPath);
// Unifies slashes to separator and resolves "." and ".." segments in place.
// False when the path climbs above its start (the path is then partly rewritten).
bool V_RemoveDotSlashes(char* pPath, char separator = CORRECT_PATH_SEPARATOR);
// Makes pPath absolute against pStartingDir (optional; relative ones are taken
// from the current directory) and resolves dot segments, writing '\'.
void V_MakeAbsolutePath(char* pOut, int outSize, const char* pPath,
                        const char* pStartingDir = nullptr);
