// One line of a fusion replay stream, parsed.
#pragma once

#include <string>

namespace halvex {

enum class eReplayEventKind { None, Params, Bias, Imu, Optical };

struct sReplayEvent {
    eReplayEventKind kind = eReplayEventKind::None;  // None: blank or comment line
    double values[12] = {};                          // the numbers after the kind, in order
    int valueCount = 0;
};

// False with a reason for a malformed line.
bool ParseReplayEvent(const std::string& line, sReplayEvent& event, std::string& reason);

}  // namespace halvex
