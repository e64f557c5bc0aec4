// A whole session with a scenario: the fake driver finds the headset's IMU stream
// through its driver context, from its own thread, after the stream's delay, and
// drains it as a device driver does while the host records what it saw.
#include "vrhost/host/host.h"
#include "vrhost/accuracy/summary_reader.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(ImuSessionTest, FakeDriverReadsTheLateHeadsetStream) {
    vrhost_test::cScratchFolder scratch;
    vrhost::sHostOptions options;
    options.scenario = "fast";
    options.hmdSerial = "LHR-SESSION";
    options.imuDelaySeconds = 0.3;
    options.settingsFile = scratch
                               .Write("steamvr.vrsettings",
                                      R"({"driver_fake": {"deviceCount": 1, "imuStream": "/devices/lighthouse/LHR-SESSION/imu"},
                                          "driver_halvex": {"tessalyRigidBodyIdHead": 3}})")
                               .u8string();
    vrhost::cHost host(options);
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
    ASSERT_EQ(host.Init(), vr::VRInitError_None);
    host.RunFor(1.3);
    host.Cleanup();

    std::string reader;
    for (const std::string& line : host.Log()) {
        if (line.rfind("fake: imu ", 0) == 0) reader = line;
    }
    ASSERT_FALSE(reader.empty());
    char path[128];
    unsigned failedOpens = 0, samples = 0, outOfGrid = 0, notIncreasing = 0;
    int firstError = 0;
    ASSERT_EQ(std::sscanf(reader.c_str(), "fake: imu %127s failedOpens %u firstError %d samples %u outOfGrid %u notIncreasing %u",
                          path, &failedOpens, &firstError, &samples, &outOfGrid, &notIncreasing),
              6)
        << reader;
    EXPECT_STREQ(path, "/devices/lighthouse/LHR-SESSION/imu");
    EXPECT_GE(failedOpens, 5u);  // retried every 20 ms through the delay
    EXPECT_EQ(firstError, vr::IOBuffer_PathDoesNotExist);
    EXPECT_GT(samples, 700u);  // about a second at 1000 Hz
    EXPECT_EQ(outOfGrid, 0u);
    EXPECT_EQ(notIncreasing, 0u);

    const auto streams = host.ImuStreamStats();
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].read, samples);
    EXPECT_EQ(streams[0].produced, streams[0].read + streams[0].dropped + streams[0].pending);
    EXPECT_EQ(streams[0].dropped, 0u);
    // About a second of a reader that sleeps about a millisecond between drains; a
    // loaded machine (Wine under a sanitizer build beside it) stretches the sleeps.
    EXPECT_GT(streams[0].polls, 100u);
    EXPECT_GT(streams[0].pollMedianMs, 0.9);
    EXPECT_LT(streams[0].pollMedianMs, 30.0);

    const auto lines = vrhost::ReadSummary(host.Summary());
    const auto summaryStreams = vrhost::SelectLines(lines, "imustream", "device", "halvex-head");
    ASSERT_EQ(summaryStreams.size(), 1u);
    EXPECT_EQ(summaryStreams[0].Number("read"), static_cast<double>(samples));
    // The fake devices are no tracked bodies of the scenario.
    EXPECT_TRUE(vrhost::SelectLines(lines, "accuracy").empty());
}

}  // namespace
