// The server-clock mapping on its own, with made-up exchanges: which exchange it
// trusts, which it refuses, and what it cannot map. No network, no wall clock.
#include "server_clock_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using tessaly::cServerClockMapping;

constexpr uint64_t kFrequency = 10000000;  // 100 ns ticks
// The server clock reads this many seconds more than the library's.
constexpr double kTrueOffset = 1000.25;

uint64_t TicksAt(double serverSeconds) { return static_cast<uint64_t>(std::llround(serverSeconds * kFrequency)); }

// An exchange sent at `sent` and answered after `roundTrip`; the server stamped its
// clock `outbound` seconds after the request left (half the round trip when symmetric).
void Exchange(cServerClockMapping& mapping, double sent, double roundTrip, double outbound) {
    mapping.AddExchange(sent, sent + roundTrip, TicksAt(sent + outbound + kTrueOffset));
}

// Local seconds since a server event that happened at local time `eventLocal`.
double Since(const cServerClockMapping& mapping, double eventLocal, double now) {
    return mapping.SecondsSince(TicksAt(eventLocal + kTrueOffset), now);
}

TEST(ServerClockMapping, TrustsTheExchangeWithTheShortestRoundTrip) {
    cServerClockMapping mapping;
    mapping.Reset(kFrequency);
    // Lopsided exchanges misjudge the offset by half their asymmetry; the short one does not.
    Exchange(mapping, 10.0, 0.040, 0.038);
    Exchange(mapping, 11.0, 0.002, 0.001);
    Exchange(mapping, 12.0, 0.020, 0.001);
    EXPECT_EQ(mapping.ExchangeCount(), 3);
    EXPECT_NEAR(Since(mapping, 20.0, 20.5), 0.5, 1e-6);
    EXPECT_NEAR(Since(mapping, 20.0, 20.0), 0.0, 1e-6);
    EXPECT_LT(Since(mapping, 20.1, 20.0), 0.0) << "an event in the future";

    // A later, shorter exchange takes over.
    Exchange(mapping, 13.0, 0.0005, 0.00025);
    EXPECT_NEAR(Since(mapping, 20.0, 22.0), 2.0, 1e-6);
}

TEST(ServerClockMapping, RefusesExchangesWithAnOverLongOrNegativeRoundTrip) {
    cServerClockMapping mapping;
    mapping.Reset(kFrequency);
    Exchange(mapping, 10.0, 1.5, 0.1);
    Exchange(mapping, 10.0, -0.001, 0.0);
    EXPECT_EQ(mapping.ExchangeCount(), 0);
    EXPECT_LT(Since(mapping, 20.0, 21.0), 0.0) << "nothing to map with";

    Exchange(mapping, 11.0, 0.004, 0.002);
    Exchange(mapping, 12.0, 1.2, 0.0);  // would be "shortest" if its 1.2 s were taken as valid data
    EXPECT_EQ(mapping.ExchangeCount(), 1);
    EXPECT_NEAR(Since(mapping, 20.0, 21.0), 1.0, 1e-6);
}

TEST(ServerClockMapping, TickZeroMeansNotProvided) {
    cServerClockMapping mapping;
    mapping.Reset(kFrequency);
    mapping.AddExchange(10.0, 10.002, 0);
    EXPECT_EQ(mapping.ExchangeCount(), 0);
    Exchange(mapping, 11.0, 0.002, 0.001);
    EXPECT_LT(mapping.SecondsSince(0, 20.0), 0.0);
}

TEST(ServerClockMapping, ResetForgetsTheExchangesAndTakesTheNewFrequency) {
    cServerClockMapping mapping;
    EXPECT_LT(mapping.SecondsSince(TicksAt(1.0), 2.0), 0.0) << "no frequency yet";
    mapping.Reset(kFrequency);
    Exchange(mapping, 11.0, 0.002, 0.001);
    ASSERT_GT(Since(mapping, 20.0, 21.0), 0.0);

    mapping.Reset(kFrequency / 10);
    EXPECT_EQ(mapping.ExchangeCount(), 0);
    EXPECT_EQ(mapping.Frequency(), kFrequency / 10);
    EXPECT_LT(Since(mapping, 20.0, 21.0), 0.0) << "the old server's exchanges are gone";
    // One-microsecond ticks now.
    mapping.AddExchange(30.0, 30.002, static_cast<uint64_t>(std::llround((30.001 + kTrueOffset) * 1e6)));
    EXPECT_NEAR(mapping.SecondsSince(static_cast<uint64_t>(std::llround((40.0 + kTrueOffset) * 1e6)), 40.25), 0.25,
                1e-5);
}

TEST(ServerClockMapping, AnOldBestExchangeLeavesTheWindow) {
    cServerClockMapping mapping;
    mapping.Reset(kFrequency);
    // A short exchange that is off by 5 ms (the server clock has since been stepped).
    mapping.AddExchange(10.0, 10.001, TicksAt(10.0005 + kTrueOffset + 0.005));
    for (int i = 0; i < 16; ++i) Exchange(mapping, 11.0 + i, 0.004, 0.002);
    EXPECT_NEAR(Since(mapping, 40.0, 41.0), 1.0, 1e-6) << "the mapping follows the recent exchanges";
}

}  // namespace
