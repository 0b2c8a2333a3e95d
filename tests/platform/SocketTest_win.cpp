// The agent's port on Windows is its own: SO_EXCLUSIVEADDRUSE keeps out a socket that would
// share it with SO_REUSEADDR (which Windows would otherwise allow).
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace tarvo {
namespace {

TEST(SocketOfWindows, NoOtherSocketCanTakeTheListeningPort)
{
    Listening agent = listenTcp("127.0.0.1", 0, 4);
    ASSERT_EQ(agent.error, "");
    SOCKET intruder = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(intruder, INVALID_SOCKET);
    BOOL on = TRUE;
    ::setsockopt(intruder, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&on), sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(agent.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(::bind(intruder, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::closesocket(intruder);
}

} // namespace
} // namespace tarvo
