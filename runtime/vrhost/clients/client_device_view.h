// What client programs see of the tracked devices: the simulated headset, the
// driver's devices once activated, and simulated controllers of other tracking
// systems. Safe to call from the client service's thread while the driver runs.
#pragma once

#include "client_link/client_messages.h"

#include <openvr_driver.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vrhost {

class cHost;

struct sClientDeviceState {
    vr::TrackedDeviceIndex_t index = vr::k_unTrackedDeviceIndexInvalid;
    vr::ETrackedDeviceClass deviceClass = vr::TrackedDeviceClass_Invalid;
    std::string trackingSystemName;
    std::string registeredDeviceType;

    bool operator==(const sClientDeviceState& other) const {
        return index == other.index && deviceClass == other.deviceClass &&
               trackingSystemName == other.trackingSystemName && registeredDeviceType == other.registeredDeviceType;
    }
};

class cIClientDeviceView {
public:
    virtual ~cIClientDeviceView() = default;
    // The devices present now, by index.
    virtual std::vector<sClientDeviceState> Devices() = 0;
    // A property as stored: its type tag and bytes (a string with its NUL).
    virtual vr::ETrackedPropertyError ReadProperty(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop,
                                                   vr::PropertyTypeTag_t& tag, std::string& bytes) = 0;
    // A request for the device's driver; false when no active device has that index.
    virtual bool DebugRequest(vr::TrackedDeviceIndex_t /*index*/, const std::string& /*request*/,
                              uint32_t /*bufferSize*/, std::string& /*response*/) {
        return false;
    }
    // The newest pose of every device present; invalid for one that sent none.
    virtual std::vector<link::sClientPose> Poses() { return {}; }
};

// A simulated controller of another tracking system, "SYSTEM/SERIAL" on the command line.
struct sOtherController {
    std::string trackingSystem;
    std::string serial;
};
// False for text that is not "SYSTEM/SERIAL" with both parts non-empty.
bool ParseOtherController(const std::string& text, sOtherController& controller);

// The view of a cHost. The other systems' controllers take the top indices (63, 62, ...)
// so the driver's devices keep theirs; their properties live in the host's store.
class cHostDeviceView final : public cIClientDeviceView {
public:
    cHostDeviceView(cHost& host, const std::vector<sOtherController>& otherControllers);

    std::vector<sClientDeviceState> Devices() override;
    vr::ETrackedPropertyError ReadProperty(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop,
                                           vr::PropertyTypeTag_t& tag, std::string& bytes) override;
    bool DebugRequest(vr::TrackedDeviceIndex_t index, const std::string& request, uint32_t bufferSize,
                      std::string& response) override;
    std::vector<link::sClientPose> Poses() override;

private:
    // The driver's devices have no registered device type of their own: the runtime
    // gives them "<driver>/<serial>".
    std::string RegisteredDeviceType(vr::TrackedDeviceIndex_t index);
    std::string StringProperty(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop);

    cHost& mHost;
    std::vector<vr::TrackedDeviceIndex_t> mOtherIndices;
};

}  // namespace vrhost
