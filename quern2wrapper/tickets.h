// User identity tickets and the validation ring.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <cstddef>

constexpr uint32_t TICKET_MAGIC = 0x63845768;
constexpr int TICKET_SLOT_COUNT = 32;

// The ticket exchanged between client and server processes. It carries the
// user's id in clear; nothing is encrypted.
struct UserIdTicket
{
    uint32_t m_nMagic;            // TICKET_MAGIC
    uint32_t m_nUnassigned;       // 0 when built
    QuernGlobalUserId m_UserId;   // instance 0, number, parity
    uint32_t m_nValue;            // 0; handed back by the validator
    uint32_t m_nValidationHandle; // 0 when built; set by the validator
};

// Accepted tickets, indexed by handle & 31; a slot is reused 32 handles later.
extern UserIdTicket TicketSlotRing[TICKET_SLOT_COUNT];
// The handle the next accepted ticket gets; 1 at load.
extern uint32_t nextValidationHandle;

// Result codes of the validation calls.
enum
{
    TICKET_VALIDATION_DONE = 0,
    TICKET_VALIDATION_REFUSED = 1,
    TICKET_VALIDATION_STARTED = 23,
    TICKET_VALIDATION_NO_HANDLE = 24,
    TICKET_VALIDATION_UNKNOWN = 36,
};

// The server type whose endpoints the server list reports.
constexpr uint32_t QUERN_SERVER_TYPE_LISTED = 4;
constexpr int QUERN_SERVER_ENDPOINT_COUNT = 3;
extern const char* const ServerEndpointTable[QUERN_SERVER_ENDPOINT_COUNT];
