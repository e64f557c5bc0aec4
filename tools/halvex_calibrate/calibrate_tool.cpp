#include "calibrate_tool.h"

#include "calibration_report.h"
#include "recording_calibration.h"
#include "settings_update.h"

#include <cmath>

namespace halvex::calibrate {
namespace {

const char kUsage[] =
    "usage: halvex_calibrate [--json] [--apply SETTINGS_FILE] [--slot Head|ControllerA|ControllerB]\n"
    "                        RECORDING_FOLDER | deviceN_rawdata.csv\n"
    "Estimates, for every device of a recording made with recordRawData (about a minute of\n"
    "the calibration motion: turns about all three axes, nods, tilts, a few steps), the optical\n"
    "time offset, the rigid body's pose in the device frame and the IMU's corrections, with\n"
    "their standard errors. --apply writes them into the runtime's settings file (section\n"
    "driver_halvex), every other key kept; for an orientation-only headset (no accelerometer) only\n"
    "the rigid body's rotation and the time offset are estimated and written. --slot names the\n"
    "device of a single file (default Head).\n";


}  // namespace

int RunHalvexCalibrate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::string applyTo, input, slot;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        }
        if (a == "--json") {
            json = true;
        } else if ((a == "--apply" || a == "--slot") && i + 1 < args.size()) {
            (a == "--apply" ? applyTo : slot) = args[++i];
        } else if (a.rfind("--", 0) == 0 || !input.empty()) {
            err << "halvex_calibrate: unexpected argument '" << a << "'\n" << kUsage;
            return 2;
        } else {
            input = a;
        }
    }
    if (input.empty()) {
        err << kUsage;
        return 2;
    }
    if (!slot.empty() && slot != "Head" && slot != "ControllerA" && slot != "ControllerB") {
        err << "halvex_calibrate: --slot must be Head, ControllerA or ControllerB\n";
        return 2;
    }
    std::vector<sRecordedDevice> devices;
    sInputFault fault;
    if (!ReadRecordedDevices(input, devices, fault)) {
        err << "halvex_calibrate: " << fault.file;
        if (fault.line > 0) err << ":" << fault.line;
        err << ": " << fault.reason << "\n";
        return 2;
    }
    if (!slot.empty() && devices.size() == 1) devices[0].slot = slot;

    const std::vector<sDeviceOutcome> outcomes = CalibrateDevices(devices);
    bool allOk = true;
    for (const sDeviceOutcome& o : outcomes) allOk = allOk && o.result.ok;
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const sDeviceOutcome& o : outcomes) list.push_back(JsonReport(o));
        out << nlohmann::json{{"devices", list}}.dump(2) << "\n";
    } else {
        for (const sDeviceOutcome& o : outcomes) out << TextReport(o);
    }
    if (!applyTo.empty()) {
        std::vector<sSlotCalibration> slots;
        for (const sDeviceOutcome& o : outcomes)
            if (o.result.ok)
                slots.push_back({o.device->slot, ToDeviceCalibration(o.result), EstimatedCalibrationFields(o.result)});
        std::string error;
        if (slots.empty()) {
            err << "halvex_calibrate: nothing calibrated, " << applyTo << " left as it is\n";
        } else if (!ApplyToSettingsFile(applyTo, slots, error)) {
            err << "halvex_calibrate: " << error << "\n";
            return 2;
        } else if (!json) {
            out << "written to " << applyTo << " (section driver_halvex)\n";
        }
    }
    return allOk ? 0 : 1;
}

}  // namespace halvex::calibrate
