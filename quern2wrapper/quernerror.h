// The error record every legacy call fills, and the per-call log line.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <cstddef>

#if defined(_WIN32) && !defined(_WIN64)
// The record is shared with applications built long ago; its layout is fixed.
static_assert(offsetof(TQuernError, failureType) == 0, "TQuernError layout");
static_assert(offsetof(TQuernError, detailedErrorType) == 4, "TQuernError layout");
static_assert(offsetof(TQuernError, detailedErrorCode) == 8, "TQuernError layout");
static_assert(offsetof(TQuernError, description) == 12, "TQuernError layout");
static_assert(sizeof(TQuernError) == 268, "TQuernError layout");
static_assert(offsetof(QuernProgress, valid) == 0, "QuernProgress layout");
static_assert(offsetof(QuernProgress, percentDone) == 4, "QuernProgress layout");
static_assert(offsetof(QuernProgress, description) == 8, "QuernProgress layout");
static_assert(sizeof(QuernOfflineStatus) == 8, "QuernOfflineStatus layout");
#endif

// Size of TQuernError::description.
constexpr int QUERN_ERROR_TEXT_SIZE = 255;

// Turns on the per-call log lines of the exports. Written only by the
// start-up mount step.
extern unsigned char verboseLogging;

// Clears the three numbers and the first byte of the text; a null record is
// skipped.
void ClearError(TQuernError* pError);
// failureType = `failureType`, text copied with strncpy rules (count 255).
// A null record is skipped.
void SetError(TQuernError* pError, const char* pText, int failureType);
// Same; `pIgnored` (the path a search was made for) is not used.
void SetError(TQuernError* pError, const char* pText, const char* pIgnored, int failureType);

// Formats into 4,096 bytes and writes the text to the debugger output.
void DebugOutputFormatted(const char* pFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The per-call log line: written only when verboseLogging is on.
#define QUERN_VERBOSE_LOG(...)                                                                     \
    do                                                                                             \
    {                                                                                              \
        if (verboseLogging) DebugOutputFormatted(__VA_ARGS__);                                     \
    } while (0)
