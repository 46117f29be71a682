// The file calls of the test beds: each asks the fault plan first, then makes
// the system call (see platform_filefaults.h). Empty in the shipping build.
#include "plinth/platform/platform_filefaults.h"

#ifdef QUERN_FILE_FAULTS

#include <atomic>
#include <mutex>

namespace
{
struct FaultPlan
{
    bool m_bSet = false;
    PlatFileFault m_fault;
};

std::mutex& PlanLock()
{
    static std::mutex s_lock;
    return s_lock;
}

FaultPlan s_aPlans[PLAT_FILE_OP_COUNT];
std::atomic<uint32_t> s_aCalls[PLAT_FILE_OP_COUNT];
// Any plan set: calls only look at the plans then.
std::atomic<bool> s_bArmed{false};

// Counts the call; true when it is to fail, with the answer in *punError and
// *pcub cut to the bytes that still go through.
bool TakeFault(PlatFileOp eOp, uint32_t* pcub, uint32_t* punError)
{
    const uint32_t unCall = s_aCalls[eOp].fetch_add(1) + 1;
    if (!s_bArmed.load()) return false;
    std::lock_guard<std::mutex> lock(PlanLock());
    FaultPlan& plan = s_aPlans[eOp];
    if (!plan.m_bSet || unCall < plan.m_fault.m_unNth) return false;
    if (plan.m_fault.m_unTimes && unCall - plan.m_fault.m_unNth >= plan.m_fault.m_unTimes)
        return false;
    *punError = plan.m_fault.m_unError;
    if (pcub)
    {
        if (*pcub > plan.m_fault.m_cubBudget) *pcub = plan.m_fault.m_cubBudget;
        plan.m_fault.m_cubBudget -= *pcub;
    }
    return true;
}

// The injected error of a call that moves no bytes; 0 when it goes through.
uint32_t InjectedError(PlatFileOp eOp)
{
    uint32_t unError = 0;
    return TakeFault(eOp, nullptr, &unError) ? unError : 0;
}

// A call that moves bytes: a failing one moves only what its budget lets
// through (if any) and then answers with the injected error.
template <typename Call>
uint32_t WithByteFault(PlatFileOp eOp, uint32_t cub, uint32_t* pcubDone, Call call)
{
    uint32_t unFault = 0;
    if (!TakeFault(eOp, &cub, &unFault)) return call(cub);
    *pcubDone = 0;
    const uint32_t unError = cub ? call(cub) : 0;
    return unError ? unError : unFault;
}
} // namespace

void Plat_SetFileFault(PlatFileOp eOp, const PlatFileFault& fault)
{
    std::lock_guard<std::mutex> lock(PlanLock());
    s_aPlans[eOp].m_bSet = true;
    s_aPlans[eOp].m_fault = fault;
    s_aCalls[eOp].store(0);
    s_bArmed.store(true);
}

void Plat_ClearFileFaults()
{
    std::lock_guard<std::mutex> lock(PlanLock());
    s_bArmed.store(false);
    for (int i = 0; i < PLAT_FILE_OP_COUNT; ++i)
    {
        s_aPlans[i].m_bSet = false;
        s_aCalls[i].store(0);
    }
}

uint32_t Plat_FileFaultCalls(PlatFileOp eOp)
{
    return s_aCalls[eOp].load();
}

uint32_t Plat_CreateFile(const PlatWChar* pwszPath, uint32_t unAccess, uint32_t unShare,
                         uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile)
{
    if (uint32_t unError = InjectedError(PLAT_FILE_OP_OPEN))
    {
        *phFile = PLAT_INVALID_FILE;
        return unError;
    }
    return PlatOs_CreateFile(pwszPath, unAccess, unShare, unDisposition, unFlags, phFile);
}

uint32_t Plat_ReadFile(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint32_t* pcubRead)
{
    return WithByteFault(PLAT_FILE_OP_READ, cubToRead, pcubRead,
                         [&](uint32_t cub)
                         { return PlatOs_ReadFile(hFile, pvDest, cub, pcubRead); });
}

uint32_t Plat_ReadFileAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint64_t ulOffset,
                         uint32_t* pcubRead)
{
    return WithByteFault(PLAT_FILE_OP_READ_AT, cubToRead, pcubRead,
                         [&](uint32_t cub)
                         { return PlatOs_ReadFileAt(hFile, pvDest, cub, ulOffset, pcubRead); });
}

uint32_t Plat_WriteFile(PlatFileHandle hFile, const void* pvData, uint32_t cubToWrite,
                        uint32_t* pcubWritten)
{
    return WithByteFault(PLAT_FILE_OP_WRITE, cubToWrite, pcubWritten,
                         [&](uint32_t cub)
                         { return PlatOs_WriteFile(hFile, pvData, cub, pcubWritten); });
}

uint32_t Plat_SeekFile(PlatFileHandle hFile, int64_t lOffset, int nOrigin, uint64_t* pulNewPos)
{
    if (uint32_t unError = InjectedError(PLAT_FILE_OP_SEEK)) return unError;
    return PlatOs_SeekFile(hFile, lOffset, nOrigin, pulNewPos);
}

uint32_t Plat_GetFileSize(PlatFileHandle hFile, uint64_t* pulSize)
{
    if (uint32_t unError = InjectedError(PLAT_FILE_OP_SIZE)) return unError;
    return PlatOs_GetFileSize(hFile, pulSize);
}

uint32_t Plat_FlushFile(PlatFileHandle hFile)
{
    if (uint32_t unError = InjectedError(PLAT_FILE_OP_FLUSH)) return unError;
    return PlatOs_FlushFile(hFile);
}

uint32_t Plat_MoveFileReplace(const PlatWChar* pwszFrom, const PlatWChar* pwszTo)
{
    if (uint32_t unError = InjectedError(PLAT_FILE_OP_MOVE)) return unError;
    return PlatOs_MoveFileReplace(pwszFrom, pwszTo);
}

uint32_t Plat_DeleteFile(const PlatWChar* pwszPath)
{
    if (uint32_t unError = InjectedError(PLAT_FILE_OP_DELETE)) return unError;
    return PlatOs_DeleteFile(pwszPath);
}

FILE* Plat_CrtOpen(const char* pszPath, const char* pszMode)
{
    if (InjectedError(PLAT_FILE_OP_OPEN)) return nullptr;
    FILE* pStream = PlatOs_CrtOpen(pszPath, pszMode);
    return pStream && s_bArmed.load() ? PlatOs_FaultStream(pStream, pszMode) : pStream;
}

#endif // QUERN_FILE_FAULTS
