// Reports for the decoding tests: built through the simulated headset's encoder,
// which knows the wire format on its own, then adjusted field by field.
#pragma once

#include "sim/wmr_sensor_report.h"
#include "wmr/sensor_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace halvex::wmr::test {

inline std::vector<uint8_t> StillReport(uint64_t firstTicks, uint64_t stepTicks = 10000) {
    std::array<sim::sWmrSample, 4> samples;
    for (int i = 0; i < 4; ++i) {
        samples[i].gyroTicks = firstTicks + i * stepTicks;
        samples[i].accTicks = firstTicks + i * stepTicks;
        samples[i].accelerometer = {0.0, 9.81, 0.0};
    }
    return sim::EncodeWmrSensorReport(samples);
}

inline sWmrInputReport_Sensors AsReport(const std::vector<uint8_t>& bytes) {
    sWmrInputReport_Sensors report;
    EXPECT_TRUE(ReadSensorReport(bytes.data(), bytes.size(), report));
    return report;
}

// Writes a little-endian value at a byte offset.
template <typename T>
void Poke(std::vector<uint8_t>& bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

}  // namespace halvex::wmr::test
