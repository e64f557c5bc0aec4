#include "wmr_headset.h"

#include "seeded_random.h"

#include <cmath>

namespace sim {

namespace {

constexpr uint64_t kDeliveryJitterStream = 3;

}  // namespace

cWmrHeadset::cWmrHeadset(std::unique_ptr<cMotionScenario> motion, const sImuModelParams& imu, uint32_t seed,
                         const sWmrHeadsetParams& params)
    : mMotion(std::move(motion)),
      mModel(*mMotion, imu, seed),
      mParams(params),
      mSeed(seed),
      mClock(params.driftPpm, params.epochTicks, 0.0) {}

std::vector<uint8_t> cWmrHeadset::Report(int64_t k) const {
    std::array<sWmrSample, kWmrSamplesPerReport> samples;
    for (int i = 0; i < kWmrSamplesPerReport; ++i) {
        const sImuSample sample = mModel.Sample(kWmrSamplesPerReport * k + i);
        samples[i].gyroTicks = samples[i].accTicks = mClock.Ticks(sample.time);
        samples[i].accelerometer = sample.accelerometer;
        samples[i].gyroscope = sample.gyroscope;
    }
    return EncodeWmrSensorReport(samples);
}

double cWmrHeadset::DeliveryTime(int64_t k) const {
    const double newest = static_cast<double>(kWmrSamplesPerReport * k + kWmrSamplesPerReport - 1) / mModel.Params().rate;
    double jitter = 0.0;
    if (mParams.deliveryJitter > 0.0) {
        cSeededRandom random(StreamSeed(mSeed, kDeliveryJitterStream, k));
        jitter = random.Uniform(0.0, mParams.deliveryJitter);
    }
    return newest + mParams.deliveryDelay + jitter;
}

int64_t cWmrHeadset::FirstReportAtOrAfter(double time) const {
    const int64_t sample = mModel.FirstIndexAtOrAfter(time);
    return (sample + kWmrSamplesPerReport - 1) / kWmrSamplesPerReport;
}

}  // namespace sim
