#include "vrhost/clients/client_device_view.h"

#include "vrhost/clients/client_poses.h"
#include "vrhost/host/host.h"
#include "vrhost/interfaces/property_store.h"
#include "vrhost/host/server_driver_host.h"

#include <algorithm>

namespace vrhost {

bool ParseOtherController(const std::string& text, sOtherController& controller) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= text.size() ||
        text.find('/', slash + 1) != std::string::npos) {
        return false;
    }
    controller.trackingSystem = text.substr(0, slash);
    controller.serial = text.substr(slash + 1);
    return true;
}

cHostDeviceView::cHostDeviceView(cHost& host, const std::vector<sOtherController>& otherControllers)
    : mHost(host) {
    cPropertyStore& store = host.PropertyStore();
    vr::TrackedDeviceIndex_t index = vr::k_unMaxTrackedDeviceCount;
    for (const sOtherController& controller : otherControllers) {
        --index;
        const vr::PropertyContainerHandle_t container = store.AttachDevice(index);
        store.HostSetInt32(container, vr::Prop_DeviceClass_Int32, vr::TrackedDeviceClass_Controller);
        store.HostSetString(container, vr::Prop_TrackingSystemName_String, controller.trackingSystem);
        store.HostSetString(container, vr::Prop_SerialNumber_String, controller.serial);
        store.HostSetString(container, vr::Prop_RegisteredDeviceType_String,
                            controller.trackingSystem + "/" + controller.serial);
        mOtherIndices.push_back(index);
    }
}

std::string cHostDeviceView::StringProperty(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop) {
    vr::PropertyTypeTag_t tag = vr::k_unInvalidPropertyTag;
    std::string bytes;
    if (ReadProperty(index, prop, tag, bytes) != vr::TrackedProp_Success || tag != vr::k_unStringPropertyTag) return {};
    return std::string(bytes.c_str());
}

std::string cHostDeviceView::RegisteredDeviceType(vr::TrackedDeviceIndex_t index) {
    return StringProperty(index, vr::Prop_RegisteredDeviceType_String);
}

std::vector<sClientDeviceState> cHostDeviceView::Devices() {
    std::vector<sClientDeviceState> devices;
    const auto add = [&](vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceClass deviceClass) {
        sClientDeviceState state;
        state.index = index;
        state.deviceClass = deviceClass;
        state.trackingSystemName = StringProperty(index, vr::Prop_TrackingSystemName_String);
        state.registeredDeviceType = RegisteredDeviceType(index);
        devices.push_back(std::move(state));
    };
    // A headset with no tracking system ("--hmd none") is no headset.
    if (!StringProperty(vr::k_unTrackedDeviceIndex_Hmd, vr::Prop_TrackingSystemName_String).empty()) {
        add(vr::k_unTrackedDeviceIndex_Hmd, vr::TrackedDeviceClass_HMD);
    }
    for (const sDeviceRecord& record : mHost.Devices()) {
        const bool active = record.activated && record.activateResult == vr::VRInitError_None && !record.deactivated;
        if (active) add(record.index, record.deviceClass);
    }
    for (const vr::TrackedDeviceIndex_t index : mOtherIndices) add(index, vr::TrackedDeviceClass_Controller);
    return devices;
}

bool cHostDeviceView::DebugRequest(vr::TrackedDeviceIndex_t index, const std::string& request, uint32_t bufferSize,
                                   std::string& response) {
    return mHost.ServerDriverHost().DebugRequest(index, request, bufferSize, response);
}

std::vector<link::sClientPose> cHostDeviceView::Poses() {
    const std::vector<sDeviceRecord> records = mHost.Devices();
    std::vector<link::sClientPose> poses;
    for (const sClientDeviceState& device : Devices()) {
        link::sClientPose pose;
        pose.device = device.index;
        pose.connected = true;
        pose.result = vr::TrackingResult_Uninitialized;
        for (const sDeviceRecord& record : records) {
            if (record.index == device.index && record.hasLastPose) pose = ClientPoseOf(device.index, record.lastPose.pose);
        }
        poses.push_back(pose);
    }
    return poses;
}

vr::ETrackedPropertyError cHostDeviceView::ReadProperty(vr::TrackedDeviceIndex_t index,
                                                        vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t& tag,
                                                        std::string& bytes) {
    std::string serial;
    bool driverDevice = false;
    for (const sDeviceRecord& record : mHost.Devices()) {
        if (record.index == index) {
            serial = record.serial;
            driverDevice = true;
        }
    }
    const bool known = index == vr::k_unTrackedDeviceIndex_Hmd || driverDevice ||
                       std::find(mOtherIndices.begin(), mOtherIndices.end(), index) != mOtherIndices.end();
    if (!known) return vr::TrackedProp_InvalidDevice;
    cPropertyStore& store = mHost.PropertyStore();
    for (const sPropertyRecord& record : store.Snapshot(store.TrackedDeviceToPropertyContainer(index))) {
        if (record.prop != prop) continue;
        if (record.error != vr::TrackedProp_Success) return record.error;
        tag = record.tag;
        bytes.assign(record.bytes.begin(), record.bytes.end());
        return vr::TrackedProp_Success;
    }
    if (driverDevice && prop == vr::Prop_RegisteredDeviceType_String) {
        tag = vr::k_unStringPropertyTag;
        bytes = mHost.Driver().name + "/" + serial;
        bytes.push_back('\0');
        return vr::TrackedProp_Success;
    }
    return vr::TrackedProp_UnknownProperty;
}

}  // namespace vrhost
