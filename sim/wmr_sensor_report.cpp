#include "wmr_sensor_report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace sim {
namespace {

constexpr double kUnitsPerSi = 1000.0;

template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t offset, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) bytes[offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
}

template <typename T>
T Saturated(double units) {
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    return static_cast<T>(std::clamp(std::round(units), lo, hi));
}

// The headset reports X as the tracking frame has it, Y and Z reversed.
double AxisSign(int axis) { return axis == 0 ? 1.0 : -1.0; }

}  // namespace

std::array<int16_t, 8> WmrGyroReadings(double rate) {
    // Spread the rounding over the eight readings so their mean keeps 1/8 unit.
    const int64_t eighths = static_cast<int64_t>(std::llround(std::clamp(rate * kUnitsPerSi * 8.0, -262136.0, 262136.0)));
    std::array<int16_t, 8> readings{};
    const int64_t base = eighths >= 0 ? eighths / 8 : -((-eighths + 7) / 8);
    const int64_t extra = eighths - base * 8;  // 0..7 readings one unit higher
    for (int k = 0; k < 8; ++k) readings[k] = static_cast<int16_t>(base + (k < extra ? 1 : 0));
    return readings;
}

std::vector<uint8_t> EncodeWmrSensorReport(const std::array<sWmrSample, kWmrSamplesPerReport>& samples) {
    std::vector<uint8_t> bytes(kWmrSensorReportBytes, 0);
    bytes[0] = 1;
    for (int t = 0; t < 4; ++t) Put<uint16_t>(bytes, 1 + 2 * t, 3100 + t);  // about 31 degrees
    for (int i = 0; i < kWmrSamplesPerReport; ++i) {
        const sWmrSample& s = samples[i];
        Put<uint64_t>(bytes, 9 + 8 * i, s.gyroTicks);
        for (int axis = 0; axis < 3; ++axis) {
            const std::array<int16_t, 8> readings = WmrGyroReadings(AxisSign(axis) * s.gyroscope[axis]);
            for (int k = 0; k < 8; ++k) Put<int16_t>(bytes, 41 + 64 * axis + 2 * (8 * i + k), readings[k]);
        }
        Put<uint64_t>(bytes, 233 + 8 * i, s.accTicks);
        for (int axis = 0; axis < 3; ++axis)
            Put<int32_t>(bytes, 265 + 16 * axis + 4 * i, Saturated<int32_t>(AxisSign(axis) * s.accelerometer[axis] * kUnitsPerSi));
        Put<uint64_t>(bytes, 313 + 8 * i, s.accTicks);
        const int16_t field[3] = {120, -340, 560};  // a steady magnetic field
        for (int axis = 0; axis < 3; ++axis) Put<int16_t>(bytes, 345 + 8 * axis + 2 * i, field[axis]);
    }
    Put<uint32_t>(bytes, 369, 0x1u);
    Put<uint32_t>(bytes, 373, 0x0u);
    Put<uint32_t>(bytes, 377, 0x80u);
    return bytes;
}

std::vector<uint8_t> WmrOtherReport(uint8_t id, size_t length) {
    std::vector<uint8_t> bytes(std::max<size_t>(length, 1), 0);
    bytes[0] = id;
    return bytes;
}

uint64_t cWmrHeadsetClock::Ticks(double driverTime) const {
    const double elapsed = std::floor((driverTime - mOrigin) * mRate);
    return mEpochTicks + static_cast<uint64_t>(static_cast<int64_t>(elapsed));
}

}  // namespace sim
