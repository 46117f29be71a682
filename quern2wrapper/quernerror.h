// The error record every legacy call fills, and the per-call log line.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <cstddef>

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
