// ASCII case folding for names that compare without case (debugger switches,
// spew groups, registry keys, file names): other bytes are left alone, so
// UTF-8 text passes through unchanged and no locale is consulted.
#pragma once

inline char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
