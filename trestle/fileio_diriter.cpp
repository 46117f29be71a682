// Directory iteration over a wildcard pattern.
#include "trestle/fileio.h"

#include <cstring>

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "trestle/fileio_internal.h"
#include "trestle/strtools.h"

static bool IsDotOrDotDot(const char* pchName)
{
    return strcmp(pchName, ".") == 0 || strcmp(pchName, "..") == 0;
}

CDirIterator::CDirIterator(const char* pchDirectory, const char* pchPattern)
    : m_hFind(nullptr), m_pFindData(nullptr), m_bDone(true), m_bFirstPending(false)
{
    m_szCurrentName[0] = 0;
    if (!pchDirectory) return;

    m_pFindData = static_cast<PlatFindData*>(
        MemAlloc_AllocTagged(sizeof(PlatFindData), FILEIO_SOURCE, __LINE__));
    memset(m_pFindData, 0, sizeof(*m_pFindData));

    CPathString searchPath(pchDirectory, pchPattern ? pchPattern : "");
    uint32_t unError = 0;
    m_hFind = Plat_FindFirstFile(searchPath.GetWCharPath(), m_pFindData, &unError);
    if (!m_hFind) return;
    if (!BFetchName()) return;
    m_bDone = false;
    m_bFirstPending = true;
}

CDirIterator::~CDirIterator()
{
    if (m_hFind) Plat_FindClose(m_hFind);
    if (m_pFindData) MemAlloc_FreeTagged(m_pFindData, FILEIO_SOURCE, __LINE__);
}

bool CDirIterator::BFetchName()
{
    if (V_UTF16ToUTF8(m_pFindData->m_wszFileName, m_szCurrentName, sizeof(m_szCurrentName),
                      ConvertFailOnInvalid) <= 0)
    {
        AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                        "V_UTF16ToUTF8 failed on m_pFindData->cFileName in CDirIterator");
        m_szCurrentName[0] = 0;
        m_bDone = true;
        return false;
    }
    return true;
}

bool CDirIterator::BNext()
{
    if (m_bDone) return false;
    if (m_bFirstPending)
    {
        m_bFirstPending = false;
        if (!IsDotOrDotDot(m_szCurrentName)) return true;
    }
    for (;;)
    {
        if (!Plat_FindNextFile(m_hFind, m_pFindData, nullptr))
        {
            m_szCurrentName[0] = 0;
            m_bDone = true;
            return false;
        }
        if (!BFetchName()) return false;
        if (!IsDotOrDotDot(m_szCurrentName)) return true;
    }
}

bool CDirIterator::BCurrentIsDir() const
{
    return !m_bDone && m_pFindData &&
           (m_pFindData->m_unAttributes & PLAT_FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint64_t CDirIterator::CurrentFileSize() const
{
    return (!m_bDone && m_pFindData) ? m_pFindData->m_ulSize : 0;
}
