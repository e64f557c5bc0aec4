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

// The folder for what the driver keeps from one session to the next, as a UTF-8 path
// ending in '/', or an empty string when the system names no base folder.
//   Windows: "<%LOCALAPPDATA%>/Halvex/OpenVR Driver/State/" (the known folder
//            FOLDERID_LocalAppData when the variable is unset): the runtime runs as the user.
//   Linux:   "<state home>/Halvex/OpenVR Driver/State/", the state home as above.
std::string DriverStateFolder();

}  // namespace halvex::platform
