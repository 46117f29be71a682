// The general interface factory lives in trestle; this reference makes the
// linker keep it so the library can export it.
#include "trestle/interface.h"

__attribute__((used)) static void* (*const s_pfnCreateInterfaceExport)(const char*,
                                                                       int*) = &CreateInterface;
