// The driver folders the runtime loads besides its own: those listed under
// "external_drivers" in the path registry, read as the runtime reads it. The file is
// VR_PATHREG_OVERRIDE when set and not empty, else
//   Windows: <local application data>\openvr\openvrpaths.vrpath
//   Linux:   $XDG_CONFIG_HOME/openvr/openvrpaths.vrpath, else ~/.config/openvr/openvrpaths.vrpath
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace vrhost {

// Empty when the system names no folder for it.
std::filesystem::path PathRegistryFile();

struct sRegisteredDrivers {
    std::filesystem::path registry;
    bool found = false;          // the file exists and was parsed
    std::string error;           // why it was not used: unreadable, "Unable to parse ..."
    std::vector<std::string> folders;  // "external_drivers", UTF-8, in the file's order
};

// A missing file, a file that is not valid JSON, or a list that is not a list of
// strings lists nothing, as with the runtime (non-string entries are skipped).
sRegisteredDrivers ReadRegisteredDrivers();

// The driver folder vrhost hosts when none is given: the first listed folder that
// loads (LocateDriver). vrhost hosts one driver: the others, and folders that do not
// load, are named on `out`. Throws cHostError when no listed folder loads.
std::string DriverFromPathRegistry(std::ostream& out);

}  // namespace vrhost
