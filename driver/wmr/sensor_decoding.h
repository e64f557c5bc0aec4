// A sensor report turned into four IMU samples in driver time: bytes in, samples
// out, with the headset clock carried from report to report.
#pragma once

#include "wmr/headset_clock.h"
#include "wmr/sensor_report.h"

#include <cstddef>
#include <cstdint>

namespace halvex::wmr {

struct sWmrImuSample {
    double linearAcceleration[3];  // m/s^2, headset X kept, Y and Z reversed
    double angularVelocity[3];     // rad/s, mean of the sample's eight gyroscope readings
    double time;                   // driver time, seconds
    double rawTime;                // headset clock, seconds since the time base
};

// Updates the clock with this report (read at driver time `now`) and converts its
// four samples. True when the headset's ticks went backwards and the clock started
// afresh (cHeadsetClock::Update): whatever was built on earlier samples is void.
bool DecodeSensorReport(const sWmrInputReport_Sensors& report, double now, cHeadsetClock& clock,
                        sWmrImuSample samples[kSamplesPerReport]);

// The mean of a sample's eight gyroscope readings, before scaling.
double MeanGyroReading(const int16_t readings[32], int sample);

}  // namespace halvex::wmr
