// What a headset and a mocap server would give a head device: IMU samples at
// 1 kHz into the scripted stream and optical samples at 120 Hz straight into
// UpdateOptical, of a head at rest at 1.6 m but for a steady turn about z.
// The test pauses either source or edits single samples to inject faults.
#pragma once

#include "device_test_host.h"

#include "devices/halvex_device.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace halvex::test {

struct sHeadMotion {
    double turnRate = 0.5;  // rad/s about the optical z axis
    // The stream carries readings divided by these, as a real IMU's raw values are.
    std::array<double, 3> accelScale = {1, 1, 1};
    std::array<double, 3> gyroScale = {1, 1, 1};
    double opticalLatency = 0.02;
};

class cHeadStimulus {
public:
    cHeadStimulus(cIHalvexDevice& device, cScriptedImuBuffer& imu, sHeadMotion motion = {});
    ~cHeadStimulus();
    cHeadStimulus(const cHeadStimulus&) = delete;
    cHeadStimulus& operator=(const cHeadStimulus&) = delete;

    std::atomic<bool> imuPaused{false};
    std::atomic<bool> opticalPaused{false};

    // The next IMU sample goes through `edit` before the stream gets it.
    void EditNextImuSample(std::function<void(vr::ImuSample_t&)> edit);
    // Likewise for the next optical sample: position, orientation x, y, z, w, time.
    void EditNextOpticalSample(std::function<void(double*, double*, double&)> edit);

private:
    void Run();

    cIHalvexDevice& mDevice;
    cScriptedImuBuffer& mImu;
    const sHeadMotion mMotion;
    std::mutex mEditMutex;
    std::function<void(vr::ImuSample_t&)> mImuEdit;
    std::function<void(double*, double*, double&)> mOpticalEdit;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

}  // namespace halvex::test
