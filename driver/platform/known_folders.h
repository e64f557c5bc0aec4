// Where the driver keeps files of its own on this machine.
#pragma once

#include <string>

namespace halvex::platform {

// The recording log folder as a UTF-8 path ending in '/', or an empty string when the
// system names no base folder.
//   Windows: "<ProgramData>/Halvex/OpenVR Driver/Logs/", the known folder
//            FOLDERID_ProgramData (machine-wide, writable by the runtime's service).
//   Linux:   "<state home>/Halvex/OpenVR Driver/Logs/", the state home being
//            $XDG_STATE_HOME when set to an absolute path, else $HOME/.local/state:
//            logs are per-user state there, and the runtime runs as the user.
std::string RecordingLogFolder();

}  // namespace halvex::platform
