// The driver's devices that a simulated rigid body drives, and the settings keys
// that name each one's rigid body: what lets vrhost know which motion a device
// follows. The head comes first; its IMU is the headset's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrhost {

class cSettingsStore;

struct sTrackedBodySlot {
    std::string serial;
    std::string rigidBodyKey;  // in kTrackedBodySettingsSection
    bool isHead = false;
};

extern const char* const kTrackedBodySettingsSection;  // "driver_halvex"

const std::vector<sTrackedBodySlot>& TrackedBodySlots();

// The slot's rigid body ID from the settings; 0 (no device) when unset or unreadable.
int32_t RigidBodyIdOf(cSettingsStore& settings, const sTrackedBodySlot& slot);

}  // namespace vrhost
