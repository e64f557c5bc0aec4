// A small OpenVR driver for testing vrhost end to end. It is steered by its
// settings section "driver_fake" and reports what it saw through the log.
#include "fake_device.h"
#include "fake_imu_reader.h"

#include <openvr_driver.h>

// The official headers leave the export to the driver.
#if !defined(HMD_DRIVER_FACTORY_EXPORT)
#if defined(_WIN32)
#define HMD_DRIVER_FACTORY_EXPORT extern "C" __declspec(dllexport)
#else
#define HMD_DRIVER_FACTORY_EXPORT extern "C" __attribute__((visibility("default")))
#endif
#endif

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

void Logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Logf(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (vr::IVRDriverLog* log = vr::VRDriverLog()) log->Log(buffer);
}

class cFakeProvider final : public vr::IServerTrackedDeviceProvider {
public:
    vr::EVRInitError Init(vr::IVRDriverContext* pDriverContext) override {
        VR_INIT_SERVER_DRIVER_CONTEXT(pDriverContext);
        Logf("fake: Init\n");
        vr::VRDriverLog()->Log("fake: a message without a line end");

        // The headset's tracking system through the buffer-too-small protocol.
        vr::CVRPropertyHelpers* props = vr::VRProperties();
        const vr::PropertyContainerHandle_t hmd = props->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd);
        char small[4] = {'x', 'x', 'x', 'x'};
        vr::ETrackedPropertyError firstError = vr::TrackedProp_Success;
        const uint32_t needed = props->GetStringProperty(hmd, vr::Prop_TrackingSystemName_String, small, sizeof(small),
                                                        &firstError);
        vr::ETrackedPropertyError error = vr::TrackedProp_Success;
        const std::string system = props->GetStringProperty(hmd, vr::Prop_TrackingSystemName_String, &error);
        Logf("fake: hmd system '%s' error %d first %d needed %u\n", system.c_str(), error, firstError, needed);

        vr::IVRSettings* settings = vr::VRSettings();
        vr::EVRSettingsError settingsError = vr::VRSettingsError_None;
        const int32_t count = settings->GetInt32("driver_fake", "deviceCount", &settingsError);
        Logf("fake: deviceCount %d error %d\n", count, settingsError);
        char label[64];
        settings->GetString("driver_fake", "label", label, sizeof(label), &settingsError);
        Logf("fake: label '%s' error %d\n", label, settingsError);
        int32_t rate = settings->GetInt32("driver_fake", "poseRateHz", &settingsError);
        if (settingsError != vr::VRSettingsError_None) rate = 200;

        char path[512];
        const uint32_t pathSize = vr::VRResources()->GetResourceFullPath("{fake}/input/fake_profile.json", "", path,
                                                                         sizeof(path));
        Logf("fake: resource size %u\n", pathSize);

        for (int32_t i = 0; i < count; ++i) {
            auto* device = new cFakeDevice("fake-" + std::to_string(i), rate);
            mDevices.push_back(device);
            vr::VRServerDriverHost()->TrackedDeviceAdded(device->Serial().c_str(), vr::TrackedDeviceClass_GenericTracker,
                                                         device);
        }
        if (!mDevices.empty()) {
            const bool accepted = vr::VRServerDriverHost()->TrackedDeviceAdded(
                mDevices[0]->Serial().c_str(), vr::TrackedDeviceClass_GenericTracker, mDevices[0]);
            Logf("fake: duplicate accepted %d\n", accepted ? 1 : 0);
        }
        char imuStream[256];
        settings->GetString("driver_fake", "imuStream", imuStream, sizeof(imuStream), &settingsError);
        if (settingsError == vr::VRSettingsError_None && imuStream[0]) mImuReader = std::make_unique<cFakeImuReader>(imuStream);
        return settings->GetBool("driver_fake", "failInit") ? vr::VRInitError_Init_NotInitialized
                                                             : vr::VRInitError_None;
    }

    void Cleanup() override {
        Logf("fake: Cleanup after %d frames\n", mFrames);
        mImuReader.reset();
        for (cFakeDevice* device : mDevices) delete device;
        mDevices.clear();
        mFrames = 0;
        VR_CLEANUP_SERVER_DRIVER_CONTEXT();
    }

    const char* const* GetInterfaceVersions() override { return vr::k_InterfaceVersions; }
    void RunFrame() override { ++mFrames; }
    bool ShouldBlockStandbyMode() override { return false; }
    void EnterStandby() override {}
    void LeaveStandby() override {}

private:
    std::vector<cFakeDevice*> mDevices;
    std::unique_ptr<cFakeImuReader> mImuReader;
    int mFrames = 0;
};

cFakeProvider gProvider;

}  // namespace

HMD_DRIVER_FACTORY_EXPORT void* HmdDriverFactory(const char* pInterfaceName, int* pReturnCode) {
    if (std::string(pInterfaceName) == vr::IServerTrackedDeviceProvider_Version) {
        return static_cast<vr::IServerTrackedDeviceProvider*>(&gProvider);
    }
    if (pReturnCode) *pReturnCode = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
}
