#include "vrhost/command_line.h"

#include "vrhost/host.h"
#include "vrhost/host_error.h"

#include <cmath>
#include <cstdlib>

namespace vrhost {

std::string UsageText() {
    return "usage: vrhost --driver DIR|LIBRARY [--settings FILE]\n"
           "              [--hmd lighthouse|oculus|holographic|none|NAME] [--hmd-serial S]\n"
           "              [--duration SECONDS] [--poses FILE.csv] [--log FILE]\n"
           "              [--without-interface VERSION]...\n"
           "Loads an OpenVR driver as the VR runtime does, runs it at 90 Hz until the\n"
           "duration ends or Ctrl+C, and prints a summary of what it did.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, sCommandLine& commandLine, std::string& error) {
    sCommandLine parsed;
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
        const bool takesValue = option == "--driver" || option == "--settings" || option == "--hmd" ||
                                option == "--hmd-serial" || option == "--duration" || option == "--poses" ||
                                option == "--log" || option == "--without-interface";
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
        } else if (option == "--settings") {
            parsed.host.settingsFile = value;
        } else if (option == "--hmd") {
            if (value == "none") parsed.host.hmdTrackingSystem.reset();
            else parsed.host.hmdTrackingSystem = value;
        } else if (option == "--hmd-serial") {
            parsed.host.hmdSerial = value;
        } else if (option == "--duration") {
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0.0) {
                error = "--duration needs a number of seconds >= 0, not \"" + value + "\"";
                return false;
            }
            parsed.durationSeconds = seconds;
        } else if (option == "--poses") {
            parsed.host.posesCsvFile = value;
        } else if (option == "--log") {
            parsed.host.logFile = value;
        } else if (option == "--without-interface") {
            parsed.host.withheldInterfaces.push_back(value);
        }
    }
    if (!parsed.help && parsed.driver.empty()) {
        error = "--driver is required";
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
    try {
        cHost host(commandLine.host);
        host.LoadDriver(commandLine.driver);
        if (host.Init() == vr::VRInitError_None) host.RunFor(commandLine.durationSeconds, stop);
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
