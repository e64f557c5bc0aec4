#include "settings_update.h"

#include "recording_calibration.h"

#include "client_link/atomic_file.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace halvex::calibrate {

bool ApplyToSettingsFile(const std::string& file, const std::vector<std::pair<std::string, sDeviceCalibration>>& slots,
                         std::string& error) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in.good() && !in.eof()) {
            error = file + ": cannot be read";
            return false;
        }
        document = nlohmann::ordered_json::parse(text.str(), nullptr, false);
        if (document.is_discarded() || !document.is_object()) {
            error = file + ": not a JSON settings file; left as it is";
            return false;
        }
    }
    nlohmann::ordered_json& section = document["driver_halvex"];
    if (!section.is_object()) section = nlohmann::ordered_json::object();
    size_t count = 0;
    const char* const* fields = CalibrationFields(count);
    for (const auto& [slot, calibration] : slots) {
        for (size_t i = 0; i < count; ++i) {
            const std::string key = CalibrationKey(slot.c_str(), fields[i]);
            const std::string text = FormatCalibrationField(fields[i], calibration);
            // Typed as the driver reads them: numbers as floats, lists as strings.
            if (IsNumericCalibrationField(fields[i])) {
                section[key] = std::stod(text);
            } else {
                section[key] = text;
            }
        }
    }
    return vrhost::link::ReplaceFileContents(file, document.dump(3) + "\n", error);
}

}  // namespace halvex::calibrate
