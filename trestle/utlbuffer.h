// Growable byte buffer with separate get and put positions, and a text mode
// that reads words, skips white space and comments and decodes delimited
// strings through a character conversion.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "trestle/utlmemory.h"

// Describes how characters are escaped inside delimited strings.
class CUtlCharConversion
{
public:
    struct ConversionArray_t
    {
        char m_nActualChar;
        const char* m_pReplacementString;
    };

    CUtlCharConversion(char nEscapeChar, const char* pDelimiter, int nCount,
                       ConversionArray_t* pArray);

    // Decodes the text after an escape character: the character it stands for
    // and the number of bytes it used (0 when it is not a known sequence).
    virtual char FindConversion(const char* pString, int* pLength);

    char GetEscapeChar() const { return m_nEscapeChar; }
    const char* GetDelimiter() const { return m_pDelimiter; }
    int GetDelimiterLength() const { return m_nDelimiterLength; }
    const char* GetConversionString(char c) const;
    int GetConversionLength(char c) const;
    int MaxConversionLength() const { return m_nMaxConversionLength; }

protected:
    struct ConversionInfo_t
    {
        int m_nLength;
        const char* m_pReplacementString;
    };

    char m_nEscapeChar;
    const char* m_pDelimiter;
    int m_nDelimiterLength;
    int m_nCount;
    int m_nMaxConversionLength;
    char m_pList[256];
    ConversionInfo_t m_pReplacements[256];
};

// The process-wide conversions: C escapes ("\n", "\"", ...) and none at all.
CUtlCharConversion* GetCStringCharConversion();
CUtlCharConversion* GetNoEscCharConversion();

class CUtlBuffer
{
public:
    enum SeekType_t
    {
        SEEK_HEAD = 0,
        SEEK_CURRENT = 1,
        SEEK_TAIL = 2,
    };

    enum BufferFlags_t
    {
        TEXT_BUFFER = 0x1,
        EXTERNAL_MAY_GROW = 0x2, // external memory may be replaced by own growable memory
        HAS_CRLF = 0x4,
        READ_ONLY = 0x8,
    };

    // Error bits.
    enum
    {
        PUT_OVERFLOW = 0x1,
        GET_OVERFLOW = 0x2,
    };

    typedef bool (CUtlBuffer::*UtlBufferOverflowFunc_t)(int nSize);

    CUtlBuffer(int nGrowSize = 0, int nInitSize = 0, int nFlags = 0);
    // Wraps memory owned by the caller: nSize bytes, all of them readable.
    CUtlBuffer(const void* pBuffer, int nSize, int nFlags = 0);
    ~CUtlBuffer();

    CUtlBuffer(const CUtlBuffer&) = delete;
    CUtlBuffer& operator=(const CUtlBuffer&) = delete;

    void SetBufferType(bool bIsText, bool bContainsCRLF);
    // Hands the buffer caller-owned memory; nInitialPut bytes are readable.
    void SetExternalBuffer(void* pMemory, int nSize, int nInitialPut, int nFlags = 0);
    // Makes nNum bytes of memory available; false when it cannot.
    bool EnsureCapacity(int nNum);
    // Positions and errors back to 0; memory kept.
    void Clear();
    // Clear, and free own memory.
    void Purge();

    // Reading.
    bool Get(void* pMem, int nSize);
    char GetChar();
    unsigned char GetUnsignedChar();
    int GetInt();
    unsigned int GetUnsignedInt();
    float GetFloat();
    // Reads one word (text mode) or NUL-terminated string; false when it had to
    // be cut to fit nMaxChars (terminator included).
    bool GetString(char* pString, int nMaxChars);
    // Reads a string between the conversion's delimiters, decoding escapes.
    // nMaxChars 0 means unlimited. False when no delimiter followed or the
    // text had to be cut.
    bool GetDelimitedString(CUtlCharConversion* pConv, char* pString, int nMaxChars = 0);
    char GetDelimitedChar(CUtlCharConversion* pConv);
    // Text mode only. Conversions: ' ' skips white space, %c %d %i %x %u %f
    // and %s (a word; give a width, "%63s", to bound it to the destination).
    // Returns the number of conversions made.
    int Scan(const char* pFmt, ...);
    int VaScan(const char* pFmt, va_list list);

    bool SeekGet(SeekType_t type, int nOffset);
    int TellGet() const { return m_Get; }
    // Unchecked pointer at the get position plus nOffset.
    const void* PeekGet(int nOffset = 0) const { return Base() + m_Get + nOffset; }
    // Pointer to nMaxSize readable bytes at get + nOffset, or null.
    const void* PeekGet(int nMaxSize, int nOffset);

    // Text-mode helpers.
    void EatWhiteSpace();
    bool EatCPPComment();
    int PeekWhiteSpace(int nOffset);
    int PeekStringLength();
    bool PeekStringMatch(int nOffset, const char* pString, int nLen);

    // Writing.
    void Put(const void* pMem, int nSize);
    void PutChar(char c);
    void PutString(const char* pString);
    void PutInt(int n);
    void PutUnsignedInt(unsigned int n);
    void Printf(const char* pFmt, ...);
    void VaPrintf(const char* pFmt, va_list list);
    bool SeekPut(SeekType_t type, int nOffset);
    int TellPut() const { return m_Put; }
    void* PeekPut(int nOffset = 0) { return Base() + m_Put + nOffset; }
    void AddNullTermination();

    // State.
    int TellMaxPut() const { return m_nMaxPut; }
    int GetBytesRemaining() const { return m_nMaxPut - m_Get; }
    bool IsValid() const { return m_Error == 0; }
    unsigned char GetError() const { return m_Error; }
    int GetFlags() const { return m_Flags; }
    bool IsText() const { return (m_Flags & TEXT_BUFFER) != 0; }
    bool ContainsCRLF() const { return IsText() && (m_Flags & HAS_CRLF) != 0; }
    bool IsReadOnly() const { return (m_Flags & READ_ONLY) != 0; }
    bool IsExternallyAllocated() const { return m_Memory.IsExternallyAllocated(); }
    bool IsGrowable() const { return (m_Flags & EXTERNAL_MAY_GROW) || !IsExternallyAllocated(); }
    char* Base() { return static_cast<char*>(m_Memory.Base()); }
    const char* Base() const { return static_cast<const char*>(m_Memory.Base()); }
    // Bytes of memory held.
    int Size() const { return m_Memory.NumAllocated(); }

    bool CheckGet(int nSize);
    bool CheckPut(int nSize);
    bool CheckPeekGet(int nOffset, int nSize);

    void SetOverflowFuncs(UtlBufferOverflowFunc_t getFunc, UtlBufferOverflowFunc_t putFunc);

protected:
    bool GetOverflow(int nSize);
    bool PutOverflow(int nSize);
    void ClearError(unsigned char bit) { m_Error &= static_cast<unsigned char>(~bit); }
    void SetError(unsigned char bit) { m_Error |= bit; }

    CUtlMemoryBase m_Memory;
    int m_Get;
    int m_Put;
    int m_nMaxPut;
    unsigned char m_Error;
    unsigned char m_Flags;
    UtlBufferOverflowFunc_t m_GetOverflowFunc;
    UtlBufferOverflowFunc_t m_PutOverflowFunc;
};
