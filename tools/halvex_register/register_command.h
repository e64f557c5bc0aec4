// halvex_register as a function, so tests run the program's logic in-process:
//   install [DRIVER_FOLDER]   list the driver folder in the runtime's path registry
//   remove [DRIVER_FOLDER]    take it out again
//   status [DRIVER_FOLDER]    whether it is listed; the runtime, config and log folders named
// DRIVER_FOLDER defaults to the "halvex" folder beside the program's own folder.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace halvex::pathreg {

constexpr int kExitOk = 0;
// install/remove: the registry or driver folder could not be read or written;
// status: the driver is not registered.
constexpr int kExitFailed = 1;
// The registry exists but cannot be parsed; it is left untouched.
constexpr int kExitUnparsable = 2;
constexpr int kExitUsage = 64;

// `programFolder` is where the default driver folder is looked for (its parent's "halvex").
int RunRegister(const std::vector<std::string>& args, const std::filesystem::path& programFolder, std::ostream& out,
                std::ostream& err);

}  // namespace halvex::pathreg
