// Runs the client request fuzz entry point on mutations of well-formed requests, so
// that every build (gcc, MinGW, sanitizers) exercises it without libFuzzer.
#include "client_link/client_messages.h"
#include "client_link/frame_codec.h"

#include <gtest/gtest.h>

#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using namespace vrhost::link;

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    sClientRequest request;
    request.applicationType = 4;
    request.section = "driver_halvex";
    request.key = "tessalyRigidBodyIdHead";
    request.stringValue = "/user/head";
    request.bufferSize = 512;
    request.device = 1;
    request.prop = 1000;
    std::string hello;
    for (int op = 0; op <= static_cast<int>(eClientOp::AcknowledgeQuit); ++op) {
        request.op = static_cast<eClientOp>(op);
        request.id = static_cast<uint32_t>(op + 1);
        const std::string body = EncodeRequest(request);
        if (op == 0) hello = body;
        seeds.push_back(body);
        seeds.push_back(EncodeFrame(hello) + EncodeFrame(body));
    }
    return seeds;
}

TEST(ClientRequestFuzz, MutatedRequestsNeitherCrashNorDecodeTwoWays) {
    std::mt19937 random(20261208);
    for (const std::string& seed : Seeds()) {
        ASSERT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(seed.data()), seed.size()), 0);
        for (int round = 0; round < 300; ++round) {
            std::string mutated = seed;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits && !mutated.empty(); ++e) {
                const size_t at = random() % mutated.size();
                switch (random() % 3) {
                    case 0: mutated[at] = static_cast<char>(random()); break;
                    case 1: mutated.erase(at, 1 + random() % 3); break;
                    default: mutated.insert(at, 1, static_cast<char>(random())); break;
                }
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(mutated.data()), mutated.size());
        }
    }
}

}  // namespace
