// A simulated WMR headset's sensor report (id 1): four IMU samples packed the way
// the headset sends them. Written from the wire format alone, independent of the
// driver's decoding, so that each checks the other.
//
// Layout (little-endian, 381 bytes): id; 4 x u16 temperature; 4 x u64 gyroscope
// ticks; 32 x i16 gyroscope X, Y, Z (eight readings per sample); 4 x u64
// accelerometer ticks; 4 x i32 accelerometer X, Y, Z; 4 x u64 magnetometer ticks;
// 4 x i16 magnetometer X, Y, Z; 3 x u32 state words. Units of 0.001; the headset's
// Y and Z axes point the other way from the tracking frame's.
#pragma once

#include <Eigen/Core>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

constexpr size_t kWmrSensorReportBytes = 381;
constexpr int kWmrSamplesPerReport = 4;

// One sample as measured, in the tracking frame's axes and SI units.
struct sWmrSample {
    uint64_t gyroTicks = 0;  // 100 ns ticks of the headset clock
    uint64_t accTicks = 0;
    Eigen::Vector3d accelerometer = Eigen::Vector3d::Zero();  // m/s^2
    Eigen::Vector3d gyroscope = Eigen::Vector3d::Zero();      // rad/s
};

std::vector<uint8_t> EncodeWmrSensorReport(const std::array<sWmrSample, kWmrSamplesPerReport>& samples);

// Eight 16-bit readings whose mean is `rate` to the nearest 1/8 of a unit.
std::array<int16_t, 8> WmrGyroReadings(double rate);

// A report of another id: the id, then zeros up to `length` bytes.
std::vector<uint8_t> WmrOtherReport(uint8_t id, size_t length);

// The headset's own clock: 100 ns ticks from an epoch of its own, running
// `driftPpm` parts per million faster than driver time (negative: slower).
class cWmrHeadsetClock {
public:
    cWmrHeadsetClock(double driftPpm, uint64_t epochTicks, double originDriverTime)
        : mRate(1e7 * (1.0 + driftPpm * 1e-6)), mEpochTicks(epochTicks), mOrigin(originDriverTime) {}
    uint64_t Ticks(double driverTime) const;

private:
    double mRate;
    uint64_t mEpochTicks;
    double mOrigin;
};

}  // namespace sim
