#include "report_builder.h"
#include "wmr/headset_clock.h"

#include <gtest/gtest.h>

#include <cstring>

namespace halvex::wmr {
namespace {

// A report whose newest sample was stamped `ticks`, read at driver time `now`.
void Read(cHeadsetClock& clock, uint64_t firstTicks, double now) {
    clock.Update(test::AsReport(test::StillReport(firstTicks)), now);
}

TEST(HeadsetClock, KeepsTheLeastDelayedReportUntilALessDelayedOneComes) {
    for (double window : {cHeadsetClock::kDefaultWindowSeconds, cHeadsetClock::kWholeHistory}) {
        cHeadsetClock clock(window);
        EXPECT_EQ(clock.Offset(), cHeadsetClock::kNoOffset);
        // Each report's newest sample is 30000 ticks (3 ms) after its first.
        Read(clock, 1000000, 500.0);  // base 1000000: raw span 0.003 s, offset 499.997
        EXPECT_DOUBLE_EQ(clock.Offset(), 500.0 - 0.003);
        Read(clock, 1040000, 500.0062);  // 2.2 ms later than its samples warrant: kept
        EXPECT_DOUBLE_EQ(clock.Offset(), 500.0 - 0.003);
        Read(clock, 1080000, 500.0075);  // 0.5 ms less delay: lowers it
        EXPECT_DOUBLE_EQ(clock.Offset(), 500.0075 - 0.011);
        EXPECT_EQ(clock.TimeBase(), 1000000u);
    }
}

TEST(HeadsetClock, ReadsAReportWhereverItLies) {
    // The driver keeps its report in a byte buffer: the packed stamps then sit off
    // their natural alignment (the sanitizer build checks every access to them).
    alignas(8) unsigned char buffer[sizeof(sWmrInputReport_Sensors) + 8];
    const sWmrInputReport_Sensors source = test::AsReport(test::StillReport(1000000));
    for (size_t shift : {0u, 1u, 3u}) {
        std::memcpy(buffer + shift, &source, sizeof source);
        const auto* report = reinterpret_cast<const sWmrInputReport_Sensors*>(buffer + shift);
        cHeadsetClock clock(cHeadsetClock::kWholeHistory);
        clock.Update(*report, 500.0);
        EXPECT_EQ(clock.TimeBase(), 1000000u) << "shift " << shift;
        EXPECT_DOUBLE_EQ(clock.Offset(), 500.0 - 0.003) << "shift " << shift;
    }
}

TEST(HeadsetClock, ComparesMagnitudes) {
    // Driver time before the headset's span: offsets are negative; the smaller magnitude wins.
    cHeadsetClock clock;
    Read(clock, 0 + 1, 0.001);        // base 1, span 0.003: offset -0.002
    Read(clock, 10000001, 0.5);       // span 1.003: offset -0.503, larger magnitude, kept out
    EXPECT_DOUBLE_EQ(clock.Offset(), 0.001 - 0.003);
}

TEST(HeadsetClock, TicksThatGoBackStartTheBaseAndTheOffsetAfresh) {
    for (double window : {cHeadsetClock::kDefaultWindowSeconds, cHeadsetClock::kWholeHistory}) {
        cHeadsetClock clock(window);
        EXPECT_FALSE(clock.Update(test::AsReport(test::StillReport(50000000)), 800.0));
        EXPECT_FALSE(clock.Update(test::AsReport(test::StillReport(50040000)), 800.004));
        // Stamp jitter of a few samples is no restart.
        EXPECT_FALSE(clock.Update(test::AsReport(test::StillReport(50060000)), 800.006));
        // The counter restarted (power cycle): far behind the base.
        EXPECT_TRUE(clock.Update(test::AsReport(test::StillReport(20000)), 801.0));
        EXPECT_EQ(clock.TimeBase(), 20000u);
        EXPECT_DOUBLE_EQ(clock.Offset(), 801.0 - 0.003) << "not the old run's offset";
        EXPECT_NEAR(clock.RawTime(30000, 30000), 0.001, 1e-12);
        // Behind the previous report, though still past the base: also a restart.
        EXPECT_FALSE(clock.Update(test::AsReport(test::StillReport(30000000)), 804.0));
        EXPECT_TRUE(clock.Update(test::AsReport(test::StillReport(10000000)), 804.5));
        EXPECT_EQ(clock.TimeBase(), 10000000u);
        EXPECT_DOUBLE_EQ(clock.Offset(), 804.5 - 0.003);
    }
}

TEST(HeadsetClock, TheMidpointDoesNotWrapWhereTheSpanDoesNot) {
    cHeadsetClock clock;
    clock.Update(test::AsReport(test::StillReport(1)), 1.0);
    // Each stamp 2^63 ticks past the base: their sum passes 2^64, each alone does not.
    const uint64_t far = 1 + (uint64_t{1} << 63);
    EXPECT_DOUBLE_EQ(clock.RawTime(far, far), static_cast<double>(uint64_t{1} << 63) / 1e7);
    EXPECT_DOUBLE_EQ(clock.RawTime(1001, 901), 9.5e-5);
}

// A headset clock running `ppm` slower than driver time, one report every 4 ms
// with a fixed 1 ms delay: the offset error after `seconds`.
double OffsetErrorAfter(double window, double ppm, double seconds) {
    cHeadsetClock clock(window);
    const double start = 1000.0;
    double truthOffset = 0.0;
    for (double t = start; t < start + seconds; t += 0.004) {
        const double headsetSeconds = (t - start) * (1.0 - ppm * 1e-6);
        const uint64_t newestTicks = 5000000 + static_cast<uint64_t>(headsetSeconds * 1e7);
        Read(clock, newestTicks - 30000, t + 0.001);
        // The offset that dates the newest sample at its true time plus the delay.
        truthOffset = t + 0.001 - static_cast<double>(newestTicks - clock.TimeBase()) / 1e7;
    }
    return truthOffset - clock.Offset();
}

TEST(HeadsetClock, FollowsASlowHeadsetClockThatAWholeHistoryMinimumLeavesBehind) {
    // 50 ppm over 10 minutes: 30 ms behind with the minimum of all time...
    EXPECT_NEAR(OffsetErrorAfter(cHeadsetClock::kWholeHistory, 50.0, 600.0), 0.030, 0.0005);
    // ...at most the window's worth (20 s x 50 ppm = 1 ms) with the sliding one.
    const double windowed = OffsetErrorAfter(cHeadsetClock::kDefaultWindowSeconds, 50.0, 600.0);
    EXPECT_GE(windowed, 0.0);
    EXPECT_LE(windowed, 0.0011);
    // A faster headset clock lowers the candidates: both follow it.
    EXPECT_NEAR(OffsetErrorAfter(cHeadsetClock::kDefaultWindowSeconds, -50.0, 600.0), 0.0, 1e-6);
}

TEST(HeadsetClock, DriftFreeClockMatchesTheWholeHistoryMinimum) {
    // Delays that vary with a floor reached now and then: both keep that floor.
    cHeadsetClock windowed, whole(cHeadsetClock::kWholeHistory);
    for (int n = 0; n < 15000; ++n) {  // a minute of reports
        const double t = 2000.0 + 0.004 * n;
        const double delay = 0.0005 + 0.0003 * ((n * 7919) % 11) / 10.0;
        const uint64_t first = 777000000 + static_cast<uint64_t>(n) * 40000;
        Read(windowed, first, t + delay);
        Read(whole, first, t + delay);
        if (n < 4000) {
            ASSERT_EQ(windowed.Offset(), whole.Offset()) << n;  // exact while the window holds it all
        }
    }
    EXPECT_NEAR(windowed.Offset(), whole.Offset(), 1e-9);
}

TEST(HeadsetClock, AClockThatGoesBackDoesNotThrowAwayTheWindow) {
    cHeadsetClock clock;
    Read(clock, 1000000, 100.0);
    Read(clock, 1040000, 50.0);  // driver time earlier than before: still a candidate
    EXPECT_DOUBLE_EQ(clock.Offset(), 50.0 - 0.007);
    Read(clock, 1080000, 100.01);
    EXPECT_DOUBLE_EQ(clock.Offset(), 50.0 - 0.007);
}

}  // namespace
}  // namespace halvex::wmr
