#include "settings_update.h"

#include "recording_calibration.h"

#include "client_link/atomic_file.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace halvex::calibrate {

bool ApplyToSettingsFile(const std::string& file, const std::vector<sSlotCalibration>& slots, std::string& error) {
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
    for (const sSlotCalibration& slot : slots) {
        for (const char* field : slot.fields) {
            const std::string key = CalibrationKey(slot.slot.c_str(), field);
            const std::string text = FormatCalibrationField(field, slot.calibration);
            // Typed as the driver reads them: numbers as floats, lists as strings.
            if (IsNumericCalibrationField(field)) {
                section[key] = std::stod(text);
            } else {
                section[key] = text;
            }
        }
    }
    return vrhost::link::ReplaceFileContents(file, document.dump(3) + "\n", error);
}

}  // namespace halvex::calibrate
