// The texts of refusals: formatted with their figures, and those two estimations share.
#pragma once

#include <cstdio>
#include <string>

namespace halvex::calibration {

constexpr char kMotionDoesNotMatch[] =
    "the optical and IMU motion do not match: is this the rigid body of this device, and was it tracked?";

// With the standard error in ms.
constexpr char kTimeOffsetUnknown[] =
    "turn the head faster and change direction often: the time offset is known only to %.1f ms";

inline std::string FormatMessage(const char* format, double a, double b = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace halvex::calibration
