// Arbitrary bytes parsed as key-values text; the tree is walked with every
// typed read, written back as text and deleted.
#include "trestle/keyvalues.h"
#include "trestle/utlbuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace
{
void Walk(KeyValues* pNode, int nDepth)
{
    for (; pNode; pNode = pNode->GetNextKey())
    {
        ConversionStatus status;
        (void)pNode->GetName();
        (void)KeyValues::IntValue(pNode, 1, &status);
        (void)KeyValues::BoolValue(pNode, true, &status);
        char szText[64];
        KeyValues::ValueText(szText, sizeof(szText), pNode);
        (void)pNode->LookupKey("a/b");
        (void)pNode->FirstValueChild();
        (void)pNode->NextValuePeer();
        if (pNode->GetDataType() == KeyValues::TYPE_NONE)
            Walk(pNode->GetFirstSubKey(), nDepth + 1);
        else
            (void)KeyValues::StringValue(pNode, "");
    }
}

// The parser prints its first error; keep the fuzzer's output readable.
struct QuietStdout
{
    QuietStdout() { std::freopen("/dev/null", "w", stdout); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static QuietStdout s_quiet;
    if (nSize > 1 << 20) return 0;
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    buf.Put(pData, (int)nSize);

    KeyValues* pRoot = new KeyValues("fuzz");
    pRoot->LoadFromBuffer("fuzz.kvt", buf);
    Walk(pRoot, 0);

    CUtlBuffer out(0, 0, CUtlBuffer::TEXT_BUFFER);
    for (KeyValues* p = pRoot; p; p = p->GetNextKey())
        p->RecursiveSaveToFile(out, 0, 1);

    KeyValues::DeleteTree(pRoot);
    return 0;
}
