// Runs the parser's fuzz entry point on mutations of valid datagrams, so that
// every build (gcc, MinGW, sanitizers) exercises it without libFuzzer.
#include "fuzz_target.h"
#include "wire_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using namespace tessaly::wire;

namespace {

int RunDatagramTarget(const uint8_t* data, size_t size) {
    for (const auto& target : halvex::fuzz::Targets())
        if (std::string(target.name) == "datagram_parser") return target.run(data, size);
    ADD_FAILURE() << "the datagram_parser fuzz target is not linked in";
    return 0;
}

std::vector<std::vector<uint8_t>> Seeds() {
    std::vector<std::vector<uint8_t>> seeds;
    std::vector<uint8_t> out;
    EncodeDiscoveryProbe(out, 1, 2);
    seeds.push_back(out);
    sServerInfo info;
    info.port = 29170;
    info.clockFrequency = 10000000;
    std::strcpy(info.name, "sim");
    EncodeDiscoveryAnswer(out, sHeader{eMessageType::DiscoveryProbe, 3, 4}, info);
    seeds.push_back(out);
    EncodeConnectRequest(out, 5, 6, 1, false);
    seeds.push_back(out);
    EncodeConnectAnswer(out, 5, 6, 0, info);
    seeds.push_back(out);
    EncodeCommandRequest(out, 5, 7, "SubscribeByID,RigidBody,12");
    seeds.push_back(out);
    const uint8_t response[4] = {0, 0, 0, 0};
    EncodeCommandResponse(out, 5, 7, 0, true, response, 4);
    seeds.push_back(out);
    EncodeClockSyncRequest(out, 5, 8, 123456789);
    seeds.push_back(out);
    EncodeClockSyncAnswer(out, 5, 8, 123456789, 987654321);
    seeds.push_back(out);
    std::vector<sRigidBody> bodies(4);
    for (size_t i = 0; i < bodies.size(); ++i) {
        bodies[i].id = static_cast<int32_t>(i);
        bodies[i].flags = 1;
    }
    EncodeFrame(out, 5, 9, sFrameHeader{1, 2, 3, 4, 0}, bodies.data(), bodies.size());
    seeds.push_back(out);
    EncodeDisconnect(out, 5, 10);
    seeds.push_back(out);
    return seeds;
}

}  // namespace

TEST(DatagramFuzz, SeedsParseAndReencodeIdentically) {
    for (const auto& seed : Seeds()) {
        sDatagram d;
        ASSERT_EQ(ParseDatagram(seed.data(), seed.size(), &d), eParseResult::Ok);
        RunDatagramTarget(seed.data(), seed.size());  // aborts on a mismatch
    }
}

TEST(DatagramFuzz, MutatedAndRandomInputsNeverMisparse) {
    std::mt19937 random(20240611);
    const auto seeds = Seeds();
    size_t accepted = 0;
    for (int iteration = 0; iteration < 60000; ++iteration) {
        std::vector<uint8_t> input = seeds[random() % seeds.size()];
        switch (random() % 5) {
            case 0:  // flip bits
                for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
                    input[random() % input.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            case 1:  // cut
                input.resize(random() % (input.size() + 1));
                break;
            case 2:  // extend
                for (int n = 1 + static_cast<int>(random() % 40); n > 0; --n) input.push_back(static_cast<uint8_t>(random()));
                break;
            case 3:  // overwrite a byte with a boundary value
                input[random() % input.size()] = static_cast<uint8_t>((random() % 2) ? 0xff : 0x00);
                break;
            default:  // pure noise
                input.resize(random() % 200);
                for (uint8_t& b : input) b = static_cast<uint8_t>(random());
                break;
        }
        sDatagram d;
        if (ParseDatagram(input.data(), input.size(), &d) == eParseResult::Ok) ++accepted;
        RunDatagramTarget(input.data(), input.size());
    }
    // Mutations that leave the datagram valid (a flipped token bit) must exist, or
    // the property check above never ran.
    EXPECT_GT(accepted, 100u);
}
