// How a vrhost session is set up; the command line maps onto this one to one.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vrhost {

struct sHostOptions {
    // User settings file (steamvr.vrsettings format); empty: defaults only.
    std::string settingsFile;
    // Prop_TrackingSystemName_String of the simulated headset; nullopt leaves it unset.
    std::optional<std::string> hmdTrackingSystem = std::string("lighthouse");
    // Prop_SerialNumber_String of the simulated headset.
    std::string hmdSerial = "LHR-VRHOST00";
    // Interface versions GetGenericInterface refuses (105), to test a driver's fallbacks.
    std::vector<std::string> withheldInterfaces;
    // Every pose update as a CSV row; empty: none.
    std::string posesCsvFile;
    // The driver log, byte for byte; empty: none.
    std::string logFile;
    // Driver log echo, one line per message (the program passes stdout); not owned.
    std::ostream* logEcho = nullptr;
    double frameRateHz = 90.0;
    // Bounds on what stays in memory for PoseUpdates() and Log(); counting goes on.
    size_t poseHistoryLimit = 200000;
    size_t logCaptureLimit = 100000;
    // The runtime deactivates every device before the provider's Cleanup.
    bool deactivateBeforeCleanup = true;
};

}  // namespace vrhost
