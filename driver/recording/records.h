// The fixed-size records that cross a recording ring, filled by the tracking
// threads and written out as CSV rows by the recording thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace halvex {

constexpr double kRawSensorImu = 0.0;
constexpr double kRawSensorOptical = 1.0;

// One raw input sample. IMU: accelerometer in t*, gyroscope in r*, rw = 0.
// Optical: position in t*, orientation quaternion in r* (w first).
struct sRawRecord {
    double driverTime;  // driver clock when the record was made
    double eventTime;   // the sample's own time
    double sensorType;  // kRawSensorImu or kRawSensorOptical
    double tx, ty, tz;
    double rw, rx, ry, rz;
};
static_assert(sizeof(sRawRecord) == 10 * sizeof(double), "sRawRecord is 10 doubles");

inline sRawRecord MakeImuRawRecord(double driverTime, double eventTime, const double accel[3], const double gyro[3]) {
    return {driverTime, eventTime, kRawSensorImu, accel[0], accel[1], accel[2], 0.0, gyro[0], gyro[1], gyro[2]};
}

inline sRawRecord MakeOpticalRawRecord(double driverTime, double eventTime, const double position[3], double qw,
                                       double qx, double qy, double qz) {
    return {driverTime, eventTime, kRawSensorOptical, position[0], position[1], position[2], qw, qx, qy, qz};
}

// When a filter record was taken, relative to the update it brackets.
enum eFilterRowType : int {
    FilterRow_OptPre = 0,
    FilterRow_OptPost = 1,
    FilterRow_ImuPre = 2,
    FilterRow_ImuPost = 3,
};

// "opt_pre", "opt_post", "imu_pre", "imu_post"; anything else "unk_<n>".
std::string RowTypeName(int type);

// A snapshot of the fusion filter: nominal state (position, velocity, orientation
// w x y z, accelerometer bias, gyroscope bias, gravity) and the diagonal of the
// error covariance in error-state order.
struct sFilterRecord {
    static constexpr size_t kStateCount = 19;
    static constexpr size_t kCovarianceCount = 18;
    static constexpr size_t kValueCount = 2 + kStateCount + kCovarianceCount;

    double driverTime;
    double rowType;  // an eFilterRowType
    double state[kStateCount];
    double covarianceDiagonal[kCovarianceCount];
};
static_assert(sizeof(sFilterRecord) == sFilterRecord::kValueCount * sizeof(double), "sFilterRecord is 39 doubles");

// `state` points to 19 values, `covarianceDiagonal` to 18.
sFilterRecord MakeFilterRecord(double driverTime, int rowType, const double* state, const double* covarianceDiagonal);

// One raw HID report (WMR sensor reports), turned into a text line only by the
// recording thread, so that the IMU thread never formats or allocates.
struct sReportRecord {
    static constexpr size_t kMaxBytes = 384;
    double driverTime;  // driver clock when the record was made
    uint32_t size;  // bytes used
    uint8_t bytes[kMaxBytes];
};

// A text line of fixed size, so that a ring of lines never allocates. Longer text
// is cut; the line is always terminated.
template <size_t L>
struct sTextLine {
    static_assert(L >= 1, "room for the terminator");
    char text[L];

    void Assign(const char* source) {
        const size_t length = strnlen(source, L - 1);
        std::memcpy(text, source, length);
        text[length] = '\0';
    }
};

}  // namespace halvex
