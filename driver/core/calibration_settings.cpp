// The calibration of each device slot, read with the other settings. A value that
// cannot be used costs that device its whole calibration (one log line), never the
// driver: half a calibration would be worse than none.
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "core/settings_section.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kSlotNames[] = {"Head", "ControllerA", "ControllerB"};

// The text of a setting that is a string or a number; empty when unset.
std::string ReadText(vr::IVRSettings* settings, const std::string& key, bool numeric) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    if (numeric) {
        const float value = settings->GetFloat(halvex::kDriverSettingsSection, key.c_str(), &error);
        if (error != vr::VRSettingsError_None) return std::string();
        char text[64];
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
        return text;
    }
    char buffer[1024];
    buffer[0] = '\0';
    settings->GetString(halvex::kDriverSettingsSection, key.c_str(), buffer, sizeof(buffer), &error);
    if (error != vr::VRSettingsError_None) return std::string();
    return std::string(buffer, strnlen(buffer, sizeof(buffer)));
}

bool IsNumericField(const char* field) {
    return std::strcmp(field, halvex::calibration_keys::kOpticalTimeOffsetMs) == 0 ||
           std::strstr(field, "Variance") != nullptr;
}

}  // namespace

void cHalvexDeviceProvider::ReadCalibrationSettings(vr::IVRSettings* settings) {
    size_t count = 0;
    const char* const* fields = halvex::CalibrationFields(count);
    for (int slot = 0; slot < 3; ++slot) {
        halvex::sDeviceCalibration calibration;
        bool usable = true;
        for (size_t i = 0; i < count && usable; ++i) {
            const std::string key = halvex::CalibrationKey(kSlotNames[slot], fields[i]);
            std::string reason;
            if (!halvex::ParseCalibrationField(fields[i], ReadText(settings, key, IsNumericField(fields[i])),
                                               calibration, reason)) {
                DriverLog("Setting %s unusable (%s): device %s runs without calibration", key.c_str(), reason.c_str(),
                          kSlotNames[slot]);
                usable = false;
            }
        }
        mCalibrations[slot] = usable ? calibration : halvex::sDeviceCalibration{};
        if (usable && !calibration.IsIdentity()) DriverLog("Device %s: calibration from the settings", kSlotNames[slot]);
    }
}
