// User identity tickets and the server list, kept working without any server
// or cryptography: a ticket carries the user's id in clear, and the validator
// accepts any ticket of the right size.
#include "quern2wrapper/tickets.h"

#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <cstring>

UserIdTicket TicketSlotRing[TICKET_SLOT_COUNT];
uint32_t nextValidationHandle = 1;

// Addresses from the documentation range; only the ports matter to callers.
const char* const ServerEndpointTable[QUERN_SERVER_ENDPOINT_COUNT] = {
    "192.0.2.10:27015",
    "192.0.2.20:27011",
    "192.0.2.21:27011",
};

static const char s_szSessionKey[] = "LegacyShimSessionCipherKey";

QUERN_EXPORT int QuernGetEncryptedUserIDTicket(const void* /*pKey*/, uint32_t keyLength,
                                               void* pTicket, uint32_t ticketCapacity,
                                               uint32_t* pTicketLength, TQuernError* pError)
{
    ClearError(pError);
    QUERN_VERBOSE_LOG("QuernGetEncryptedUserIDTicket: server key length %u", keyLength);

    // The ticket is never written past the caller's buffer; a caller that
    // offers too little learns the size it needs.
    if (pTicketLength) *pTicketLength = QUERN_TICKET_SIZE;
    if (!pTicket || ticketCapacity < (uint32_t)QUERN_TICKET_SIZE)
    {
        SetError(pError, "Ticket buffer too small", QUERN_FAILURE_FAILED);
        return 0;
    }

    uint32_t account = g_Session.m_pUser ? (uint32_t)g_Session.m_pUser->GetUserIdentity() : 0;
    UserIdTicket ticket;
    memset(&ticket, 0, sizeof(ticket));
    ticket.m_nMagic = TICKET_MAGIC;
    ticket.m_UserId.instance = 0;
    ticket.m_UserId.number = account >> 1;
    ticket.m_UserId.parity = account & 1;
    memcpy(pTicket, &ticket, sizeof(ticket));
    return 0;
}

QUERN_EXPORT int QuernInitializeUserIDTicketValidator(const void* /*pIgnored*/)
{
    QUERN_VERBOSE_LOG("QuernInitializeUserIDTicketValidator");
    return 0;
}

QUERN_EXPORT int QuernShutdownUserIDTicketValidator()
{
    QUERN_VERBOSE_LOG("QuernShutdownUserIDTicketValidator");
    return 0;
}

QUERN_EXPORT int QuernStartValidatingUserIDTicket(const void* pTicket, uint32_t ticketLength,
                                                  uint32_t /*ignored*/, uint32_t* pHandle)
{
    QUERN_VERBOSE_LOG("QuernStartValidatingUserIDTicket");
    if (!pTicket || ticketLength != (uint32_t)QUERN_TICKET_SIZE)
    {
        if (pHandle) *pHandle = 0;
        return TICKET_VALIDATION_REFUSED;
    }

    uint32_t handle = nextValidationHandle++;
    UserIdTicket& slot = TicketSlotRing[handle & (TICKET_SLOT_COUNT - 1)];
    memcpy(&slot, pTicket, sizeof(slot));
    slot.m_nValidationHandle = handle;
    if (pHandle) *pHandle = handle;
    return TICKET_VALIDATION_STARTED;
}

QUERN_EXPORT int QuernProcessOngoingUserIDTicketValidation(uint32_t handle,
                                                           QuernGlobalUserId* pUserId,
                                                           uint32_t* pValue, uint32_t /*ignored1*/,
                                                           uint32_t /*ignored2*/, uint32_t* pLast)
{
    QUERN_VERBOSE_LOG("QuernProcessOngoingUserIDTicketValidation: handle %u", handle);
    if (handle == 0) return TICKET_VALIDATION_NO_HANDLE;

    // A slot reused by a later ticket no longer answers for this handle.
    const UserIdTicket& slot = TicketSlotRing[handle & (TICKET_SLOT_COUNT - 1)];
    if (slot.m_nValidationHandle != handle || slot.m_nMagic != TICKET_MAGIC)
        return TICKET_VALIDATION_UNKNOWN;

    if (pUserId) memcpy(pUserId, &slot.m_UserId, sizeof(*pUserId));
    if (pValue) *pValue = slot.m_nValue;
    if (pLast) *pLast = 0;
    return TICKET_VALIDATION_DONE;
}

QUERN_EXPORT void QuernAbortOngoingUserIDTicketValidation(uint32_t /*ignored*/)
{
    QUERN_VERBOSE_LOG("QuernAbortOngoingUserIDTicketValidation: ");
}

QUERN_EXPORT int QuernOptionalCleanUpAfterClientHasDisconnected(uint32_t /*ignored*/)
{
    QUERN_VERBOSE_LOG("QuernOptionalCleanUpAfterClientHasDisconnected: ");
    return 0;
}

QUERN_EXPORT const char* QuernGetEncryptionKeyToSendToNewClient(uint32_t* pLength)
{
    QUERN_VERBOSE_LOG("QuernGetEncryptionKeyToSendToNewClient");
    if (pLength) *pLength = (uint32_t)sizeof(s_szSessionKey);
    return s_szSessionKey;
}

QUERN_EXPORT int QuernFindServersNumServers(uint32_t serverType)
{
    QUERN_VERBOSE_LOG("QuernFindServersNumServers: %u", serverType);
    return serverType == QUERN_SERVER_TYPE_LISTED ? QUERN_SERVER_ENDPOINT_COUNT : 0;
}

QUERN_EXPORT int QuernFindServersIterateServer(uint32_t serverType, uint32_t index, char* pszOut,
                                               int outSize)
{
    QUERN_VERBOSE_LOG("QuernFindServersIterateServer: %u, %u", serverType, index);
    if (serverType == QUERN_SERVER_TYPE_LISTED && index < (uint32_t)QUERN_SERVER_ENDPOINT_COUNT)
    {
        // A buffer too small gets the endpoint cut and unterminated, still as
        // success: callers iterate on this answer (the row exists) and old
        // ones size their buffer for an endpoint. Kept on purpose; nothing is
        // written past outSize.
        if (pszOut && outSize > 0) strncpy(pszOut, ServerEndpointTable[index], (size_t)outSize);
        return 0;
    }
    if (pszOut && outSize > 0) pszOut[0] = '\0';
    return -1;
}

QUERN_EXPORT const char* QuernFindServersGetErrorString()
{
    return "Wrapper not implemented: QuernFindServersXXX";
}
