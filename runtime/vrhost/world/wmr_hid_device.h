// The simulated WMR headset's HID side, as a driver meets it on Linux: a private
// hidraw tree (sim::cHidrawTree) whose IMU interface delivers the headset's IMU
// samples as sensor reports, each once its newest sample is due (plus the
// delivery delay and jitter), with extra interfaces of the same vendor and product
// listed first that send other report ids. HALVEX_HIDRAW_ROOT points the driver's
// hidraw code at the tree. Windows offers no way to present a HID interface: there
// the driver finds none.
//
// The headset's IMU sits at its head frame (a WMR device fuses with an identity
// IMU-to-head), so it senses the head body's motion moved by the IMU-to-head offset.
#pragma once

#include "vrhost/host/host_options.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace sim {
class cHidrawTree;
class cWmrHeadset;
}  // namespace sim

namespace vrhost {

struct sWmrHidStats {
    int interfaces = 0;
    uint64_t reportsSent = 0;
    uint64_t reportsDropped = 0;  // nobody was reading, or the reader's queue was full
};

class cWmrHidDevice {
public:
    cWmrHidDevice(const sHostOptions& options, int32_t headRigidBodyId);
    ~cWmrHidDevice();
    cWmrHidDevice(const cWmrHidDevice&) = delete;
    cWmrHidDevice& operator=(const cWmrHidDevice&) = delete;

    // Reports flow from `now` on.
    void Start(double now);
    void Stop();
    sWmrHidStats Stats() const;

private:
    void ThreadProc(double start);

    sWmrHeadsetOptions mOptions;
    std::string mRoot;
#ifndef _WIN32
    std::unique_ptr<sim::cHidrawTree> mTree;
#endif
    std::unique_ptr<sim::cWmrHeadset> mHeadset;
    int mImuNode = -1;
    int mInterfaces = 0;
    std::atomic<uint64_t> mSent{0};
    std::atomic<uint64_t> mDropped{0};
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

}  // namespace vrhost
