#include "client_link/state_folder.h"

#include <cstdlib>

namespace vrhost::link {

std::filesystem::path RuntimeStateFolder() {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome && stateHome[0] == '/') return std::filesystem::path(stateHome) / "vrhost";
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') return std::filesystem::path(home) / ".local" / "state" / "vrhost";
    return {};
}

}  // namespace vrhost::link
