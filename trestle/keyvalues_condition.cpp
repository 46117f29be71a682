// Conditions of the key-values text: «[$WIN32]», «[!$X && ($Y || 1)]».
#include "trestle/keyvalues.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_osversion.h"
#include "trestle/strtools.h"

namespace
{
// Parentheses deeper than this end the evaluation (false): the evaluator
// recurses once per level.
const int k_nMaxExpressionDepth = 256;
const int k_nMaxNameChars = 127;

struct ExpressionState
{
    const char* m_p;
    int m_nDepth;
    bool m_bStopped;
};

inline bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

void SkipSpaces(ExpressionState& s)
{
    while (*s.m_p == ' ' || (*s.m_p >= '\t' && *s.m_p <= '\r'))
        ++s.m_p;
}

bool ParseExpression(ExpressionState& s);

bool ParsePrimary(ExpressionState& s)
{
    SkipSpaces(s);
    char c = *s.m_p;
    if (c == 0) return false; // missing operand

    if (c == '(')
    {
        ++s.m_p;
        if (s.m_nDepth >= k_nMaxExpressionDepth)
        {
            SpewMessage("Bad expression: nested deeper than %d levels", k_nMaxExpressionDepth);
            s.m_bStopped = true;
            return false;
        }
        ++s.m_nDepth;
        bool bValue = ParseExpression(s);
        --s.m_nDepth;
        // Whatever single character follows closes the group.
        if (!s.m_bStopped && *s.m_p) ++s.m_p;
        return bValue;
    }

    if (c == '$')
    {
        char szName[k_nMaxNameChars + 1];
        int nLen = 0;
        szName[nLen++] = *s.m_p++;
        while (IsNameChar(*s.m_p))
        {
            if (nLen < k_nMaxNameChars) szName[nLen++] = *s.m_p;
            ++s.m_p;
        }
        szName[nLen] = 0;
        return ConditionSymbolValue(szName);
    }

    if (IsDigit(c))
    {
        bool bNonZero = false;
        while (IsDigit(*s.m_p))
        {
            if (*s.m_p != '0') bNonZero = true;
            ++s.m_p;
        }
        return bNonZero;
    }

    SpewMessage("Bad expression token: %c", c);
    ++s.m_p;
    return false;
}

bool ParseUnary(ExpressionState& s)
{
    SkipSpaces(s);
    bool bNegate = false;
    // «!!$X» is «!$X»: a second '!' starts the negation again.
    while (*s.m_p == '!')
    {
        bNegate = true;
        ++s.m_p;
        SkipSpaces(s);
    }
    bool bValue = ParsePrimary(s);
    return bNegate ? !bValue : bValue;
}

// Operators apply strictly left to right, without precedence.
bool ParseExpression(ExpressionState& s)
{
    bool bValue = ParseUnary(s);
    while (!s.m_bStopped)
    {
        SkipSpaces(s);
        char c = *s.m_p;
        if (c != '&' && c != '|') break;
        char c2 = s.m_p[1];
        if ((c2 & c) != c)
        {
            SpewMessage("Bad expression token: %c %c", c, c2);
            s.m_bStopped = true;
            break;
        }
        s.m_p += 2;
        bool bRight = ParseUnary(s);
        bValue = (c == '&') ? (bValue && bRight) : (bValue || bRight);
    }
    return bValue;
}

bool NameIs(const char* pszName, const char* pszWord)
{
    return V_CompareNoCaseCount(pszName, pszWord, 0x7FFFFFFF) == 0;
}

int ComputeHostVersionCode()
{
    PlatOSVersion version;
    if (!Plat_GetOSVersion(&version)) return 0;
    uint32_t nMajor = version.m_nMajor, nMinor = version.m_nMinor;
    bool bServer = version.m_bServer;
    if (nMajor > 6 || (nMajor == 6 && nMinor >= 4)) return 16;
    if (nMajor == 6)
    {
        switch (nMinor)
        {
        case 3:
            return bServer ? 15 : 14;
        case 2:
            return bServer ? 12 : 13;
        case 1:
            return bServer ? 11 : 10;
        default:
            return bServer ? 11 : 9;
        }
    }
    if (nMajor == 5)
    {
        if (nMinor >= 1) return bServer ? 8 : 7;
        return 6;
    }
    return 0;
}
} // namespace

int GetHostVersionCode()
{
    static const int s_nCode = ComputeHostVersionCode();
    return s_nCode;
}

bool ConditionSymbolValue(const char* pszName)
{
    if (!pszName) return false;
    if (NameIs(pszName, "$0")) return false;
    if (NameIs(pszName, "$1")) return true;
    const char* psz = pszName[0] == '$' ? pszName + 1 : pszName;
    if (NameIs(psz, "WINDOWS") || NameIs(psz, "WIN32")) return true;
    if (NameIs(psz, "WIN64")) return false;
    if (NameIs(psz, "VISTA")) return GetHostVersionCode() > 8;
    if (NameIs(psz, "WIN7")) return GetHostVersionCode() > 9;
    if (NameIs(psz, "OSX") || NameIs(psz, "POSIX") || NameIs(psz, "LINUX") ||
        NameIs(psz, "LINUX32") || NameIs(psz, "LINUX64") || NameIs(psz, "X360") ||
        NameIs(psz, "PS3"))
        return false;
    return KeyValuesSystem()->GetExpressionSymbol(psz);
}

bool EvaluateExpression(const char* pszExpression)
{
    if (!pszExpression) return false;
    ExpressionState s = {pszExpression, 0, false};
    return ParseExpression(s);
}
