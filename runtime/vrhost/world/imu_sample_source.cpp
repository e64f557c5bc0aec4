#include "vrhost/world/imu_sample_source.h"

namespace vrhost {

cImuSampleSource::cImuSampleSource(std::unique_ptr<sim::cMotionScenario> motion, uint32_t noiseSeed,
                                   const sImuCalibration& calibration, const sim::sImuModelParams& params)
    : mMotion(std::move(motion)),
      mModel(*mMotion, params, noiseSeed),
      mGyroScale(calibration.gyroScale),
      mAccelScale(calibration.accelScale) {}

vr::ImuSample_t cImuSampleSource::Sample(int64_t index) const {
    const sim::sImuSample sample = mModel.Sample(index);
    vr::ImuSample_t out{};
    out.fSampleTime = sample.time;
    for (int axis = 0; axis < 3; ++axis) {
        const size_t a = static_cast<size_t>(axis);
        out.vAccel.v[axis] = sample.accelerometer[axis] / mAccelScale[a];
        out.vGyro.v[axis] = sample.gyroscope[axis] / mGyroScale[a];
    }
    out.unOffScaleFlags = 0;
    return out;
}

}  // namespace vrhost
