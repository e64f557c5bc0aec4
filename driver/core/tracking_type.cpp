#include "core/tracking_type.h"

namespace halvex {
namespace {

const char* const kTrackingTypeNames[] = {"Standard", "HalvexOnly", "HMDOnly"};
constexpr int kTrackingTypeCount = sizeof(kTrackingTypeNames) / sizeof(kTrackingTypeNames[0]);

}  // namespace

TrackingType TrackingTypeFromString(const std::string& text) {
    for (int i = 0; i < kTrackingTypeCount; ++i) {
        if (text == kTrackingTypeNames[i]) return static_cast<TrackingType>(i);
    }
    return TrackingType_Standard;
}

const char* TrackingTypeToString(TrackingType type) {
    const int index = static_cast<int>(type);
    return index >= 0 && index < kTrackingTypeCount ? kTrackingTypeNames[index] : "";
}

}  // namespace halvex
