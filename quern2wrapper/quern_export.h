// Marks a function or data item as part of the library's exported surface.
// On Windows the export table comes from quern.def (plain names, cdecl); on
// other systems the symbol only needs default visibility.
#pragma once

#if defined(_WIN32)
#define QUERN_EXPORT extern "C"
#else
#define QUERN_EXPORT extern "C" __attribute__((visibility("default")))
#endif
