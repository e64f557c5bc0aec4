#include "fake_device.h"

#include <chrono>
#include <cstdio>

cFakeDevice::cFakeDevice(std::string serial, int poseRateHz) : mSerial(std::move(serial)), mPoseRateHz(poseRateHz) {}

cFakeDevice::~cFakeDevice() { Deactivate(); }

vr::DriverPose_t cFakeDevice::KnownPose(uint32_t index) {
    vr::DriverPose_t pose{};
    pose.qWorldFromDriverRotation = {0.0, 0.0, 1.0, 0.0};  // half turn about y
    pose.vecWorldFromDriverTranslation[1] = 0.5;
    pose.qDriverFromHeadRotation = {1.0, 0.0, 0.0, 0.0};
    pose.vecDriverFromHeadTranslation[2] = 0.1;
    pose.vecPosition[0] = static_cast<double>(index);
    pose.vecPosition[1] = 1.0;
    pose.qRotation = {1.0, 0.0, 0.0, 0.0};
    pose.result = vr::TrackingResult_Running_OK;
    pose.poseIsValid = true;
    pose.deviceIsConnected = true;
    return pose;
}

vr::EVRInitError cFakeDevice::Activate(uint32_t unObjectId) {
    char line[128];
    std::snprintf(line, sizeof(line), "fake: activate %s as %u\n", mSerial.c_str(), unObjectId);
    vr::VRDriverLog()->Log(line);
    mIndex = unObjectId;

    vr::CVRPropertyHelpers* props = vr::VRProperties();
    const vr::PropertyContainerHandle_t container = props->TrackedDeviceToPropertyContainer(unObjectId);
    props->SetStringProperty(container, vr::Prop_TrackingSystemName_String, "fake");
    props->SetStringProperty(container, vr::Prop_SerialNumber_String, mSerial.c_str());
    props->SetUint64Property(container, vr::Prop_CurrentUniverseId_Uint64, 0x48414C5645584944ull);
    props->SetBoolProperty(container, vr::Prop_WillDriftInYaw_Bool, true);
    vr::HmdMatrix34_t imuToHead{};
    for (int i = 0; i < 3; ++i) imuToHead.m[i][i] = 1.0f;
    imuToHead.m[1][3] = 0.25f;
    props->SetProperty(container, vr::Prop_ImuToHeadTransform_Matrix34, &imuToHead, sizeof(imuToHead),
                       vr::k_unHmdMatrix34PropertyTag);

    mStop = false;
    mThread = std::thread(&cFakeDevice::PoseThread, this);
    return vr::VRInitError_None;
}

void cFakeDevice::Deactivate() {
    if (mThread.joinable()) {
        mStop = true;
        mThread.join();
        mIndex = vr::k_unTrackedDeviceIndexInvalid;
        char line[128];
        std::snprintf(line, sizeof(line), "fake: deactivated %s\n", mSerial.c_str());
        vr::VRDriverLog()->Log(line);
    }
}

void cFakeDevice::DebugRequest(const char*, char* pchResponseBuffer, uint32_t unResponseBufferSize) {
    if (unResponseBufferSize > 0) pchResponseBuffer[0] = '\0';
}

vr::DriverPose_t cFakeDevice::GetPose() {
    vr::DriverPose_t pose = KnownPose(mIndex);
    pose.poseTimeOffset = -0.125;  // marks a pose that came through GetPose
    return pose;
}

void cFakeDevice::PoseThread() {
    const auto period = std::chrono::microseconds(1000000 / (mPoseRateHz > 0 ? mPoseRateHz : 1));
    uint32_t count = 0;
    while (!mStop) {
        const uint32_t index = mIndex;
        vr::DriverPose_t pose = KnownPose(index);
        pose.poseTimeOffset = static_cast<double>(count);
        vr::VRServerDriverHost()->TrackedDevicePoseUpdated(index, pose, sizeof(vr::DriverPose_t));
        // The log is written from this thread too, and without a line end.
        if (++count % 25 == 0) {
            char line[96];
            std::snprintf(line, sizeof(line), "fake: %s sent %u poses", mSerial.c_str(), count);
            vr::VRDriverLog()->Log(line);
        }
        std::this_thread::sleep_for(period);
    }
}
