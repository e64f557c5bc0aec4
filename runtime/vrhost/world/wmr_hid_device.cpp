#include "vrhost/world/wmr_hid_device.h"

#include "vrhost/host/host_error.h"

#include "platform/clock.h"
#include "platform/sleep.h"
#include "platform/thread_name.h"
#include "sim/offset_motion.h"
#include "sim/scenario_epoch.h"
#include "sim/sensor_profile.h"
#include "sim/tracking_geometry.h"
#include "sim/wmr_headset.h"

#include <algorithm>
#include <cstring>

#ifndef _WIN32
#include "sim/wmr_hidraw_tree.h"

#include <cstdlib>
#include <unistd.h>
#endif

namespace vrhost {

namespace {

constexpr uint16_t kImuVendor = 0x045E;
constexpr uint16_t kImuProduct = 0x0659;
// The extra interfaces' own report: id 2, 64 bytes, every tenth sensor report.
constexpr uint8_t kOtherReportId = 2;
constexpr size_t kOtherReportBytes = 64;
constexpr int64_t kOtherReportEvery = 10;

}  // namespace

cWmrHidDevice::cWmrHidDevice(const sHostOptions& options, int32_t headRigidBodyId) : mOptions(options.wmr) {
    const uint32_t seed = sim::SeedForRigidBody(headRigidBodyId);
    auto motion = std::make_unique<sim::cOffsetMotion>(
        sim::StartedAt(sim::cMotionScenario::Create(options.scenario, seed), options.scenarioEpoch),
                                                       sim::HeadsetImuToHead().inverse());
    sim::sWmrHeadsetParams params;
    params.driftPpm = mOptions.clockDriftPpm;
    params.deliveryJitter = mOptions.deliveryJitterSeconds;
    mHeadset = std::make_unique<sim::cWmrHeadset>(std::move(motion),
                                                 sim::MakeSensorProfile(options.sensorProfile, seed).UncalibratedImu(), seed,
                                                 params);
#ifndef _WIN32
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/vrhost-hid-XXXXXX";
    if (!mkdtemp(folder.data())) throw cHostError("cannot create a folder for the simulated HID tree in " + folder);
    mRoot = folder;
    mTree = std::make_unique<sim::cHidrawTree>(mRoot);
    for (int i = 0; i < mOptions.extraInterfaces; ++i)
        mTree->AddInterface(kImuVendor, kImuProduct, sim::SingleReportDescriptor(kOtherReportId, kOtherReportBytes));
    if (mOptions.imuInterface != sWmrHeadsetOptions::eInterface::None)
        mImuNode = mTree->AddInterface(kImuVendor, kImuProduct, sim::WmrImuReportDescriptor());
    mInterfaces = mOptions.extraInterfaces + (mImuNode >= 0 ? 1 : 0);
    // Set before the driver is loaded, while no driver thread reads the environment.
    setenv("HALVEX_HIDRAW_ROOT", mRoot.c_str(), 1);
#endif
}

cWmrHidDevice::~cWmrHidDevice() {
    Stop();
#ifndef _WIN32
    mTree.reset();
    const char* root = std::getenv("HALVEX_HIDRAW_ROOT");
    if (root && mRoot == root) unsetenv("HALVEX_HIDRAW_ROOT");
    rmdir(mRoot.c_str());
#endif
}

void cWmrHidDevice::Start(double now) {
#ifndef _WIN32
    if (!mTree || mThread.joinable()) return;
    mStop.store(false);
    mThread = std::thread([this, now] { ThreadProc(now); });
    halvex::platform::NameThread(mThread, "vrhost-wmr-hid");
#else
    (void)now;
#endif
}

void cWmrHidDevice::Stop() {
    mStop.store(true);
    if (mThread.joinable()) mThread.join();
}

sWmrHidStats cWmrHidDevice::Stats() const { return {mInterfaces, mSent.load(), mDropped.load()}; }

#ifndef _WIN32
namespace {

// Moves every stamp of a sensor report back by `ticks`.
void ShiftTicks(std::vector<uint8_t>& report, uint64_t ticks) {
    for (size_t offset : {size_t{9}, size_t{233}, size_t{313}}) {
        for (size_t i = 0; i < 4 && offset + 8 * (i + 1) <= report.size(); ++i) {
            uint64_t value = 0;
            std::memcpy(&value, report.data() + offset + 8 * i, sizeof value);
            value -= ticks;
            std::memcpy(report.data() + offset + 8 * i, &value, sizeof value);
        }
    }
}

uint64_t FirstGyroTicks(const std::vector<uint8_t>& report) {
    uint64_t value = 0;
    if (report.size() >= 17) std::memcpy(&value, report.data() + 9, sizeof value);
    return value;
}

}  // namespace
#endif

void cWmrHidDevice::ThreadProc(double start) {
#ifndef _WIN32
    const bool sends = mOptions.imuInterface == sWmrHeadsetOptions::eInterface::Present;
    const bool unplugs = sends && mOptions.unplugAfterSeconds >= 0.0;
    const double unplugAt = start + mOptions.unplugAfterSeconds;
    const double replugAt = unplugAt + std::max(0.0, mOptions.unplugForSeconds);
    bool unplugged = false, replugged = false;
    uint64_t clockShift = 0;
    for (int64_t k = mHeadset->FirstReportAtOrAfter(start); !mStop.load(); ++k) {
        // Short sleeps, so that a stop is seen soon even when reports are far apart.
        const double due = mHeadset->DeliveryTime(k);
        for (double wait = due - halvex::platform::NowSeconds(); wait > 0.0 && !mStop.load();
             wait = due - halvex::platform::NowSeconds())
            halvex::platform::SleepFor(std::min(wait, 0.05));
        if (mStop.load()) break;
        if (k % kOtherReportEvery == 0) {
            for (int node = 0; node < mOptions.extraInterfaces; ++node)
                mTree->Send(node, sim::WmrOtherReport(kOtherReportId, kOtherReportBytes));
        }
        if (!sends) continue;
        std::vector<uint8_t> report = mHeadset->Report(k);
        if (unplugs && !unplugged && due >= unplugAt) {
            mTree->RemoveInterface(mImuNode);
            unplugged = true;
        }
        if (unplugged && !replugged) {
            if (due < replugAt) continue;
            mImuNode = mTree->AddInterface(kImuVendor, kImuProduct, sim::WmrImuReportDescriptor());
            replugged = true;
            // Counting from 1 s of ticks again.
            if (mOptions.replugRestartsClock) clockShift = FirstGyroTicks(report) - 10000000;
        }
        if (clockShift) ShiftTicks(report, clockShift);
        if (mOptions.shortReportEvery > 0 && k % mOptions.shortReportEvery == 0 &&
            mOptions.shortReportBytes < report.size())
            report.resize(mOptions.shortReportBytes);
        if (mTree->Send(mImuNode, report))
            ++mSent;
        else
            ++mDropped;
    }
#else
    (void)start;
#endif
}

}  // namespace vrhost
