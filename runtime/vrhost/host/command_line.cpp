#include "vrhost/host/command_line.h"

#include "vrhost/clients/client_service.h"
#include "vrhost/host/host.h"
#include "vrhost/host/host_error.h"
#include "vrhost/host/registered_drivers.h"

#include "client_link/state_folder.h"

#include "platform/clock.h"
#include "sim/motion_scenario.h"
#include "sim/scenario_epoch.h"
#include "sim/sensor_error_options.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace vrhost {

namespace {

std::string ScenarioList() {
    std::string list;
    for (const std::string& name : sim::cMotionScenario::Names()) list += (list.empty() ? "" : "|") + name;
    return list;
}

bool ParseSeconds(const std::string& option, const std::string& value, double& seconds, std::string& error) {
    char* end = nullptr;
    seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0.0) {
        error = option + " needs a number of seconds >= 0, not \"" + value + "\"";
        return false;
    }
    return true;
}

// "x,y,z": three finite numbers; scales must also be nonzero (the stream divides by them).
bool ParseTriple(const std::string& option, const std::string& value, bool nonzero, Vector3& triple,
                 std::string& error) {
    const char* p = value.c_str();
    for (size_t i = 0; i < 3; ++i) {
        char* end = nullptr;
        triple[i] = std::strtod(p, &end);
        const char expected = i < 2 ? ',' : '\0';
        if (end == p || *end != expected || !std::isfinite(triple[i]) || (nonzero && triple[i] == 0.0)) {
            error = option + " needs three " + (nonzero ? "nonzero " : "") + "numbers X,Y,Z, not \"" + value + "\"";
            return false;
        }
        p = end + 1;
    }
    return true;
}

bool ParseWmrOption(const std::string& option, const std::string& value, sWmrHeadsetOptions& wmr, std::string& error) {
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    const bool isNumber = !value.empty() && *end == '\0' && std::isfinite(number);
    if (option == "--wmr-interface") {
        if (value == "present") wmr.imuInterface = sWmrHeadsetOptions::eInterface::Present;
        else if (value == "silent") wmr.imuInterface = sWmrHeadsetOptions::eInterface::Silent;
        else if (value == "none") wmr.imuInterface = sWmrHeadsetOptions::eInterface::None;
        else error = option + " needs present, silent or none, not \"" + value + "\"";
    } else if (option == "--wmr-extra-interfaces") {
        if (isNumber && number >= 0.0 && number <= 8.0 && number == std::floor(number)) wmr.extraInterfaces = static_cast<int>(number);
        else error = option + " needs a whole number from 0 to 8, not \"" + value + "\"";
    } else if (option == "--wmr-drift-ppm") {
        if (isNumber && std::fabs(number) <= 10000.0) wmr.clockDriftPpm = number;
        else error = option + " needs a number of ppm from -10000 to 10000, not \"" + value + "\"";
    } else if (option == "--wmr-jitter-ms") {
        if (isNumber && number >= 0.0 && number <= 1000.0) wmr.deliveryJitterSeconds = number / 1000.0;
        else error = option + " needs a number of milliseconds from 0 to 1000, not \"" + value + "\"";
    } else if (option == "--wmr-unplug-after") {
        if (isNumber && number >= 0.0 && number <= 86400.0) {
            wmr.unplugAfterSeconds = number;
            wmr.replugRestartsClock = true;
        } else {
            error = option + " needs a number of seconds from 0 to 86400, not \"" + value + "\"";
        }
    } else if (option == "--wmr-unplug-for") {
        if (isNumber && number >= 0.0 && number <= 86400.0) wmr.unplugForSeconds = number;
        else error = option + " needs a number of seconds from 0 to 86400, not \"" + value + "\"";
    } else {
        error = "unknown option " + option;
    }
    return error.empty();
}

}  // namespace

std::string UsageText() {
    return "usage: vrhost [--driver DIR|LIBRARY] [--settings FILE]\n"
           "              [--hmd lighthouse|oculus|holographic|none|NAME] [--hmd-serial S]\n"
           "              [--duration SECONDS] [--poses FILE.csv] [--log FILE]\n"
           "              [--without-interface VERSION]...\n"
           "              [--scenario NAME] [--profile ideal|realistic] [--imu-delay SECONDS]\n"
           "              [--rigid-body-error RX,RY,RZ,TX,TY,TZ] [--latency-stamp-error MS]\n"
           "              [--imu-to-head-error RX,RY,RZ,TX,TY,TZ]\n"
           "              [--scenario-epoch SECONDS]\n"
           "              [--imu-gyro-bias X,Y,Z] [--imu-gyro-scale X,Y,Z]\n"
           "              [--imu-accel-bias X,Y,Z] [--imu-accel-scale X,Y,Z]\n"
           "              [--display-prediction SECONDS] [--predict-direct-poses]\n"
           "              [--controller SYSTEM/SERIAL]...\n"
           "              [--wmr-interface present|silent|none] [--wmr-extra-interfaces N]\n"
           "              [--wmr-drift-ppm PPM] [--wmr-jitter-ms MS] [--wmr-unplug-after S] [--wmr-unplug-for S]\n"
           "Loads an OpenVR driver as the VR runtime does, runs it at 90 Hz until the\n"
           "duration ends or Ctrl+C, and prints a summary of what it did.\n"
           "Without --driver it hosts the first loadable driver folder that the runtime's\n"
           "path registry lists (VR_PATHREG_OVERRIDE names another registry file).\n"
           "With --scenario (" + ScenarioList() + ") the tracked bodies and the simulated\n"
           "headset move, their IMU streams carry 1000 Hz samples, and the summary compares\n"
           "every pose with the truth, at the pose's own time and as shown at each refresh.\n"
           "--scenario-epoch: the monotonic second the scenario starts at, the value the mocap\n"
           "simulator printed for its own --scenario-epoch (runs compared in pairs see the\n"
           "same motion).\n"
           "While it runs it serves client programs (a settings utility) on a loopback port;\n"
           "--controller adds a controller of another tracking system for them to see.\n"
           "Without --settings it uses the settings file in its state folder, if there is one.\n"
           "A \"holographic\" headset's IMU is a simulated HID interface (Linux: a private\n"
           "hidraw tree) instead of a stream.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, sCommandLine& commandLine, std::string& error) {
    sCommandLine parsed;
    bool driverGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool hasInlineValue = false;
        const size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            hasInlineValue = true;
        }
        if (option == "--help" || option == "-h") {
            parsed.help = true;
            continue;
        }
        if (option == "--predict-direct-poses" && !hasInlineValue) {
            parsed.host.predictDirectPoses = true;
            continue;
        }
        const bool takesValue = option == "--driver" || option == "--settings" || option == "--hmd" ||
                                option == "--hmd-serial" || option == "--duration" || option == "--poses" ||
                                option == "--log" || option == "--without-interface" || option == "--scenario" || option == "--profile" ||
                                option == "--scenario-epoch" ||
                                option == "--rigid-body-error" || option == "--latency-stamp-error" ||
                                option == "--imu-to-head-error" ||
                                option == "--imu-delay" || option == "--imu-gyro-bias" || option == "--imu-gyro-scale" ||
                                option == "--imu-accel-bias" || option == "--imu-accel-scale" ||
                                option == "--display-prediction" || option == "--controller" ||
                                option.rfind("--wmr-", 0) == 0;
        if (!takesValue) {
            error = "unknown option " + args[i];
            return false;
        }
        if (!hasInlineValue) {
            if (i + 1 >= args.size()) {
                error = "option " + option + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (option == "--driver") {
            parsed.driver = value;
            driverGiven = true;
        } else if (option == "--settings") {
            parsed.host.settingsFile = value;
        } else if (option == "--hmd") {
            if (value == "none") parsed.host.hmdTrackingSystem.reset();
            else parsed.host.hmdTrackingSystem = value;
        } else if (option == "--hmd-serial") {
            parsed.host.hmdSerial = value;
        } else if (option == "--duration") {
            if (!ParseSeconds(option, value, parsed.durationSeconds, error)) return false;
        } else if (option == "--imu-delay") {
            if (!ParseSeconds(option, value, parsed.host.imuDelaySeconds, error)) return false;
        } else if (option == "--display-prediction") {
            if (!ParseSeconds(option, value, parsed.host.displayPredictionSeconds, error)) return false;
        } else if (option == "--scenario") {
            const std::vector<std::string> names = sim::cMotionScenario::Names();
            if (std::find(names.begin(), names.end(), value) == names.end()) {
                error = "unknown scenario \"" + value + "\" (known: " + ScenarioList() + ")";
                return false;
            }
            parsed.host.scenario = value;
        } else if (option == "--scenario-epoch") {
            if (!sim::ParseScenarioEpoch(value, halvex::platform::NowSeconds(), parsed.host.scenarioEpoch, error))
                return false;
        } else if (option.rfind("--wmr-", 0) == 0) {
            if (!ParseWmrOption(option, value, parsed.host.wmr, error)) return false;
        } else if (option == "--rigid-body-error" || option == "--latency-stamp-error" ||
                   option == "--imu-to-head-error") {
            bool ok = true;
            sim::TakeSensorErrorOption(option, value, parsed.host.sensorErrors, ok, error);
            if (!ok) return false;
        } else if (option == "--profile") {
            if (!sim::ParseSensorProfile(value, parsed.host.sensorProfile)) {
                error = "unknown sensor profile \"" + value + "\" (known: ideal, realistic)";
                return false;
            }
        } else if (option.rfind("--imu-", 0) == 0) {
            const bool scale = option.size() > 6 && option.compare(option.size() - 6, 6, "-scale") == 0;
            Vector3 triple{};
            if (!ParseTriple(option, value, scale, triple, error)) return false;
            sImuCalibrationOptions& c = parsed.host.imuCalibration;
            if (option == "--imu-gyro-bias") c.gyroBias = triple;
            else if (option == "--imu-gyro-scale") c.gyroScale = triple;
            else if (option == "--imu-accel-bias") c.accelBias = triple;
            else c.accelScale = triple;
        } else if (option == "--poses") {
            parsed.host.posesCsvFile = value;
        } else if (option == "--log") {
            parsed.host.logFile = value;
        } else if (option == "--without-interface") {
            parsed.host.withheldInterfaces.push_back(value);
        } else if (option == "--controller") {
            sOtherController controller;
            if (!ParseOtherController(value, controller)) {
                error = "--controller needs SYSTEM/SERIAL, not \"" + value + "\"";
                return false;
            }
            parsed.otherControllers.push_back(controller);
        }
    }
    if (driverGiven && parsed.driver.empty()) {
        error = "--driver needs a driver folder or library";
        return false;
    }
    commandLine = std::move(parsed);
    return true;
}

int RunVrhost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const std::atomic<bool>* stop) {
    sCommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(args, commandLine, error)) {
        err << "vrhost: " << error << " (try --help)\n";
        return kExitUsage;
    }
    if (commandLine.help) {
        out << UsageText();
        return kExitOk;
    }
    commandLine.host.logEcho = &out;
    // The program keeps counts and last poses only; the CSV holds every update.
    commandLine.host.poseHistoryLimit = 0;
    commandLine.host.logCaptureLimit = 0;
    // Client programs' changes are written back to the settings file, as the runtime
    // does; without --settings that is the one in the state folder, read if it exists.
    std::filesystem::path settingsFile = std::filesystem::u8path(commandLine.host.settingsFile);
    if (settingsFile.empty()) {
        settingsFile = link::DefaultSettingsFile();
        std::error_code ec;
        if (!settingsFile.empty() && std::filesystem::exists(settingsFile, ec)) {
            commandLine.host.settingsFile = settingsFile.u8string();
        }
    }
    try {
        if (commandLine.driver.empty()) commandLine.driver = DriverFromPathRegistry(out);
        cHost host(commandLine.host);
        host.LoadDriver(commandLine.driver);
        cHostDeviceView devices(host, commandLine.otherControllers);
        cClientService clients(host.Settings(), devices, settingsFile);
        std::string clientsError;
        // Not an error of the session: the driver runs all the same.
        if (!clients.Start(clientsError)) out << "vrhost: not serving client programs: " << clientsError << "\n";
        if (host.Init() == vr::VRInitError_None) host.RunFor(commandLine.durationSeconds, stop);
        clients.Stop();
        host.Cleanup();
        host.UnloadDriver();
        out << host.Summary();
        out.flush();
    } catch (const cHostError& e) {
        err << "vrhost: " << e.what() << "\n";
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace vrhost
