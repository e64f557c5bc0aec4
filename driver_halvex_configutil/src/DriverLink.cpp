#include "DriverLink.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

const char* const kProtocol = "halvex/1";
const char* const kTrackingSystem = "halvex";  // the driver writes "Halvex"
const char* const kHeadSerial = "halvex-head";
// The runtime's limit on an answer.
constexpr uint32_t kAnswerBufferSize = 32 * 1024;

std::string StringProperty(vr::IVRSystem* system, vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop) {
    char value[256] = {};
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    system->GetStringTrackedDeviceProperty(index, prop, value, sizeof(value), &error);
    return error == vr::TrackedProp_Success ? std::string(value) : std::string();
}

bool SameWordIgnoringCase(const std::string& a, const char* b) {
    const std::string other(b);
    return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

sDriverAnswer Failure(eDriverLinkError error, std::string message) {
    sDriverAnswer answer;
    answer.error = error;
    answer.message = std::move(message);
    return answer;
}

sDriverAnswer NoDevice() {
    return Failure(eDriverLinkError::NoDriverDevice,
                   "The runtime shows no Halvex device. Enable a device below with its rigid body ID, press Save "
                   "and restart the runtime once.");
}

}  // namespace

cDriverLink::cDriverLink(vr::IVRSystem* system, vr::IVRDebug* debug) : mSystem(system), mDebug(debug) {}

vr::TrackedDeviceIndex_t cDriverLink::FindDevice() const {
    vr::TrackedDeviceIndex_t any = vr::k_unTrackedDeviceIndexInvalid;
    for (vr::TrackedDeviceIndex_t i = 0; i < vr::k_unMaxTrackedDeviceCount; ++i) {
        if (mSystem->GetTrackedDeviceClass(i) == vr::TrackedDeviceClass_Invalid) continue;
        if (!SameWordIgnoringCase(StringProperty(mSystem, i, vr::Prop_TrackingSystemName_String), kTrackingSystem))
            continue;
        if (StringProperty(mSystem, i, vr::Prop_SerialNumber_String) == kHeadSerial) return i;
        if (any == vr::k_unTrackedDeviceIndexInvalid) any = i;
    }
    return any;
}

sDriverAnswer cDriverLink::Ask(const std::string& request) {
    if (!mSystem || !mDebug) {
        return Failure(eDriverLinkError::RuntimeGone,
                       "The runtime is not running. Start it, then press Retry above.");
    }
    vr::TrackedDeviceIndex_t device = mDevice.load();
    if (device == vr::k_unTrackedDeviceIndexInvalid) device = FindDevice();
    if (device == vr::k_unTrackedDeviceIndexInvalid) return NoDevice();
    const std::string text = std::string(kProtocol) + " " + request;
    std::vector<char> buffer(kAnswerBufferSize, '\0');
    uint32_t size = mDebug->DriverDebugRequest(device, text.c_str(), buffer.data(), kAnswerBufferSize);
    if (size == 0) {
        // The index may have gone to another device since: look again once.
        const vr::TrackedDeviceIndex_t again = FindDevice();
        if (again == vr::k_unTrackedDeviceIndexInvalid) {
            mDevice.store(again);
            return NoDevice();
        }
        device = again;
        size = mDebug->DriverDebugRequest(device, text.c_str(), buffer.data(), kAnswerBufferSize);
    }
    if (size == 0) {
        mDevice.store(vr::k_unTrackedDeviceIndexInvalid);
        return Failure(eDriverLinkError::NotAnswering,
                       "The Halvex driver did not answer. Check that the runtime loaded it and that its devices are "
                       "active; restarting the runtime may help.");
    }
    mDevice.store(device);
    buffer.back() = '\0';
    return ReadAnswer(request, buffer.data(), size, kAnswerBufferSize);
}

sDriverAnswer cDriverLink::ReadAnswer(const std::string& request, const char* text, uint32_t size,
                                      uint32_t bufferSize) {
    const std::string unreadable = "The driver's answer to \"" + request + "\" could not be read (";
    const std::string versions = "). The utility and the driver may be of different versions.";
    if (size > bufferSize) return Failure(eDriverLinkError::Malformed, unreadable + "it was cut short" + versions);
    nlohmann::json body = nlohmann::json::parse(text ? text : "", nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return Failure(eDriverLinkError::Malformed, unreadable + "no JSON object" + versions);
    if (!body.contains("protocol") || body["protocol"] != kProtocol || !body.contains("ok") || !body["ok"].is_boolean())
        return Failure(eDriverLinkError::Malformed, unreadable + "not of protocol " + kProtocol + versions);
    sDriverAnswer answer;
    answer.body = std::move(body);
    if (!answer.body["ok"].get<bool>()) {
        answer.error = eDriverLinkError::Refused;
        const nlohmann::json& why = answer.body.contains("error") ? answer.body["error"] : nlohmann::json();
        answer.message = "The driver refused \"" + request + "\": " + (why.is_string() ? why.get<std::string>() : "no reason given");
    }
    return answer;
}
