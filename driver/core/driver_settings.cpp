// The driver's settings, read at Init from the runtime's settings store; the live ones again on a reload.
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "core/settings_section.h"

#include <cmath>
#include <cstring>

namespace {

// A failed read yields the empty string, never what the buffer happened to hold.
std::string ReadStringSetting(vr::IVRSettings* settings, const char* key) {
    char buffer[4096];
    buffer[0] = '\0';
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    settings->GetString(halvex::kDriverSettingsSection, key, buffer, sizeof(buffer), &error);
    if (error != vr::VRSettingsError_None) return std::string();
    return std::string(buffer, strnlen(buffer, sizeof(buffer)));
}

// The slot is enabled only when the read succeeded and the ID is not 0.
void ReadRigidBodyId(vr::IVRSettings* settings, const char* key, std::atomic<int32_t>& id, bool& enabled) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const int32_t value = settings->GetInt32(halvex::kDriverSettingsSection, key, &error);
    id.store(value);
    enabled = error == vr::VRSettingsError_None && value != 0;
}

void ReadWmrBiasLearningSeconds(vr::IVRSettings* settings, double& seconds) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const float value = settings->GetFloat(halvex::kDriverSettingsSection, "wmrBiasLearningSeconds", &error);
    if (error != vr::VRSettingsError_None) return;
    if (std::isfinite(value) && value >= 0.0f)
        seconds = value;
    else
        DriverLog("Setting wmrBiasLearningSeconds unusable (%g): %.0f s instead\n", static_cast<double>(value), seconds);
}

}  // namespace

void cHalvexDeviceProvider::ReadSettings() {
    vr::IVRSettings* settings = halvex::host::Settings();
    if (!settings) return;

    mUseMulticast = settings->GetBool(halvex::kDriverSettingsSection, "tessalyUseMulticast");
    mServerAddress = ReadStringSetting(settings, "tessalyServerAddress");
    mLocalAddress = ReadStringSetting(settings, "tessalyLocalAddress");
    mTrackingType = halvex::TrackingTypeFromString(ReadStringSetting(settings, "trackingType"));
    ReadRigidBodyId(settings, "tessalyRigidBodyIdHead", mRigidBodyIdHead, mHeadEnabled);
    ReadRigidBodyId(settings, "tessalyRigidBodyIdControllerA", mRigidBodyIdControllerA, mControllerAEnabled);
    ReadRigidBodyId(settings, "tessalyRigidBodyIdControllerB", mRigidBodyIdControllerB, mControllerBEnabled);
    mRecordRawData = settings->GetBool(halvex::kDriverSettingsSection, "recordRawData");
    ReadWmrBiasLearningSeconds(settings, mWmrBiasLearningSeconds);
    ReadLiveSettings();
}

bool cHalvexDeviceProvider::ReadLiveSettings() {
    vr::IVRSettings* settings = halvex::host::Settings();
    if (!settings) return false;
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const int32_t debugLevel = settings->GetInt32(halvex::kDriverSettingsSection, "debugLevel", &error);
    mDebugLevel = (error != vr::VRSettingsError_None || debugLevel < 0) ? 0 : debugLevel;

    error = vr::VRSettingsError_None;
    const bool predict = settings->GetBool(halvex::kDriverSettingsSection, "predictDirectPoses", &error);
    mPredictDirectPoses = error == vr::VRSettingsError_None && predict;

    ReadCalibrationSettings(settings);
    for (const eSemantic slot : {Hmd, ControllerA, ControllerB}) {
        if (cIHalvexDevice* device = SlotDevice(slot)) device->SetCalibration(mCalibrations[slot]);
    }
    return true;
}
