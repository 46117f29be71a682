// Identity tickets, the validation ring, the session key and the server list.
#include "tests/quern2wrapper/session_test_support.h"

#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"
#include "quern2wrapper/tickets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
class CFixedUser : public IQuernUser019
{
public:
    explicit CFixedUser(uint64_t identity) : m_identity(identity) {}
    uint64_t GetUserIdentity() override { return m_identity; }
    uint64_t m_identity;
};

class Tickets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The ring lives for the process; start every case from load state.
        nextValidationHandle = 1;
        memset(TicketSlotRing, 0, sizeof(TicketSlotRing));
        memset(&m_error, 'x', sizeof(m_error));
    }
    void TearDown() override
    {
        g_Session.m_pUser = nullptr;
        verboseLogging = 0;
    }
    // A ticket as QuernGetEncryptedUserIDTicket builds it for `account`.
    std::string TicketFor(uint64_t account)
    {
        CFixedUser user(account);
        g_Session.m_pUser = &user;
        unsigned char ticket[QUERN_TICKET_SIZE];
        uint32_t length = 0;
        EXPECT_EQ(
            0, QuernGetEncryptedUserIDTicket("key", 3, ticket, sizeof(ticket), &length, &m_error));
        EXPECT_EQ(32u, length);
        g_Session.m_pUser = nullptr;
        return std::string((const char*)ticket, sizeof(ticket));
    }
    uint32_t Start(const std::string& ticket)
    {
        uint32_t handle = 0xFFFF;
        EXPECT_EQ(23, QuernStartValidatingUserIDTicket(ticket.data(), (uint32_t)ticket.size(), 0,
                                                       &handle));
        return handle;
    }

    TQuernError m_error;
};
} // namespace

TEST_F(Tickets, TicketBytes)
{
    // Account 0x1_0000_000B: only the low 32 bits count.
    std::string ticket = TicketFor(0x10000000Bull);
    EXPECT_EQ(0, m_error.failureType);
    const unsigned char magic[4] = {0x68, 0x57, 0x84, 0x63};
    EXPECT_EQ(0, memcmp(magic, ticket.data(), 4));
    uint16_t instance;
    uint32_t number, parity, value, handle;
    memcpy(&instance, ticket.data() + 8, 2);
    memcpy(&number, ticket.data() + 16, 4);
    memcpy(&parity, ticket.data() + 20, 4);
    memcpy(&value, ticket.data() + 24, 4);
    memcpy(&handle, ticket.data() + 28, 4);
    EXPECT_EQ(0, instance);
    EXPECT_EQ(5u, number);
    EXPECT_EQ(1u, parity);
    EXPECT_EQ(0u, value);
    EXPECT_EQ(0u, handle);

    // Without a session the account number is 0.
    ticket = TicketFor(0);
    unsigned char ticket2[QUERN_TICKET_SIZE];
    uint32_t length = 0;
    EXPECT_EQ(0, QuernGetEncryptedUserIDTicket(nullptr, 0, ticket2, 32, &length, &m_error));
    EXPECT_EQ(0, memcmp(ticket.data(), ticket2, 32));
}

TEST_F(Tickets, SmallTicketBufferIsNotOverrun)
{
    unsigned char buffer[40];
    memset(buffer, '#', sizeof(buffer));
    uint32_t length = 0;
    EXPECT_EQ(0, QuernGetEncryptedUserIDTicket("key", 3, buffer, 31, &length, &m_error));
    EXPECT_EQ(32u, length) << "the length needed";
    EXPECT_EQ(1, m_error.failureType);
    EXPECT_EQ(0, m_error.detailedErrorType);
    EXPECT_EQ(0, m_error.detailedErrorCode);
    EXPECT_STREQ("Ticket buffer too small", m_error.description);
    EXPECT_EQ(std::string(40, '#'), std::string((const char*)buffer, 40));

    // A later good call clears the record.
    EXPECT_EQ(0, QuernGetEncryptedUserIDTicket("key", 3, buffer, 32, &length, &m_error));
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ('\0', m_error.description[0]);
    EXPECT_EQ(std::string(8, '#'), std::string((const char*)buffer + 32, 8));
}

TEST_F(Tickets, RoundTripGivesTheUserId)
{
    uint32_t handle = Start(TicketFor(7));
    EXPECT_EQ(1u, handle);
    QuernGlobalUserId id;
    memset(&id, '#', sizeof(id));
    uint32_t value = 99, last = 99;
    EXPECT_EQ(0, QuernProcessOngoingUserIDTicketValidation(handle, &id, &value, 0, 0, &last));
    EXPECT_EQ(0, id.instance);
    EXPECT_EQ(3u, id.number);
    EXPECT_EQ(1u, id.parity);
    EXPECT_EQ(0u, value);
    EXPECT_EQ(0u, last);
    // Nothing removes a validation; the outputs are optional.
    EXPECT_EQ(0,
              QuernProcessOngoingUserIDTicketValidation(handle, nullptr, nullptr, 0, 0, nullptr));
}

TEST_F(Tickets, HandlesAndSlotReuse)
{
    std::string ticket = TicketFor(7);
    for (uint32_t expected = 1; expected <= 32; ++expected)
        EXPECT_EQ(expected, Start(ticket));
    EXPECT_EQ(0, QuernProcessOngoingUserIDTicketValidation(1, nullptr, nullptr, 0, 0, nullptr));

    // The 33rd shares slot 1 with the first, which is then forgotten.
    EXPECT_EQ(33u, Start(ticket));
    EXPECT_EQ(36, QuernProcessOngoingUserIDTicketValidation(1, nullptr, nullptr, 0, 0, nullptr));
    EXPECT_EQ(0, QuernProcessOngoingUserIDTicketValidation(33, nullptr, nullptr, 0, 0, nullptr));
    EXPECT_EQ(0, QuernProcessOngoingUserIDTicketValidation(2, nullptr, nullptr, 0, 0, nullptr));
    EXPECT_EQ(34u, nextValidationHandle);
}

TEST_F(Tickets, RefusedAndUnknown)
{
    std::string ticket = TicketFor(7);
    uint32_t handle = 0xFFFF;
    EXPECT_EQ(1, QuernStartValidatingUserIDTicket(ticket.data(), 31, 0, &handle));
    EXPECT_EQ(0u, handle);
    handle = 0xFFFF;
    EXPECT_EQ(1, QuernStartValidatingUserIDTicket(nullptr, 32, 0, &handle));
    EXPECT_EQ(0u, handle);
    EXPECT_EQ(1u, nextValidationHandle) << "no handle was used up";

    EXPECT_EQ(24, QuernProcessOngoingUserIDTicketValidation(0, nullptr, nullptr, 0, 0, nullptr));
    EXPECT_EQ(36, QuernProcessOngoingUserIDTicketValidation(5, nullptr, nullptr, 0, 0, nullptr))
        << "never filled";

    // Any 32 bytes are accepted, but a slot without the magic never answers.
    std::string junk(32, 'j');
    handle = Start(junk);
    EXPECT_EQ(1u, handle);
    QuernGlobalUserId id;
    memset(&id, '#', sizeof(id));
    EXPECT_EQ(36, QuernProcessOngoingUserIDTicketValidation(handle, &id, nullptr, 0, 0, nullptr));
    EXPECT_EQ(0x2323u, id.instance) << "nothing is written";
}

TEST_F(Tickets, KeyServersAndLogLines)
{
    DebugOutputCapture capture;
    verboseLogging = 1;
    uint32_t length = 0;
    const char* pszKey = QuernGetEncryptionKeyToSendToNewClient(&length);
    EXPECT_EQ(27u, length);
    EXPECT_STREQ("LegacyShimSessionCipherKey", pszKey);
    EXPECT_EQ(26u, strlen(pszKey));

    EXPECT_EQ(3, QuernFindServersNumServers(4));
    EXPECT_EQ(0, QuernFindServersNumServers(3));
    char endpoint[32];
    memset(endpoint, '#', sizeof(endpoint));
    EXPECT_EQ(0, QuernFindServersIterateServer(4, 2, endpoint, sizeof(endpoint)));
    EXPECT_STREQ(ServerEndpointTable[2], endpoint);
    EXPECT_EQ('\0', endpoint[sizeof(endpoint) - 1]) << "zero-filled";
    EXPECT_EQ(-1, QuernFindServersIterateServer(4, 3, endpoint, sizeof(endpoint)));
    EXPECT_EQ('\0', endpoint[0]);
    EXPECT_EQ(-1, QuernFindServersIterateServer(1, 0, endpoint, sizeof(endpoint)));

    QuernInitializeUserIDTicketValidator(nullptr);
    QuernShutdownUserIDTicketValidator();
    QuernAbortOngoingUserIDTicketValidation(0);
    QuernOptionalCleanUpAfterClientHasDisconnected(0);
    QuernStartValidatingUserIDTicket("x", 1, 0, nullptr);
    QuernProcessOngoingUserIDTicketValidation(9, nullptr, nullptr, 0, 0, nullptr);
    uint32_t ticketLength = 0;
    unsigned char ticket[32];
    QuernGetEncryptedUserIDTicket("abc", 3, ticket, sizeof(ticket), &ticketLength, &m_error);
    EXPECT_STREQ("Wrapper not implemented: QuernFindServersXXX", QuernFindServersGetErrorString());
    verboseLogging = 0;

    const std::vector<std::string> expected = {
        "QuernGetEncryptionKeyToSendToNewClient",
        "QuernFindServersNumServers: 4",
        "QuernFindServersNumServers: 3",
        "QuernFindServersIterateServer: 4, 2",
        "QuernFindServersIterateServer: 4, 3",
        "QuernFindServersIterateServer: 1, 0",
        "QuernInitializeUserIDTicketValidator",
        "QuernShutdownUserIDTicketValidator",
        "QuernAbortOngoingUserIDTicketValidation: ",
        "QuernOptionalCleanUpAfterClientHasDisconnected: ",
        "QuernStartValidatingUserIDTicket",
        "QuernProcessOngoingUserIDTicketValidation: handle 9",
        "QuernGetEncryptedUserIDTicket: server key length 3",
    };
    EXPECT_EQ(expected, capture.Lines());
}

TEST(TicketsServerList, EndpointsAndCutCopies)
{
    const char* const ports[] = {":27015", ":27011", ":27011"};
    for (int i = 0; i < 3; ++i)
    {
        std::string endpoint = ServerEndpointTable[i];
        ASSERT_GT(endpoint.size(), 6u);
        EXPECT_EQ(ports[i], endpoint.substr(endpoint.size() - 6));
    }
    // strncpy rules: a buffer too small gets no terminator, nothing beyond.
    char small[8];
    memset(small, '#', sizeof(small));
    EXPECT_EQ(0, QuernFindServersIterateServer(4, 0, small, 5));
    EXPECT_EQ(0, memcmp(ServerEndpointTable[0], small, 5));
    EXPECT_EQ('#', small[5]);
    // A zero-sized buffer is left alone on both paths.
    EXPECT_EQ(-1, QuernFindServersIterateServer(4, 7, small, 0));
    EXPECT_EQ(ServerEndpointTable[0][0], small[0]);
}
