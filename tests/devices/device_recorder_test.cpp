// A device's recorder stopped and started live by request, with a producer caught
// between its check of the flag and its push when the first recording ends.
#include "devices/device_recorder.h"
#include "recording/recording_loop.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace halvex;

sRawRecord Imu(double t) {
    const double accel[3] = {0.0, 9.81, 0.0}, gyro[3] = {0.0, 0.0, 0.0};
    return MakeImuRawRecord(t, t, accel, gyro);
}

TEST(DeviceRecorder, ARecordPushedAfterARecordingEndedDoesNotOpenTheNextOne) {
    test::cTempFolder temp;
    auto imuRing = std::make_unique<cRawRecordRing>();
    std::atomic<double> clock{1.0};
    std::atomic<int> recordingsEnded{0};
    cDeviceRecorder recorder(
        [&](uint32_t deviceIndex, double recordFrom, const std::atomic<bool>& stop) {
            sRecordingSetup setup;
            setup.imuRawRing = imuRing.get();
            setup.deviceIndex = deviceIndex;
            setup.logFolder = temp.Utf8();
            setup.recordFrom = recordFrom;
            RunRecordingLoop(setup, stop);
            ++recordingsEnded;
        },
        [&] { return clock.load(); });
    const auto waitForEnd = [&](int count) {
        for (int i = 0; i < 5000 && recordingsEnded.load() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return recordingsEnded.load() == count;
    };
    std::string why;

    ASSERT_TRUE(recorder.Set(true, 5, why)) << why;
    ASSERT_TRUE(imuRing->push(Imu(1.1)));
    ASSERT_TRUE(recorder.Set(false, 5, why)) << why;
    ASSERT_TRUE(waitForEnd(1));
    // The producer saw the flag before the stop and pushes only now.
    clock = 1.5;
    ASSERT_TRUE(imuRing->push(Imu(1.5)));

    clock = 2.0;
    ASSERT_TRUE(recorder.Set(true, 6, why)) << why;
    ASSERT_TRUE(imuRing->push(Imu(2.1)));
    ASSERT_TRUE(recorder.Set(false, 6, why)) << why;
    ASSERT_TRUE(waitForEnd(2));
    recorder.Stop();

    const auto first = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device5_rawdata.csv"));
    const auto second = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device6_rawdata.csv"));
    ASSERT_EQ(first.size(), 7u);
    ASSERT_EQ(second.size(), 7u) << "one row: the stale one is not in it";
    EXPECT_DOUBLE_EQ(std::strtod(test::SplitFields(first.back()).at(0).c_str(), nullptr), 1.1);
    EXPECT_DOUBLE_EQ(std::strtod(test::SplitFields(second.back()).at(0).c_str(), nullptr), 2.1);
}

}  // namespace
