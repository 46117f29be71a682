// Any bytes through the Unicode conversions and the path functions: nothing
// may read or write outside its buffer, and every output must be terminated
// inside the buffer it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "trestle/strtools.h"

namespace
{

void Check(bool ok)
{
    if (!ok) abort();
}

template <typename T> bool TerminatedWithin(const T* p, size_t units)
{
    for (size_t i = 0; i < units; ++i)
    {
        if (p[i] == 0) return true;
    }
    return false;
}

// Runs one conversion into an exact-size heap buffer (so the sanitizer sees
// any overrun) and checks the result against the measured size.
template <typename In, typename Out>
void FuzzConversion(int (*convert)(const In*, Out*, int, int), const In* pIn, int outBytes,
                    int flags)
{
    int needed = convert(pIn, nullptr, 0, flags);
    Check(needed >= 0);
    std::vector<Out> out(static_cast<size_t>(outBytes) / sizeof(Out) + 1);
    int result = convert(pIn, out.data(), outBytes, flags);
    if (outBytes < static_cast<int>(sizeof(Out)))
    {
        Check(result == 0);
        return;
    }
    size_t units = static_cast<size_t>(outBytes) / sizeof(Out);
    Check(TerminatedWithin(out.data(), units));
    if (!(flags & ConvertMeasureOnOverflow)) Check(result <= outBytes);
    // A conversion that fits reports the measured size; with the overflow flag
    // a cut one does too.
    if (needed != 0 && needed <= outBytes) Check(result == needed);
    if ((flags & ConvertMeasureOnOverflow) && needed > outBytes) Check(result == needed);
}

void FuzzPathInPlace(const std::vector<char>& text, void (*fn)(std::vector<char>&))
{
    std::vector<char> copy(text);
    fn(copy);
    Check(TerminatedWithin(copy.data(), copy.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const int flags = data[0] & 0x0B;
    const int outBytes = data[1] % 64;
    data += 2;
    size -= 2;

    // Narrow input, terminated; embedded NULs simply end it early.
    std::vector<char> text(data, data + size);
    text.push_back('\0');

    FuzzConversion<char, char16_t>(V_UTF8ToUTF16, text.data(), outBytes, flags);

    std::vector<char16_t> wide(size / 2 + 1, 0);
    memcpy(wide.data(), data, size / 2 * 2);
    FuzzConversion<char16_t, char>(V_UTF16ToUTF8, wide.data(), outBytes, flags);

    std::vector<char32_t> wider(size / 4 + 1, 0);
    memcpy(wider.data(), data, size / 4 * 4);
    FuzzConversion<char32_t, char>(V_UTF32ToUTF8, wider.data(), outBytes, flags);
    FuzzConversion<char32_t, char16_t>(V_UTF32ToUTF16, wider.data(), outBytes, flags);

    FuzzPathInPlace(text, [](std::vector<char>& p) { V_RemoveDotSlashes(p.data(), '\\'); });
    FuzzPathInPlace(text, [](std::vector<char>& p) { V_CollapseSlashPairs(p.data()); });
    FuzzPathInPlace(text, [](std::vector<char>& p) { V_TruncateAtLastSlash(p.data()); });
    FuzzPathInPlace(text, [](std::vector<char>& p)
                    { V_CopyDirectoryPart(p.data(), p.data(), static_cast<int>(p.size())); });

    const char* path = text.data();
    size_t len = strlen(path);
    const char* ext = V_FileExtensionOf(path);
    Check(!ext || (ext > path && ext <= path + len));
    const char* name = V_FileNamePart(path);
    Check(name >= path && name <= path + len);
    V_PathIsAbsolute(path);

    if (outBytes > 0)
    {
        std::vector<char> out(static_cast<size_t>(outBytes));
        V_CopyFileBaseName(path, out.data(), outBytes);
        Check(TerminatedWithin(out.data(), out.size()));
        V_CopyFileExtension(path, out.data(), outBytes);
        Check(TerminatedWithin(out.data(), out.size()));
        V_CopyDirectoryPart(path, out.data(), outBytes);
        Check(TerminatedWithin(out.data(), out.size()));
        // Only absolute inputs: a relative one would consult the current
        // directory, and a long one would end the process on purpose.
        if (V_PathIsAbsolute(path))
        {
            V_MakeAbsolutePath(out.data(), outBytes, path, nullptr);
            Check(TerminatedWithin(out.data(), out.size()));
        }
        V_BoundedCopy(out.data(), path, outBytes);
        Check(strlen(out.data()) == (len < out.size() ? len : out.size() - 1));
        V_BoundedAppend(out.data(), path, outBytes);
        Check(TerminatedWithin(out.data(), out.size()));
    }
    const char* pEnd = nullptr;
    V_atoi(path, &pEnd);
    Check(pEnd >= path && pEnd <= path + len);
    V_HashMurmur3(data, static_cast<int>(size), 0, (flags & 1) != 0);
    return 0;
}
