#include "vrhost/world/tracked_body_slots.h"

#include "vrhost/interfaces/settings_store.h"

namespace vrhost {

const char* const kTrackedBodySettingsSection = "driver_halvex";

const std::vector<sTrackedBodySlot>& TrackedBodySlots() {
    static const std::vector<sTrackedBodySlot> slots = {
        {"halvex-head", "tessalyRigidBodyIdHead", true},
        {"halvex-controller-a", "tessalyRigidBodyIdControllerA", false},
        {"halvex-controller-b", "tessalyRigidBodyIdControllerB", false},
    };
    return slots;
}

int32_t RigidBodyIdOf(cSettingsStore& settings, const sTrackedBodySlot& slot) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const int32_t id = settings.GetInt32(kTrackedBodySettingsSection, slot.rigidBodyKey.c_str(), &error);
    return error == vr::VRSettingsError_None ? id : 0;
}

}  // namespace vrhost
