// Shared helpers of the tools' tests.
#pragma once

#include <cstdio>
#include <string>

// Everything written to the temporary file `f`, which is closed.
inline std::string Drain(FILE* f)
{
    std::string s;
    fflush(f);
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}
