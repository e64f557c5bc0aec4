// The samples of one simulated IMU as its stream carries them: the sim IMU model
// of a body's motion on the absolute sample grid (index / rate, driver time), in
// the raw units a real IMU reports before its factory scale is applied.
#pragma once

#include "vrhost/world/imu_calibration.h"

#include "sim/imu_model.h"
#include "sim/motion_scenario.h"

#include <openvr_driver.h>

#include <cstdint>
#include <memory>

namespace vrhost {

class cImuSampleSource {
public:
    // Owns the motion the model reads.
    cImuSampleSource(std::unique_ptr<sim::cMotionScenario> motion, uint32_t noiseSeed, const sImuCalibration& calibration,
                     const sim::sImuModelParams& params = {});

    // The sample at grid index `index` with the model's stamp: the model's reading
    // divided by the factory scale per axis, so that a driver multiplying by the
    // scale gets the model back.
    vr::ImuSample_t Sample(int64_t index) const;
    int64_t FirstIndexAtOrAfter(double time) const { return mModel.FirstIndexAtOrAfter(time); }
    double TimeOf(int64_t index) const { return static_cast<double>(index) / mModel.Params().rate; }

private:
    std::unique_ptr<sim::cMotionScenario> mMotion;
    sim::cImuModel mModel;
    Vector3 mGyroScale;
    Vector3 mAccelScale;
};

}  // namespace vrhost
