#include "vrhost/host/server_driver_host.h"

#include "vrhost/accuracy/pose_csv_writer.h"
#include "vrhost/interfaces/property_store.h"

#include "platform/clock.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vrhost {
namespace {

vr::DriverPose_t ReadDevicePose(vr::ITrackedDeviceServerDriver* driver) {
#if defined(HALVEX_OPENVR_OWN_DECLARATIONS)
    // Under MinGW the by-value slot is shimmed; the header's wrapper picks the right call.
    return vr::GetDriverPose(driver);
#else
    return driver->GetPose();
#endif
}

vr::HmdMatrix34_t MatrixOf(const sWorldPose& pose) {
    const double w = pose.rotation[0], x = pose.rotation[1], y = pose.rotation[2], z = pose.rotation[3];
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                            {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                            {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    vr::HmdMatrix34_t m{};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) m.m[row][col] = static_cast<float>(r[row][col]);
        m.m[row][3] = static_cast<float>(pose.position[row]);
    }
    return m;
}

}  // namespace

cServerDriverHost::cServerDriverHost(cPropertyStore& properties, size_t poseHistoryLimit)
    : mProperties(properties), mPoseHistoryLimit(poseHistoryLimit) {}

void cServerDriverHost::SetPoseCsv(cPoseCsvWriter* writer) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPoseCsv = writer;
}

void cServerDriverHost::SetPoseObserver(cIPoseObserver* observer) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPoseObserver = observer;
}

cServerDriverHost::sDevice* cServerDriverHost::FindLocked(vr::TrackedDeviceIndex_t index) {
    if (index == 0 || index > mDevices.size()) return nullptr;
    return &mDevices[index - 1];
}

const cServerDriverHost::sDevice* cServerDriverHost::FindLocked(vr::TrackedDeviceIndex_t index) const {
    if (index == 0 || index > mDevices.size()) return nullptr;
    return &mDevices[index - 1];
}

vr::ITrackedDeviceServerDriver* cServerDriverHost::Device(vr::TrackedDeviceIndex_t index) const {
    std::lock_guard<std::mutex> lock(mMutex);
    const sDevice* device = FindLocked(index);
    return device ? device->driver : nullptr;
}

bool cServerDriverHost::TrackedDeviceAdded(const char* pchDeviceSerialNumber, vr::ETrackedDeviceClass eDeviceClass,
                                           vr::ITrackedDeviceServerDriver* pDriver) {
    if (!pchDeviceSerialNumber || !*pchDeviceSerialNumber || !pDriver) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    if (mExiting.load()) return false;
    // A serial names one device; the index space ends at the runtime's device limit.
    for (const sDevice& device : mDevices) {
        if (device.record.serial == pchDeviceSerialNumber) return false;
    }
    if (mDevices.size() + 1 >= vr::k_unMaxTrackedDeviceCount) return false;
    sDevice device;
    device.record.index = static_cast<vr::TrackedDeviceIndex_t>(mDevices.size() + 1);
    device.record.serial = pchDeviceSerialNumber;
    device.record.deviceClass = eDeviceClass;
    device.record.container = mProperties.AttachDevice(device.record.index);
    device.driver = pDriver;
    mPendingActivation.push_back(device.record.index);
    mDevices.push_back(std::move(device));
    return true;
}

void cServerDriverHost::ActivatePending() {
    std::vector<vr::TrackedDeviceIndex_t> pending;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        pending.swap(mPendingActivation);
    }
    for (const vr::TrackedDeviceIndex_t index : pending) {
        vr::ITrackedDeviceServerDriver* driver = nullptr;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            const sDevice* device = FindLocked(index);
            if (device) driver = device->driver;
        }
        if (!driver) continue;
        // No lock held: Activate calls back into the host (properties, poses, log).
        const vr::EVRInitError result = driver->Activate(index);
        vr::DriverPose_t pose{};
        const bool good = result == vr::VRInitError_None;
        if (good) pose = ReadDevicePose(driver);
        std::lock_guard<std::mutex> lock(mMutex);
        sDevice* device = FindLocked(index);
        device->record.activated = true;
        device->record.activateResult = result;
        device->record.hasInitialPose = good;
        if (good) device->record.initialPose = pose;
    }
}

void cServerDriverHost::DeactivateAll() {
    std::vector<std::pair<vr::TrackedDeviceIndex_t, vr::ITrackedDeviceServerDriver*>> active;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (const sDevice& device : mDevices) {
            const sDeviceRecord& r = device.record;
            if (device.driver && r.activated && r.activateResult == vr::VRInitError_None && !r.deactivated) {
                active.emplace_back(r.index, device.driver);
            }
        }
    }
    for (const auto& [index, driver] : active) {
        driver->Deactivate();
        std::lock_guard<std::mutex> lock(mMutex);
        FindLocked(index)->record.deactivated = true;
    }
}

bool cServerDriverHost::DebugRequest(vr::TrackedDeviceIndex_t index, const std::string& request, uint32_t bufferSize,
                                     std::string& response) {
    // The runtime's limit on a response.
    constexpr uint32_t kLargestResponse = 32 * 1024;
    std::lock_guard<std::mutex> calls(mDriverCallMutex);
    vr::ITrackedDeviceServerDriver* driver = nullptr;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        const sDevice* device = FindLocked(index);
        if (device && device->record.activated && device->record.activateResult == vr::VRInitError_None &&
            !device->record.deactivated)
            driver = device->driver;
    }
    if (!driver) return false;
    // One byte past what the driver is given shows a write beyond its buffer.
    const uint32_t size = std::min(bufferSize, kLargestResponse);
    std::vector<char> buffer(size + 1, '\0');
    driver->DebugRequest(request.c_str(), size > 0 ? buffer.data() : nullptr, size);
    response.assign(buffer.data(), strnlen(buffer.data(), size));
    return true;
}

void cServerDriverHost::ReleaseDevices() {
    std::lock_guard<std::mutex> lock(mMutex);
    for (sDevice& device : mDevices) device.driver = nullptr;
    mPendingActivation.clear();
}

std::vector<sDeviceRecord> cServerDriverHost::Devices() const {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<sDeviceRecord> records;
    for (const sDevice& device : mDevices) records.push_back(device.record);
    return records;
}

std::vector<sPoseUpdate> cServerDriverHost::PoseUpdates() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPoseHistory;
}

uint64_t cServerDriverHost::RejectedPoseUpdates() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mRejectedPoseUpdates;
}

void cServerDriverHost::TrackedDevicePoseUpdated(uint32_t unWhichDevice, const vr::DriverPose_t& newPose,
                                                 uint32_t unPoseStructSize) {
    const double now = halvex::platform::NowSeconds();
    sPoseUpdate update;
    std::string serial;
    cIPoseObserver* observer = nullptr;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        sDevice* device = FindLocked(unWhichDevice);
        if (!device || unPoseStructSize != sizeof(vr::DriverPose_t)) {
            ++mRejectedPoseUpdates;
            return;
        }
        update.hostTime = now;
        update.deviceIndex = unWhichDevice;
        update.pose = newPose;
        update.world = WorldPoseOf(newPose);
        ++device->record.poseUpdates;
        device->record.hasLastPose = true;
        device->record.lastPose = update;
        if (mPoseHistory.size() < mPoseHistoryLimit) mPoseHistory.push_back(update);
        if (mPoseCsv) mPoseCsv->Write(update, device->record.serial);
        observer = mPoseObserver;
        if (observer) serial = device->record.serial;
    }
    if (observer) observer->OnPoseUpdate(serial, update);
}

void cServerDriverHost::VsyncEvent(double) {}

void cServerDriverHost::VendorSpecificEvent(uint32_t, vr::EVREventType, const vr::VREvent_Data_t&, double) {}

bool cServerDriverHost::IsExiting() { return mExiting.load(); }

bool cServerDriverHost::PollNextEvent(vr::VREvent_t*, uint32_t) { return false; }

void cServerDriverHost::GetRawTrackedDevicePoses(float, vr::TrackedDevicePose_t* pTrackedDevicePoseArray,
                                                 uint32_t unTrackedDevicePoseArrayCount) {
    if (!pTrackedDevicePoseArray) return;
    std::lock_guard<std::mutex> lock(mMutex);
    for (uint32_t i = 0; i < unTrackedDevicePoseArrayCount; ++i) {
        vr::TrackedDevicePose_t& out = pTrackedDevicePoseArray[i];
        std::memset(&out, 0, sizeof(out));
        out.eTrackingResult = vr::TrackingResult_Uninitialized;
        if (i == 0) {
            // The simulated headset rests at the origin until a motion source drives it.
            out.mDeviceToAbsoluteTracking = MatrixOf(sWorldPose{});
            out.eTrackingResult = vr::TrackingResult_Running_OK;
            out.bPoseIsValid = true;
            out.bDeviceIsConnected = true;
            continue;
        }
        const sDevice* device = FindLocked(i);
        if (!device || !device->record.hasLastPose) continue;
        const sPoseUpdate& last = device->record.lastPose;
        out.mDeviceToAbsoluteTracking = MatrixOf(last.world);
        // Velocities stay in the driver frame: nothing in the project reads them yet.
        for (int k = 0; k < 3; ++k) {
            out.vVelocity.v[k] = static_cast<float>(last.pose.vecVelocity[k]);
            out.vAngularVelocity.v[k] = static_cast<float>(last.pose.vecAngularVelocity[k]);
        }
        out.eTrackingResult = last.pose.result;
        out.bPoseIsValid = last.pose.poseIsValid;
        out.bDeviceIsConnected = last.pose.deviceIsConnected;
    }
}

void cServerDriverHost::RequestRestart(const char*, const char*, const char*, const char*) {}

uint32_t cServerDriverHost::GetFrameTimings(vr::Compositor_FrameTiming*, uint32_t) { return 0; }

void cServerDriverHost::SetDisplayEyeToHead(uint32_t, const vr::HmdMatrix34_t&, const vr::HmdMatrix34_t&) {}

void cServerDriverHost::SetDisplayProjectionRaw(uint32_t, const vr::HmdRect2_t&, const vr::HmdRect2_t&) {}

void cServerDriverHost::SetRecommendedRenderTargetSize(uint32_t, uint32_t, uint32_t) {}

}  // namespace vrhost
