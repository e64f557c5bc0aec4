#include "CalibrationSettings.h"

#include "recording_calibration.h"

#include <optional>

namespace {

const char* const kSection = "driver_halvex";

// One key's value before the write: absent, a float or a string.
struct sPreviousValue {
    std::string key;
    bool numeric = false;
    std::optional<float> number;
    std::optional<std::string> text;
};

sPreviousValue ReadPrevious(vr::IVRSettings* settings, const std::string& key, bool numeric) {
    sPreviousValue previous;
    previous.key = key;
    previous.numeric = numeric;
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    if (numeric) {
        const float value = settings->GetFloat(kSection, key.c_str(), &error);
        if (error == vr::VRSettingsError_None) previous.number = value;
    } else {
        char value[512] = {};
        settings->GetString(kSection, key.c_str(), value, sizeof(value), &error);
        value[sizeof(value) - 1] = '\0';
        if (error == vr::VRSettingsError_None) previous.text = std::string(value);
    }
    return previous;
}

bool Restore(vr::IVRSettings* settings, const sPreviousValue& previous) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    if (previous.number)
        settings->SetFloat(kSection, previous.key.c_str(), *previous.number, &error);
    else if (previous.text)
        settings->SetString(kSection, previous.key.c_str(), previous.text->c_str(), &error);
    else
        settings->RemoveKeyInSection(kSection, previous.key.c_str(), &error);
    return error == vr::VRSettingsError_None;
}

}  // namespace

bool WriteCalibrations(vr::IVRSettings* settings, const tSlotCalibrations& slots, std::string& error) {
    if (!settings) {
        error = "The runtime's settings cannot be reached: start the runtime and try again.";
        return false;
    }
    size_t count = 0;
    const char* const* fields = halvex::CalibrationFields(count);
    std::vector<sPreviousValue> written;
    for (const auto& [slot, calibration] : slots) {
        for (size_t i = 0; i < count; ++i) {
            const std::string key = halvex::CalibrationKey(slot.c_str(), fields[i]);
            const bool numeric = halvex::calibrate::IsNumericCalibrationField(fields[i]);
            const std::string text = halvex::FormatCalibrationField(fields[i], calibration);
            written.push_back(ReadPrevious(settings, key, numeric));
            vr::EVRSettingsError setError = vr::VRSettingsError_None;
            if (numeric)
                settings->SetFloat(kSection, key.c_str(), std::stof(text), &setError);
            else
                settings->SetString(kSection, key.c_str(), text.c_str(), &setError);
            if (setError == vr::VRSettingsError_None) continue;
            bool restored = true;
            for (const sPreviousValue& previous : written) restored = Restore(settings, previous) && restored;
            error = "The runtime refused to save " + key + " (" + settings->GetSettingsErrorNameFromEnum(setError) +
                    "). " +
                    (restored ? "The settings were left as they were."
                              : "Some calibration settings could not be put back; check them before the next start.");
            return false;
        }
    }
    return true;
}

tSlotCalibrations IdentityCalibrations() {
    return {{"Head", halvex::sDeviceCalibration()},
            {"ControllerA", halvex::sDeviceCalibration()},
            {"ControllerB", halvex::sDeviceCalibration()}};
}
