// Diagnostics: spew messages, assertions and fatal exits.
//
// Every internal fault of the library is reported through ReportAssertion;
// every diagnostic line goes through the spew routines below. Nothing else
// formats its own assertion or log text.
#pragma once

#include <cstdarg>

enum SpewKind
{
    SPEW_KIND_MESSAGE = 0,
    SPEW_KIND_WARNING = 1,
    SPEW_KIND_ASSERT = 2,
    SPEW_KIND_ERROR = 3,
};

enum SpewResult
{
    SPEW_BREAK_IN = 0,
    SPEW_PROCEED = 1,
    SPEW_ABORT = 2,
};

// The only entry for assertions. `message` is the full text ("Assertion
// Failed: ..." or "Fatal Assertion Failed: ..."); `dump` is handed to the
// crash-dump writer untouched.
void ReportAssertion(const char* message, bool fatal, const char* file, int line, bool dump);

// Convenience forms: format "Assertion Failed: %s" / "Fatal Assertion Failed: %s"
// with `expression` into a 256-byte buffer and report it.
void AssertFailed(const char* file, int line, const char* expression);
void AssertFailedFatal(const char* file, int line, const char* expression);
// Formats `format` into a 256-byte buffer and reports the result as is.
void AssertMsgFailed(bool fatal, const char* file, int line, const char* format, ...);

// Reports "Assertion Failed: <expr>" with an explicit source name and line when
// `cond` is false; evaluates to the condition so callers can bail out:
//   if (!QAssertAt(pDest != NULL, "strtools", 120)) return;
#define QAssertAt(cond, source, line)                                                              \
    ((cond) ? true : (AssertFailed((source), (line), #cond), false))
#define QAssertFatalAt(cond, source, line)                                                         \
    ((cond) ? true : (AssertFailedFatal((source), (line), #cond), false))

void SpewSetSource(SpewKind kind, const char* file, int line);
SpewResult SpewFormatted(const char* format, ...);
SpewResult SpewWithKind(SpewKind kind, const char* format, va_list args);
SpewResult SpewMessage(const char* format, ...);
SpewResult SpewWarning(const char* format, ...);
// With the default handler this writes the text and ends the process (exit code 1).
SpewResult SpewError(const char* format, ...);
SpewResult SpewGroupMessage(const char* group, int level, const char* format, ...);
bool IsSpewActive(const char* group, int level);

[[noreturn]] void _ExitOnFatalAssert(const char* file, int line, const char* message);
bool ShouldBreakOnAssert(const char* file, int line, const char* expression);
bool HasCommandLineSwitch(const char* name);
bool IsMainThread();
