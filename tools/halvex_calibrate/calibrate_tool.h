// halvex_calibrate's command line: estimate each recorded device's calibration,
// print it (a report or --json), and with --apply write it into a settings file.
// Exit status: 0 every device calibrated, 1 a device refused (the message says
// what motion to record), 2 bad usage or a malformed input (file, line, reason).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvex::calibrate {

int RunHalvexCalibrate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvex::calibrate
