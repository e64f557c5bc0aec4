// A simulated WMR headset's IMU as its HID interface delivers it: the IMU model of
// a body's motion, four samples to a sensor report, stamped by a headset clock of
// its own (own epoch, optional drift), each report delivered some time after its
// newest sample.
#pragma once

#include "imu_model.h"
#include "motion_scenario.h"
#include "wmr_sensor_report.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

struct sWmrHeadsetParams {
    double driftPpm = 0.0;           // headset clock rate error; negative: slower than driver time
    double deliveryDelay = 0.001;    // s from a report's newest sample to its delivery
    double deliveryJitter = 0.0;     // s, extra delay drawn uniformly from [0, jitter)
    uint64_t epochTicks = 0x2B0A3C4D5E6Full;  // the headset clock's count at driver time 0
};

class cWmrHeadset {
public:
    // Owns the motion the model reads.
    cWmrHeadset(std::unique_ptr<cMotionScenario> motion, const sImuModelParams& imu, uint32_t seed,
                const sWmrHeadsetParams& params);

    // Report k carries IMU samples 4k .. 4k+3 of the model's grid.
    std::vector<uint8_t> Report(int64_t k) const;
    double DeliveryTime(int64_t k) const;
    int64_t FirstReportAtOrAfter(double time) const;
    const cWmrHeadsetClock& Clock() const { return mClock; }

private:
    std::unique_ptr<cMotionScenario> mMotion;
    cImuModel mModel;
    sWmrHeadsetParams mParams;
    uint32_t mSeed;
    cWmrHeadsetClock mClock;
};

}  // namespace sim
