#include "vrhost/clients/client_requests.h"

#include "vrhost/interfaces/settings_file.h"
#include "vrhost/interfaces/settings_store.h"

#include <algorithm>
#include <vector>

namespace vrhost {

using link::eClientOp;
using link::sClientReply;
using link::sClientRequest;

namespace {

// The longest string a client may ask for in one read.
constexpr uint32_t kMaxStringRead = 64 * 1024;

sClientReply Refuse(const sClientRequest& request, const std::string& why) {
    sClientReply reply;
    reply.id = request.id;
    reply.refused = true;
    reply.refusal = why;
    return reply;
}

}  // namespace

cClientRequests::cClientRequests(cSettingsStore& settings, cIClientDeviceView& devices,
                                 std::filesystem::path settingsFile)
    : mSettings(settings), mDevices(devices), mSettingsFile(std::move(settingsFile)) {}

int32_t cClientRequests::Persist(int32_t error) {
    if (error != vr::VRSettingsError_None || mSettingsFile.empty()) return error;
    std::string reason;
    return SaveSettingsFile(mSettingsFile, mSettings.UserSettings(), reason) ? vr::VRSettingsError_None
                                                                             : vr::VRSettingsError_WriteFailed;
}

sClientReply cClientRequests::Answer(const sClientRequest& request, bool greeted) {
    if (!greeted && request.op != eClientOp::Hello) return Refuse(request, "hello first");
    sClientReply reply;
    reply.id = request.id;
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const char* section = request.section.c_str();
    const char* key = request.key.c_str();
    switch (request.op) {
        case eClientOp::Hello:
            if (request.applicationType < 0 || request.applicationType >= vr::VRApplication_Max) {
                return Refuse(request, "unknown application type");
            }
            reply.error = vr::VRInitError_None;
            return reply;
        case eClientOp::GetBool:
            reply.boolValue = mSettings.GetBool(section, key, &error);
            break;
        case eClientOp::GetInt32:
            reply.intValue = mSettings.GetInt32(section, key, &error);
            break;
        case eClientOp::GetFloat:
            reply.floatValue = mSettings.GetFloat(section, key, &error);
            break;
        case eClientOp::GetString: {
            std::vector<char> buffer(std::min(request.bufferSize, kMaxStringRead) + 1, '\0');
            mSettings.GetString(section, key, buffer.data(), std::min(request.bufferSize, kMaxStringRead), &error);
            reply.stringValue = buffer.data();
            break;
        }
        case eClientOp::SetBool:
            mSettings.SetBool(section, key, request.boolValue, &error);
            error = static_cast<vr::EVRSettingsError>(Persist(error));
            break;
        case eClientOp::SetInt32:
            mSettings.SetInt32(section, key, request.intValue, &error);
            error = static_cast<vr::EVRSettingsError>(Persist(error));
            break;
        case eClientOp::SetFloat:
            mSettings.SetFloat(section, key, request.floatValue, &error);
            error = static_cast<vr::EVRSettingsError>(Persist(error));
            break;
        case eClientOp::SetString:
            mSettings.SetString(section, key, request.stringValue.c_str(), &error);
            error = static_cast<vr::EVRSettingsError>(Persist(error));
            break;
        case eClientOp::RemoveSection:
            mSettings.RemoveSection(section, &error);
            error = static_cast<vr::EVRSettingsError>(Persist(error));
            break;
        case eClientOp::RemoveKey:
            mSettings.RemoveKeyInSection(section, key, &error);
            error = static_cast<vr::EVRSettingsError>(Persist(error));
            break;
        case eClientOp::DeviceClass: {
            reply.intValue = vr::TrackedDeviceClass_Invalid;
            for (const sClientDeviceState& device : mDevices.Devices()) {
                if (device.index == request.device) reply.intValue = device.deviceClass;
            }
            return reply;
        }
        case eClientOp::DeviceProperty: {
            vr::PropertyTypeTag_t tag = vr::k_unInvalidPropertyTag;
            reply.error = mDevices.ReadProperty(request.device, static_cast<vr::ETrackedDeviceProperty>(request.prop),
                                                tag, reply.bytes);
            reply.tag = tag;
            return reply;
        }
        case eClientOp::DebugRequest:
            if (!mDevices.DebugRequest(request.device, request.stringValue, request.bufferSize, reply.stringValue)) {
                reply.error = vr::TrackedProp_InvalidDevice;
            }
            return reply;
        case eClientOp::DevicePoses:
            reply.poses = mDevices.Poses();
            return reply;
        case eClientOp::AcknowledgeQuit:
            return reply;
    }
    reply.error = error;
    return reply;
}

}  // namespace vrhost
