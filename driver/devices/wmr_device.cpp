#include "devices/wmr_device.h"

#include "core/callback_boundary.h"
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "fusion/head_filter_setups.h"
#include "core/host_interfaces.h"
#include "core/property_access.h"
#include "platform/thread_priority.h"
#include "wmr/report_csv_line.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<int32_t> gConstructed{0};
std::atomic<int32_t> gDestroyed{0};

halvex::cCallbackBoundary gWmrActivateBoundary("Activate of a WMR device");
halvex::cCallbackBoundary gImuThreadBoundary("a WMR device's IMU thread");

}  // namespace

cHalvexWmrDevice::cHalvexWmrDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial)
    : cHalvexFusedDevice(provider, semantic, serial, eFusedDeviceFamily::Wmr, halvex::kWmrHeadFilterParams),
      mImuLink(provider->mDebugLevel) {
    mImuStaleSeconds = 0.35;
    mOpticalHoldSeconds = 2.0;
    mOpticalStaleSeconds = 2.5;
    const int32_t constructed = gConstructed.fetch_add(1) + 1;
    DriverLog("Start object counts %d/%d semantic %d", constructed, gDestroyed.load(), static_cast<int>(semantic));

    const Eigen::Quaterniond alignment = mAlignment.normalized();
    mPose.qWorldFromDriverRotation = {alignment.w(), alignment.x(), alignment.y(), alignment.z()};
    mPose.shouldApplyHeadModel = false;
    switch (semantic) {
        case Hmd: {
            DriverLog("cHalvexWmrDevice: Hmd");
            mPose.qDriverFromHeadRotation = {1.0, 0.0, 0.0, 0.0};
            const Eigen::Vector3d translation = mHeadToImu.translation();
            for (int i = 0; i < 3; ++i) mPose.vecDriverFromHeadTranslation[i] = translation[i];
            break;
        }
        case ControllerA:
        case ControllerB:
            DriverLog(semantic == ControllerA ? "cHalvexWmrDevice: ControllerA" : "cHalvexWmrDevice: ControllerB");
            mPose.qDriverFromHeadRotation = {0.9238795, 0.3826834, 0.0, 0.0};
            mPose.vecDriverFromHeadTranslation[0] = 0.0;
            mPose.vecDriverFromHeadTranslation[1] = 0.04;
            mPose.vecDriverFromHeadTranslation[2] = -0.05;
            break;
        default:
            DriverLog("cHalvexWmrDevice: Unknown controller type");
            break;
    }
    DriverLog("%s mRigidBodyID=%d Start", mName.c_str(), GetRigidBodyId());
    LogCommonConstructionLines(provider);
}

cHalvexWmrDevice::~cHalvexWmrDevice() {
    const int32_t destroyed = gDestroyed.fetch_add(1) + 1;
    DriverLog("Destroy object counts %d/%d semantic %d", gConstructed.load(), destroyed, static_cast<int>(mSemantic));
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    // Threads must be gone before the members they use.
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
    StopRecordThread();
    // Never deactivated: what this session learned is kept all the same.
    KeepLearnedBiases();
}

vr::EVRInitError cHalvexWmrDevice::Activate(uint32_t unObjectId) {
    vr::EVRInitError result = vr::VRInitError_Driver_Failed;
    gWmrActivateBoundary.Run([&] {
        // Activated twice without Deactivate: a second thread must not replace a running one.
        Deactivate();
        ActivateCommon(unObjectId, "Activating Halvex WMR Device", true);
        if (mSemantic == Hmd) {
            // The headset the runtime tracks itself carries our universe and chaperone too.
            vr::IVRProperties* properties = halvex::host::Properties();
            const vr::PropertyContainerHandle_t hmd =
                properties ? properties->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd)
                           : vr::k_ulInvalidPropertyContainer;
            halvex::properties::WriteUint64(hmd, vr::Prop_CurrentUniverseId_Uint64, kHalvexUniverseId);
            halvex::properties::WriteString(hmd, vr::Prop_DriverProvidedChaperonePath_String,
                                            "{halvex}/chaperone_info.vrchap");
        }
        LoadLearnedBiases();
        mRecorder.SetEnabled(mProvider->mRecordRawData);
        if (DebugLogging()) DriverLog("HalvexWmrDevice: Activate: call cHalvexWmrDevice::ThreadProc_ImuThread");
        mStopSignal.Clear();
        StartImuThread([this, unObjectId] { gImuThreadBoundary.Run([&] { ThreadProc_ImuThread(unObjectId); }); });
        halvex::platform::SetThreadTimeCritical(mImuThread);
        halvex::platform::NameThread(mImuThread, "halvex-wmr-imu");
        result = vr::VRInitError_None;
    });
    return result;
}

void cHalvexWmrDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
    StopRecordThread();
    KeepLearnedBiases();
}

void cHalvexWmrDevice::WakeImuThread() { mStopSignal.Raise(); }

void cHalvexWmrDevice::CompleteRecordingSetup(halvex::sRecordingSetup& setup) {
    setup.reportRing = &mImuRawTextRing;
    setup.reportHeader = halvex::wmr::SensorReportCsvHeader();
    setup.reportLine = [](const halvex::sReportRecord& record) {
        halvex::wmr::sWmrInputReport_Sensors report;
        if (!halvex::wmr::ReadSensorReport(record.bytes, record.size, report)) return std::string();
        return halvex::wmr::SensorReportCsvLine("SensorReport", report);
    };
}

void cHalvexWmrDevice::ThreadProc_ImuThread(uint32_t deviceIndex) {
    if (!mStopSignal.Valid())
        DriverLog("Warning: %s cannot make the WMR IMU read's stop signal (error %u): reads wait at most %.0f ms at a time\n",
                  mName.c_str(), mStopSignal.CreationError(), halvex::platform::kHidUnsignalledWaitSeconds * 1000.0);
    mImuLink.FindImuDevices_ImuThread();
    if (!mImuLink.IsOpen()) {
        DriverLog("Error: Unable to open WMR IMU HID device.");
        if (DebugLogging(2))
            DriverLog("WMR IMU HID device opened at path '%s' 1 FAIL - INVALID_HANDLE_VALUE", mImuLink.CurrentPath().c_str());
        return;
    }
    DriverLog("ThreadProc_ImuThread: initializing filter");
    ResetFilter();
    if (mRecorder.Enabled()) StartRecordThread(deviceIndex);
    while (!mStopImuThread.load()) {
        mImuLink.BeginSelection_ImuThread();
        if (!PollUntilLost_ImuThread() || !SearchAgain_ImuThread()) break;
    }
    mImuLink.Close_ImuThread();
}

bool cHalvexWmrDevice::PollUntilLost_ImuThread() {
    while (!mStopImuThread.load()) {
        const ePoll result = PollImu_ImuThread();
        if (mStopImuThread.load()) return false;
        if (result == ePoll::DeviceLost) return true;
        mImuLink.AfterPoll_ImuThread(result == ePoll::SensorReport);
        // Every candidate vanished while the choice was open.
        if (!mImuLink.IsOpen()) {
            mLastReadError = halvex::platform::HidInvalidHandleError();
            return true;
        }
    }
    return false;
}

bool cHalvexWmrDevice::SearchAgain_ImuThread() {
    const std::string lost = mImuLink.CurrentPath();
    mImuLink.Close_ImuThread();
    // A pose nothing updates any more must not stay valid.
    const bool feedsPose = ImuFeedsPose();
    if (feedsPose) InvalidatePose();
    DriverLog("%s: WMR IMU HID device '%s' lost (error %u)%s; searching again every %.0f s\n", mName.c_str(), lost.c_str(),
              mLastReadError, feedsPose ? ", pose invalidated" : "", kSearchAgainSeconds);
    for (uint32_t searches = 1; !WaitForStop_ImuThread(kSearchAgainSeconds); ++searches) {
        mImuLink.FindImuDevices_ImuThread();
        if (!mImuLink.IsOpen()) continue;
        DriverLog("%s: WMR IMU HID device found again at '%s' (search %u)\n", mName.c_str(), mImuLink.CurrentPath().c_str(),
                  searches);
        // The samples before the gap belong to another run of the headset.
        ResetFilter();
        return true;
    }
    return false;
}

bool cHalvexWmrDevice::WaitForStop_ImuThread(double seconds) {
    const double end = DriverTimeNow() + seconds;
    while (!mStopImuThread.load()) {
        const double left = end - DriverTimeNow();
        if (left <= 0.0) return false;
        mStopSignal.Wait(std::min(left, halvex::platform::kHidUnsignalledWaitSeconds));
    }
    return true;
}

bool cHalvexWmrDevice::ImuFeedsPose() const {
    return mSemantic == Hmd && mProvider->mTrackingType != TrackingType_HalvexOnly;
}
