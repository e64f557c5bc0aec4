#include "wmr/sensor_decoding.h"

#include <cstring>

namespace halvex::wmr {

namespace {

constexpr double kScale = 0.001;

}  // namespace

bool ReadSensorReport(const uint8_t* bytes, size_t length, sWmrInputReport_Sensors& report) {
    // A short report would be read past its end: it is no sensor report.
    if (bytes == nullptr || length < kSensorReportSize || bytes[0] != kSensorReportId) return false;
    std::memcpy(&report, bytes, kSensorReportSize);
    return true;
}

double MeanGyroReading(const int16_t readings[32], int sample) {
    int32_t sum = 0;
    for (int k = 0; k < kGyroReadingsPerSample; ++k) sum += readings[kGyroReadingsPerSample * sample + k];
    return sum * 0.125;
}

bool DecodeSensorReport(const sWmrInputReport_Sensors& report, double now, cHeadsetClock& clock,
                        sWmrImuSample samples[kSamplesPerReport]) {
    const bool clockRestarted = clock.Update(report, now);
    // Copies: the packed report's members cannot be bound to references.
    int16_t gyroX[32], gyroY[32], gyroZ[32];
    std::memcpy(gyroX, report.gyroX, sizeof(gyroX));
    std::memcpy(gyroY, report.gyroY, sizeof(gyroY));
    std::memcpy(gyroZ, report.gyroZ, sizeof(gyroZ));
    for (int i = 0; i < kSamplesPerReport; ++i) {
        sWmrImuSample& s = samples[i];
        s.rawTime = clock.RawTime(report.timestampGyro[i], report.timestampAcc[i]);
        s.time = s.rawTime + clock.Offset();
        s.linearAcceleration[0] = report.accX[i] * kScale;
        s.linearAcceleration[1] = report.accY[i] * -kScale;
        s.linearAcceleration[2] = report.accZ[i] * -kScale;
        s.angularVelocity[0] = MeanGyroReading(gyroX, i) * kScale;
        s.angularVelocity[1] = MeanGyroReading(gyroY, i) * -kScale;
        s.angularVelocity[2] = MeanGyroReading(gyroZ, i) * -kScale;
    }
    return clockRestarted;
}

}  // namespace halvex::wmr
