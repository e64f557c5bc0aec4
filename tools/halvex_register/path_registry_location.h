// Where the runtime's path registry lives, found as the runtime's own code finds it:
// VR_PATHREG_OVERRIDE when set and not empty; otherwise
//   Windows: <local application data>\openvr\openvrpaths.vrpath
//   Linux:   $XDG_CONFIG_HOME/openvr/openvrpaths.vrpath, else ~/.config/openvr/openvrpaths.vrpath
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace halvex::pathreg {

// An environment variable of the process, as UTF-8; nullopt when unset or empty.
std::optional<std::string> EnvironmentValue(const char* name);

// Empty, with `error` saying why, when the system names no folder for it.
std::filesystem::path PathRegistryFile(std::string& error);

// The folder of the running program (UTF-8 safe on Windows).
std::filesystem::path ProgramFolder();

}  // namespace halvex::pathreg
