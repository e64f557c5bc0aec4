// The folder where the stand-in runtime keeps its per-user files: the settings
// file it uses by default and, while it runs, its registration for clients.
//   Linux:   $XDG_STATE_HOME/vrhost (an absolute XDG_STATE_HOME), else ~/.local/state/vrhost
//   Windows: %LOCALAPPDATA%\vrhost
#pragma once

#include <filesystem>

namespace vrhost::link {

// Empty when the system names no base folder.
std::filesystem::path RuntimeStateFolder();
// RuntimeStateFolder()/"vrhost.vrsettings"; empty when there is no folder.
std::filesystem::path DefaultSettingsFile();

}  // namespace vrhost::link
