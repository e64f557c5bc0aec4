// How the head is tracked; the setting "trackingType" names it.
#pragma once

#include <cstdint>
#include <string>

enum TrackingType : int32_t {
    TrackingType_Standard = 0,    // optical pose fused with the headset's IMU
    TrackingType_HalvexOnly = 1,  // optical pose alone
    TrackingType_HMDOnly = 2,     // the driver stays out of tracking
};

namespace halvex {

// Exact, case-sensitive match against the three names; anything else is Standard.
TrackingType TrackingTypeFromString(const std::string& text);
const char* TrackingTypeToString(TrackingType type);

}  // namespace halvex
