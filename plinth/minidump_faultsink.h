// IFaultSink: the interface of the crash-handler module "faultsink.dll",
// obtained from its "CreateInterface" export with "faultsink002". The slot
// order is fixed and there is no virtual destructor (slot 0 is BeginReport).
#pragma once

#include <cstdint>

#define FAULTSINK_MODULE_NAME "faultsink.dll"
#define FAULTSINK_INTERFACE_VERSION "faultsink002"

// The sink's info record as read here.
struct FaultSinkInfo_t
{
    uint32_t m_nAppId;
    uint32_t m_nVersion;
    uint32_t m_nExtra1; // handed back through SetExtraValues before each dump
    uint32_t m_nExtra2;
};

class IFaultSink
{
public:
    // 0: a report handle, 0 for none.
    virtual uint32_t BeginReport() = 0;
    // 1
    virtual void DescribeReport(uint32_t hReport, const char* pszAppName, const char* pszVersion,
                                const char* pszBuildId, bool bFlag, uint32_t nReserved1,
                                uint32_t nReserved2) = 0;
    // 2
    virtual void EndReport(uint32_t hReport) = 0;
    // 3: code 0 and null pointers for dumps without an exception.
    virtual void WriteDump(uint32_t hReport, uint32_t nExceptionCode, void* pExceptionPointers) = 0;
    // 4: null clears the comment.
    virtual void SetComment(const char* pszComment) = 0;
    // 5
    virtual void SetExtraValues(uint32_t nExtra1, uint32_t nExtra2) = 0;
    // 6
    virtual void Unused6() = 0;
    // 7
    virtual const FaultSinkInfo_t* GetInfoRecord() = 0;

protected:
    ~IFaultSink() {}
};

typedef void* (*FaultSinkFactoryFn)(const char* pszVersion, int* pnReturnCode);
