#include "head_stimulus.h"

#include "platform/clock.h"
#include "platform/sleep.h"

#include <Eigen/Geometry>

#include <chrono>
#include <cmath>

namespace halvex::test {

cHeadStimulus::cHeadStimulus(cIHalvexDevice& device, cScriptedImuBuffer& imu, sHeadMotion motion)
    : mDevice(device), mImu(imu), mMotion(motion), mThread([this] { Run(); }) {}

cHeadStimulus::~cHeadStimulus() {
    mStop.store(true);
    mThread.join();
}

void cHeadStimulus::EditNextImuSample(std::function<void(vr::ImuSample_t&)> edit) {
    std::lock_guard<std::mutex> lock(mEditMutex);
    mImuEdit = std::move(edit);
}

void cHeadStimulus::EditNextOpticalSample(std::function<void(double*, double*, double&)> edit) {
    std::lock_guard<std::mutex> lock(mEditMutex);
    mOpticalEdit = std::move(edit);
}

void cHeadStimulus::Run() {
    using namespace std::chrono;
    const double start = platform::NowSeconds();
    double nextOptical = start;
    auto wake = steady_clock::now();
    while (!mStop.load()) {
        const double now = platform::NowSeconds();
        if (!imuPaused.load()) {
            // The IMU frame is the optical frame turned half about y, so the turn about
            // z reads as the opposite turn on the gyroscope's z axis.
            const Eigen::Quaterniond imu = Eigen::Quaterniond(Eigen::AngleAxisd(mMotion.turnRate * (now - start),
                                                                                Eigen::Vector3d::UnitZ())) *
                                           Eigen::Quaterniond(0.0, 0.0, 1.0, 0.0);
            const Eigen::Vector3d specificForce = imu.conjugate() * Eigen::Vector3d(0.0, 9.81, 0.0);
            vr::ImuSample_t sample{};
            sample.fSampleTime = now;
            for (int i = 0; i < 3; ++i) sample.vAccel.v[i] = specificForce[i] / mMotion.accelScale[i];
            sample.vGyro = {{0.0, 0.0, -mMotion.turnRate / mMotion.gyroScale[2]}};
            std::function<void(vr::ImuSample_t&)> edit;
            {
                std::lock_guard<std::mutex> lock(mEditMutex);
                edit.swap(mImuEdit);
            }
            if (edit) edit(sample);
            mImu.Push(sample);
        }
        if (now >= nextOptical) {
            nextOptical += 1.0 / 120.0;
            if (!opticalPaused.load()) {
                double sampleTime = now - mMotion.opticalLatency;
                const double angle = mMotion.turnRate * (sampleTime - start);
                double position[3] = {0.0, 1.6, 0.0};
                double orientation[4] = {0.0, 0.0, std::sin(angle / 2), std::cos(angle / 2)};
                std::function<void(double*, double*, double&)> edit;
                {
                    std::lock_guard<std::mutex> lock(mEditMutex);
                    edit.swap(mOpticalEdit);
                }
                if (edit) edit(position, orientation, sampleTime);
                mDevice.UpdateOptical(position, orientation, sampleTime, mMotion.opticalLatency);
            }
        }
        wake += milliseconds(1);
        platform::SleepUntil(wake);
    }
}

}  // namespace halvex::test
