#include "udp_socket.h"

#include <gtest/gtest.h>

using namespace tessaly::net;

namespace {
constexpr uint32_t k127_0_0_2 = 0x7f000002u;
constexpr uint32_t k127_0_0_3 = 0x7f000003u;
}  // namespace

TEST(UdpSocket, RefusesNonLoopbackBindsAndDestinations) {
    cUdpSocket socket;
    std::string error;
    EXPECT_FALSE(socket.Open(sEndpoint{0x0a000001u, 0}, &error));
    EXPECT_NE(error.find("non-loopback"), std::string::npos) << error;
    EXPECT_FALSE(socket.Open(sEndpoint{0, 0}, &error)) << "not even the wildcard address";
    ASSERT_TRUE(socket.Open(sEndpoint{kLoopbackAddress, 0}, &error)) << error;
    const uint8_t byte = 1;
    EXPECT_FALSE(socket.SendTo(sEndpoint{0x08080808u, 53}, &byte, 1));
    EXPECT_FALSE(socket.SendTo(sEndpoint{0xffffffffu, 9}, &byte, 1));
    EXPECT_TRUE(socket.SendTo(socket.LocalEndpoint(), &byte, 1));
}

// Servers on 127.0.0.2 and 127.0.0.3 must really be two different places: a
// bind that silently widens to all interfaces would also catch 127.0.0.3's
// traffic. Where that happens (Wine), such binds are refused instead.
TEST(UdpSocket, LoopbackAliasBindsStayOnTheirAddressOrAreRefused) {
    cUdpSocket alias;
    std::string error;
    if (!LoopbackAliasesBindable()) {
        EXPECT_FALSE(alias.Open(sEndpoint{k127_0_0_2, 0}, &error));
        EXPECT_NE(error.find("all interfaces"), std::string::npos) << error;
        return;
    }
    ASSERT_TRUE(alias.Open(sEndpoint{k127_0_0_2, 0}, &error)) << error;
    EXPECT_EQ(alias.LocalEndpoint().address, k127_0_0_2);
    cUdpSocket sender;
    ASSERT_TRUE(sender.Open(sEndpoint{kLoopbackAddress, 0}, &error)) << error;
    const uint8_t wrong = 3, right = 2;
    ASSERT_TRUE(sender.SendTo(sEndpoint{k127_0_0_3, alias.LocalEndpoint().port}, &wrong, 1));
    ASSERT_TRUE(sender.SendTo(alias.LocalEndpoint(), &right, 1));
    uint8_t buffer[16];
    size_t size = 0;
    sEndpoint from;
    ASSERT_EQ(alias.ReceiveFrom(buffer, sizeof buffer, &size, &from, 2000), eReceiveResult::Datagram);
    EXPECT_EQ(buffer[0], right) << "a datagram for 127.0.0.3 reached the socket on 127.0.0.2";
    EXPECT_EQ(from, sender.LocalEndpoint());
    EXPECT_EQ(alias.ReceiveFrom(buffer, sizeof buffer, &size, &from, 100), eReceiveResult::Timeout);
}
