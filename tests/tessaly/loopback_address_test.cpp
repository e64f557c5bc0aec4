#include "loopback_address.h"

#include <gtest/gtest.h>

using namespace tessaly::net;

TEST(LoopbackAddress, ParsesOnlyStrictDottedDecimal) {
    uint32_t a = 0;
    EXPECT_TRUE(ParseIPv4("127.0.0.1", &a));
    EXPECT_EQ(a, 0x7f000001u);
    EXPECT_TRUE(ParseIPv4("127.255.255.255", &a));
    EXPECT_EQ(a, 0x7fffffffu);
    for (const char* bad : {"", "127.0.0", "127.0.0.1.", "127.0.0.256", "127.0.0.01", " 127.0.0.1", "127.0.0.1 ",
                            "127.0.0.-1", "1270.0.0.1", "127..0.1", "localhost", "127.0.0.1:80"})
        EXPECT_FALSE(ParseIPv4(bad, &a)) << bad;
    EXPECT_EQ(FormatIPv4(0x7f000203u), "127.0.2.3");
}

TEST(LoopbackAddress, EndpointListKeepsLoopbackEntriesAndExplainsRefusals) {
    std::vector<std::string> refused;
    const auto endpoints =
        ParseEndpointList(" 127.0.0.2:4000, 192.0.2.3, 127.0.0.3 ,bogus,127.0.0.4:0,127.0.0.2:4000,,", 29170, &refused);
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_EQ(FormatEndpoint(endpoints[0]), "127.0.0.2:4000");
    EXPECT_EQ(FormatEndpoint(endpoints[1]), "127.0.0.3:29170");
    ASSERT_EQ(refused.size(), 3u);
    EXPECT_NE(refused[0].find("non-loopback address 192.0.2.3"), std::string::npos);
    EXPECT_NE(refused[1].find("bogus"), std::string::npos);
    EXPECT_NE(refused[2].find("127.0.0.4:0"), std::string::npos);
}
