#include "platform/known_folders.h"

#include <cstdlib>

namespace halvex::platform {
namespace {

std::string StateHomeFolder() {
    // The base directory rules ignore a relative XDG_STATE_HOME.
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome && stateHome[0] == '/') return stateHome;
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') return std::string(home) + "/.local/state";
    return {};
}

std::string DriverFolderIn(const char* leaf) {
    std::string base = StateHomeFolder();
    if (base.empty()) return {};
    if (base.back() == '/') base.pop_back();
    return base + "/Halvex/OpenVR Driver/" + leaf + "/";
}

}  // namespace

std::string RecordingLogFolder() { return DriverFolderIn("Logs"); }

std::string DriverStateFolder() { return DriverFolderIn("State"); }

}  // namespace halvex::platform
