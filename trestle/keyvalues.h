// KeyValues: a compact tree of named nodes. A node holds either one typed
// value or a list of child nodes; siblings are chained through the peer link.
// Names live in the key-name pool (keyvalues_system.h) and are stored as
// 24-bit symbols, so name comparisons are integer comparisons and ignore case.
//
// A node is four words: the 8-byte value area, the symbol/type/flags word
// and the peer link (pointer-sized words on 64-bit builds). A node owns its
// children, its allocated value and every peer that follows it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trestle/keyvalues_system.h"

class CUtlBuffer;
class KeyValuesTextParser;

enum ConversionStatus
{
    CONVERSION_OK = 0,
    CONVERSION_NO_KEY = 1,
    CONVERSION_TRAILING_TEXT = 2,
    CONVERSION_EMPTY = 3,
};

class KeyValues
{
public:
    enum types_t
    {
        TYPE_NONE = 0, // block: word 0 is the first child
        TYPE_STRING = 1,
        TYPE_INT = 2,
        TYPE_FLOAT = 3,
        TYPE_PTR = 4,
        TYPE_WSTRING = 5, // UTF-16
        TYPE_COLOR = 6,
        TYPE_UINT64 = 7,
        TYPE_BLOB = 9,
        TYPE_INT64 = 10,
    };

    // Strings up to this many bytes, terminator included, live in the node.
    static const int k_nInlineBytes = 8;

    explicit KeyValues(const char* pszName);
    explicit KeyValues(HKeySymbol nameSymbol);

    // Nodes come from the process allocator; release trees with DeleteTree.
    static void* operator new(size_t nSize);
    static void operator delete(void* pMem);

    // --- Names and structure ---
    const char* GetName() const;
    HKeySymbol GetNameSymbol() const { return (HKeySymbol)(m_nKeyNameAndFlags & kSymbolMask); }
    void SetName(const char* pszName);
    types_t GetDataType() const { return (types_t)((m_nKeyNameAndFlags >> kTypeShift) & 0xF); }
    bool HasEscapeFlag() const { return (m_nKeyNameAndFlags & kEscapeFlag) != 0; }
    bool IsValueAllocated() const { return (m_nKeyNameAndFlags & kAllocatedFlag) != 0; }

    KeyValues* GetNextKey() const { return m_pPeer; }
    void SetNextKey(KeyValues* pPeer) { m_pPeer = pPeer; }
    // The first child of a block; null for a node that holds a value.
    KeyValues* GetFirstSubKey() const
    {
        return GetDataType() == TYPE_NONE ? m_Value.m_pSub : nullptr;
    }

    // Appends a new child named pszName at the end of the children
    // (duplicates allowed) and returns it.
    KeyValues* AddChild(const char* pszName);
    // Follows a '/'-separated path of names from this node. With bCreate,
    // missing nodes are appended (a node that held a value becomes a block).
    KeyValues* LookupKey(const char* pszPath, bool bCreate = false);
    // The first child with that symbol; symbol 0 gives this node.
    KeyValues* LookupKeySymbol(HKeySymbol symbol);
    // Iterates the value children of a block, skipping sub-blocks.
    KeyValues* FirstValueChild();
    KeyValues* NextValuePeer();
    // Unlinks pChild from the children (if it is one), clears its peer link
    // and returns it.
    KeyValues* DetachChild(KeyValues* pChild);

    // Frees what the value owns (children of a block, allocated texts and
    // bytes). The type code is left for the caller to change.
    void ClearValue();
    // ClearValue, then deletes every following peer with its subtree, then the
    // node. A null node is ignored.
    static void DeleteTree(KeyValues* pNode);

    // --- Typed reads (all accept a null node; pStatus is optional) ---
    // Numeric values are turned into text and the node becomes TYPE_STRING.
    static const char* StringValue(KeyValues* pNode, const char* pszDefault = "");
    static int IntValue(KeyValues* pNode, int nDefault = 0, ConversionStatus* pStatus = nullptr);
    static bool BoolValue(KeyValues* pNode, bool bDefault = false,
                          ConversionStatus* pStatus = nullptr);
    static int GetIntFromString(const char* pszText, int nDefault, ConversionStatus* pStatus);
    // Text of a numeric value ("%d", "%f", "%llu", "%lld"); "" for other types.
    static void ValueText(char* pszBuffer, int nBufferSize, const KeyValues* pNode);

    // --- Writes ---
    // Inline when the text and its terminator fit in 8 bytes, else allocated.
    static void AssignString(KeyValues* pNode, const char* pszText);
    void SetInt(int nValue);
    // Values of the types below never come from text; hosts may set them.
    void SetFloat(float flValue);
    void SetPtr(void* pValue);
    void SetColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    void SetUint64(uint64_t ulValue);
    void SetInt64(int64_t lValue);
    void SetWString(const char16_t* pwszText);
    void SetBlob(const void* pData, uint32_t cubData);

    // Raw views of the value area, for readers of the typed values above.
    const char* GetStringPtr() const;
    const char16_t* GetWStringPtr() const;
    int GetIntRaw() const { return m_Value.m_nInt; }
    float GetFloatRaw() const { return m_Value.m_flFloat; }
    void* GetPtrRaw() const { return m_Value.m_pPtr; }
    uint64_t GetUint64Raw() const;
    const uint8_t* GetColorRaw() const { return m_Value.m_Color; }
    uint32_t GetBlobSize() const { return (uint32_t)m_Value.m_Blob.m_cubData; }
    const uint8_t* GetBlobData() const { return m_Value.m_Blob.m_pubData; }

    // --- Text form ---
    // Empties this node, then parses the remaining text of buf (a text
    // buffer) into it and its peers. True when no error was reported.
    bool LoadFromBuffer(const char* pszResourceName, CUtlBuffer& buf);
    // Reads the whole file and parses it as above. False when the file
    // cannot be read or the text has errors.
    bool LoadFromFile(const char* pszPath);
    // Parses the inside of one brace block (after its "{") into the children
    // of this node, up to and including the matching "}".
    void RecursiveLoadFromBuffer(const char* pszResourceName, CUtlBuffer& buf,
                                 KeyValuesTextParser& parser);
    // Writes this node and its subtree (not its peers) as text. Flags bit 0:
    // names in lower case; bit 1: TYPE_UINT64 unsigned. False when the text
    // does not carry every name and value so that the reader gets them back:
    // a name or string holding a double quote (written with a backslash the
    // reader keeps as text) or 0x7F, invalid UTF-16, or a colour or pointer
    // value (left out). Numbers read back as the same text, typed by the
    // reader's rules.
    bool RecursiveSaveToFile(CUtlBuffer& buf, int nIndentLevel, int nFlags = 0) const;
    // Writes the subtree to the debugger output.
    void DebugDump() const;

private:
    KeyValues(const KeyValues&) = delete;
    KeyValues& operator=(const KeyValues&) = delete;
    ~KeyValues() {}

    friend class KeyValuesTextParser;

    static const uint32_t kSymbolMask = 0x00FFFFFFu;
    static const int kTypeShift = 24;
    static const uint32_t kTypeMask = 0x0F000000u;
    static const uint32_t kEscapeFlag = 0x40000000u;
    static const uint32_t kAllocatedFlag = 0x80000000u;

    void SetNameSymbol(HKeySymbol symbol)
    {
        m_nKeyNameAndFlags = (m_nKeyNameAndFlags & ~kSymbolMask) | ((uint32_t)symbol & kSymbolMask);
    }
    void SetDataType(types_t type)
    {
        m_nKeyNameAndFlags =
            (m_nKeyNameAndFlags & ~kTypeMask) | (((uint32_t)type << kTypeShift) & kTypeMask);
    }
    void SetAllocatedFlag(bool bAllocated)
    {
        if (bAllocated)
            m_nKeyNameAndFlags |= kAllocatedFlag;
        else
            m_nKeyNameAndFlags &= ~kAllocatedFlag;
    }
    void CopyEscapeFlagFrom(const KeyValues* pOther)
    {
        m_nKeyNameAndFlags = (m_nKeyNameAndFlags & ~kEscapeFlag) |
                             (pOther ? (pOther->m_nKeyNameAndFlags & kEscapeFlag) : 0);
    }
    void ZeroValue()
    {
        m_Value.m_Words[0] = 0;
        m_Value.m_Words[1] = 0;
    }
    // ClearValue and make this node an empty block.
    void MakeEmptyBlock();
    // Appends pChild after pLast (the current last child, or null when there
    // is none); returns pChild.
    KeyValues* LinkChildAfter(KeyValues* pLast, KeyValues* pChild);
    KeyValues* LastChild() const;
    // Stores an allocated or inline copy of nBytes bytes (terminator included).
    void StoreText(const void* pText, size_t nBytes);

    union ValueArea
    {
        uintptr_t m_Words[2];
        KeyValues* m_pSub;       // TYPE_NONE: first child
        char m_szInline[8];      // TYPE_STRING held in the node
        char16_t m_wszInline[4]; // TYPE_WSTRING held in the node
        char* m_pszAllocated;    // TYPE_STRING / TYPE_WSTRING when allocated
        int m_nInt;
        float m_flFloat;
        void* m_pPtr;
        uint8_t m_Color[4];
        struct
        {
            uint32_t m_nLow;
            uint32_t m_nHigh;
        } m_U64;
        struct
        {
            uintptr_t m_cubData;
            uint8_t* m_pubData;
        } m_Blob;
    };

    ValueArea m_Value;
    uint32_t m_nKeyNameAndFlags; // symbol 0-23, type 24-27, escape 30, allocated 31
    KeyValues* m_pPeer;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KeyValues) == 16, "KeyValues nodes are 16 bytes on 32-bit builds");
#endif

// Parses a condition expression (the text after '[' of a condition token).
bool EvaluateExpression(const char* pszExpression);
// Value of one condition name, "$NAME" with its '$'.
bool ConditionSymbolValue(const char* pszName);
// Windows version code of the host, computed once (0 when unknown).
int GetHostVersionCode();

// Address of KeyValues::DebugDump for use from a debugger.
extern void (KeyValues::*g_pfnKeyValuesDebugDump)() const;
