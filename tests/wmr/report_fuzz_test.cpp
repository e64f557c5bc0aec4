// Runs the report fuzz entry point on mutations of real report streams, so that
// every build (gcc, MinGW, sanitizers) exercises it without libFuzzer.
#include "report_builder.h"

#include <gtest/gtest.h>

#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace halvex::wmr {
namespace {

// Reports in the entry point's framing: a length byte in units of two bytes, then the bytes.
void Frame(std::vector<uint8_t>& input, std::vector<uint8_t> report) {
    report.resize((report.size() + 1) / 2 * 2, 0);
    input.push_back(static_cast<uint8_t>(report.size() / 2));
    input.insert(input.end(), report.begin(), report.end());
}

TEST(ReportFuzz, MutatedReportStreamsDecodeSafely) {
    std::vector<uint8_t> seed;
    for (uint64_t k = 0; k < 6; ++k) Frame(seed, test::StillReport(1000000 + 40000 * k));
    Frame(seed, sim::WmrOtherReport(2, 64));
    const std::vector<uint8_t> whole = test::StillReport(5);
    Frame(seed, std::vector<uint8_t>(whole.begin(), whole.begin() + 200));
    ASSERT_EQ(LLVMFuzzerTestOneInput(seed.data(), seed.size()), 0);

    std::mt19937 random(8);
    for (int round = 0; round < 1000; ++round) {
        std::vector<uint8_t> input = seed;
        const int edits = 1 + static_cast<int>(random() % 16);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % input.size();
            switch (random() % 4) {
            case 0: input[at] = static_cast<uint8_t>(random()); break;
            case 1: input[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
            case 2: input.erase(input.begin() + static_cast<std::ptrdiff_t>(at)); break;
            default: input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(random())); break;
            }
            if (input.empty()) input.push_back(0);
        }
        ASSERT_EQ(LLVMFuzzerTestOneInput(input.data(), input.size()), 0) << round;
    }
}

}  // namespace
}  // namespace halvex::wmr
