// State of one parse of key-values text: the token buffer, the stack of key
// names shown in error reports, and the error bookkeeping. One lives on the
// stack of each KeyValues::LoadFromBuffer call.
#pragma once

#include "trestle/keyvalues_system.h"

class CUtlBuffer;

class KeyValuesTextParser
{
public:
    // Slots of the key-name stack that are remembered for error reports.
    static const int k_nMaxStack = 64;
    static const int k_nTokenBufferSize = 0x40000;
    // Deepest block nesting accepted; deeper blocks are skipped with an error
    // so that hostile text cannot exhaust the stack.
    static const int k_nMaxBlockDepth = 256;

    explicit KeyValuesTextParser(const char* pszResourceName);
    ~KeyValuesTextParser();

    KeyValuesTextParser(const KeyValuesTextParser&) = delete;
    KeyValuesTextParser& operator=(const KeyValuesTextParser&) = delete;

    // Reads the next token into Token(). False when there is none.
    bool ReadToken(CUtlBuffer& buf);
    const char* Token() const { return m_pTokenBuffer; }
    bool TokenWasQuoted() const { return m_bWasQuoted; }
    bool TokenWasConditional() const { return m_bWasConditional; }
    // An unquoted one-character token such as "{".
    bool TokenIs(char c) const
    {
        return !m_bWasQuoted && m_pTokenBuffer[0] == c && m_pTokenBuffer[1] == 0;
    }
    // Evaluates the current token as a condition («[expression]»).
    bool EvaluateTokenCondition() const;

    // Reports a parse error at the buffer's read position, with the trail of
    // key names that lead to it.
    void ReportError(CUtlBuffer& buf, const char* pszMessage);

    // Key-name stack.
    void PushKey(HKeySymbol symbol);
    void PopKey();
    void SetCurrentKey(HKeySymbol symbol);

    const char* ResourceName() const { return m_pszResourceName; }
    int ErrorCount() const { return m_nErrors; }
    int Depth() const { return m_errorIndex; }
    int PeakDepth() const { return m_errorIndexPeak; }

    int m_nBlockDepth;

private:
    HKeySymbol m_KeyStack[k_nMaxStack];
    const char* m_pszResourceName;
    int m_errorIndex;
    int m_errorIndexPeak;
    char* m_pTokenBuffer;
    int m_nTokenBufferSize;
    int m_nErrors;
    bool m_bPrintFirstError;
    bool m_bFirstErrorPrinted;
    bool m_bWasQuoted;
    bool m_bWasConditional;
};
