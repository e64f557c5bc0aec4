// Feeds a CSV event stream to a cFusionFilter and prints its state after each
// IMU and optical event: the filter's outside view for tests and diagnosis.
#pragma once

#include <iosfwd>

namespace halvex {

// Returns the process exit status: 0, or 2 after a malformed line (reported on errors).
int RunFusionReplay(std::istream& events, std::ostream& output, std::ostream& errors);

}  // namespace halvex
