// The halvex_replay program as a function, so tests run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvex::replay {

// `args` excludes the program name. Filter rows go to --out or standard output;
// messages to `messages`. Returns 0; 1 when --compare finds the replay parting
// from the device's file; 2 for a bad command line or malformed input.
int RunHalvexReplay(const std::vector<std::string>& args, std::ostream& messages);

}  // namespace halvex::replay
