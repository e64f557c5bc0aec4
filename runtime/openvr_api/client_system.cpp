#include "openvr_api/client_system.h"

#include "openvr_api/library_lock.h"

#include "client_link/openvr_error_names.h"

#include <cstring>

namespace openvr_api {

using vrhost::link::eClientOp;
using vrhost::link::sClientEvent;
using vrhost::link::sClientReply;
using vrhost::link::sClientRequest;

namespace {

vr::HmdMatrix34_t Identity34() {
    vr::HmdMatrix34_t m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = 1.0f;
    return m;
}

vr::HmdMatrix44_t Identity44() {
    vr::HmdMatrix44_t m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
    return m;
}

void Report(vr::ETrackedPropertyError* pError, vr::ETrackedPropertyError error) {
    if (pError) *pError = error;
}

bool IsButtonEvent(uint32_t type) {
    return type == vr::VREvent_ButtonPress || type == vr::VREvent_ButtonUnpress || type == vr::VREvent_ButtonTouch ||
           type == vr::VREvent_ButtonUntouch;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// What the runtime answers

// A property as stored, checked against the type the caller asks for.
static vr::ETrackedPropertyError ReadProperty(cClientConnection* connection, vr::TrackedDeviceIndex_t index,
                                              vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t tag,
                                              std::string& bytes) {
    if (!connection || index >= vr::k_unMaxTrackedDeviceCount) return vr::TrackedProp_InvalidDevice;
    sClientRequest request;
    request.op = eClientOp::DeviceProperty;
    request.device = index;
    request.prop = prop;
    sClientReply reply;
    {
        std::lock_guard<std::mutex> lock(LibraryMutex());
        if (!connection->Call(request, reply)) return vr::TrackedProp_IPCReadFailure;
    }
    const auto error = static_cast<vr::ETrackedPropertyError>(reply.error);
    if (error != vr::TrackedProp_Success) return error;
    if (reply.tag != tag) return vr::TrackedProp_WrongDataType;
    bytes = reply.bytes;
    return vr::TrackedProp_Success;
}

template <typename T>
static T ReadFixed(cClientConnection* connection, vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop,
                   vr::PropertyTypeTag_t tag, vr::ETrackedPropertyError* pError) {
    std::string bytes;
    vr::ETrackedPropertyError error = ReadProperty(connection, index, prop, tag, bytes);
    T value{};
    if (error == vr::TrackedProp_Success && bytes.size() != sizeof(T)) error = vr::TrackedProp_WrongDataType;
    if (error == vr::TrackedProp_Success) std::memcpy(&value, bytes.data(), sizeof(T));
    Report(pError, error);
    return value;
}

vr::ETrackedDeviceClass cClientSystem::GetTrackedDeviceClass(vr::TrackedDeviceIndex_t unDeviceIndex) {
    if (!mConnection || unDeviceIndex >= vr::k_unMaxTrackedDeviceCount) return vr::TrackedDeviceClass_Invalid;
    sClientRequest request;
    request.op = eClientOp::DeviceClass;
    request.device = unDeviceIndex;
    sClientReply reply;
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (!mConnection->Call(request, reply)) return vr::TrackedDeviceClass_Invalid;
    return static_cast<vr::ETrackedDeviceClass>(reply.intValue);
}

bool cClientSystem::IsTrackedDeviceConnected(vr::TrackedDeviceIndex_t unDeviceIndex) {
    return GetTrackedDeviceClass(unDeviceIndex) != vr::TrackedDeviceClass_Invalid;
}

uint32_t cClientSystem::GetStringTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                       vr::ETrackedDeviceProperty prop, char* pchValue,
                                                       uint32_t unBufferSize, vr::ETrackedPropertyError* pError) {
    std::string bytes;
    vr::ETrackedPropertyError error = ReadProperty(mConnection, unDeviceIndex, prop, vr::k_unStringPropertyTag, bytes);
    if (error != vr::TrackedProp_Success) {
        Report(pError, error);
        return 0;
    }
    // Stored with its terminating NUL, as a driver writes it; be sure of one anyway.
    if (bytes.empty() || bytes.back() != '\0') bytes.push_back('\0');
    bytes.resize(std::strlen(bytes.c_str()) + 1);
    const auto required = static_cast<uint32_t>(bytes.size());
    if (!pchValue || unBufferSize < required) {
        Report(pError, vr::TrackedProp_BufferTooSmall);
        return required;
    }
    std::memcpy(pchValue, bytes.data(), required);
    Report(pError, vr::TrackedProp_Success);
    return required;
}

bool cClientSystem::GetBoolTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                 vr::ETrackedDeviceProperty prop, vr::ETrackedPropertyError* pError) {
    return ReadFixed<bool>(mConnection, unDeviceIndex, prop, vr::k_unBoolPropertyTag, pError);
}

float cClientSystem::GetFloatTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                   vr::ETrackedDeviceProperty prop, vr::ETrackedPropertyError* pError) {
    return ReadFixed<float>(mConnection, unDeviceIndex, prop, vr::k_unFloatPropertyTag, pError);
}

int32_t cClientSystem::GetInt32TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                     vr::ETrackedDeviceProperty prop,
                                                     vr::ETrackedPropertyError* pError) {
    return ReadFixed<int32_t>(mConnection, unDeviceIndex, prop, vr::k_unInt32PropertyTag, pError);
}

uint64_t cClientSystem::GetUint64TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                       vr::ETrackedDeviceProperty prop,
                                                       vr::ETrackedPropertyError* pError) {
    return ReadFixed<uint64_t>(mConnection, unDeviceIndex, prop, vr::k_unUint64PropertyTag, pError);
}

#if defined(__MINGW32__)
vr::HmdMatrix34_t* cClientSystem::GetMatrix34TrackedDeviceProperty(vr::HmdMatrix34_t* pRet,
                                                                   vr::TrackedDeviceIndex_t unDeviceIndex,
                                                                   vr::ETrackedDeviceProperty prop,
                                                                   vr::ETrackedPropertyError* pError) {
    *pRet = ReadFixed<vr::HmdMatrix34_t>(mConnection, unDeviceIndex, prop, vr::k_unHmdMatrix34PropertyTag, pError);
    return pRet;
}
#else
vr::HmdMatrix34_t cClientSystem::GetMatrix34TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                                  vr::ETrackedDeviceProperty prop,
                                                                  vr::ETrackedPropertyError* pError) {
    return ReadFixed<vr::HmdMatrix34_t>(mConnection, unDeviceIndex, prop, vr::k_unHmdMatrix34PropertyTag, pError);
}
#endif

uint32_t cClientSystem::GetArrayTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                      vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t propType,
                                                      void* pBuffer, uint32_t unBufferSize,
                                                      vr::ETrackedPropertyError* pError) {
    std::string bytes;
    const vr::ETrackedPropertyError error = ReadProperty(mConnection, unDeviceIndex, prop, propType, bytes);
    if (error != vr::TrackedProp_Success) {
        Report(pError, error);
        return 0;
    }
    const auto required = static_cast<uint32_t>(bytes.size());
    if (!pBuffer || unBufferSize < required) {
        Report(pError, vr::TrackedProp_BufferTooSmall);
        return required;
    }
    std::memcpy(pBuffer, bytes.data(), required);
    Report(pError, vr::TrackedProp_Success);
    return required;
}

bool cClientSystem::PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) {
    // A caller built with another layout of the record would be handed garbage.
    if (!mConnection || !pEvent || uncbVREvent != sizeof(vr::VREvent_t)) return false;
    sClientEvent event;
    {
        std::lock_guard<std::mutex> lock(LibraryMutex());
        if (!mConnection->PollEvent(event)) return false;
    }
    std::memset(pEvent, 0, sizeof(*pEvent));
    pEvent->eventType = event.type;
    pEvent->trackedDeviceIndex = event.device;
    pEvent->eventAgeSeconds = event.ageSeconds;
    if (IsButtonEvent(event.type)) pEvent->data.controller.button = event.button;
    if (event.type == vr::VREvent_Quit) {
        pEvent->data.process.pid = event.pid;
        pEvent->data.process.bForced = event.forced;
        pEvent->data.process.bConnectionLost = event.connectionLost;
    }
    return true;
}

bool cClientSystem::PollNextEventWithPose(vr::ETrackingUniverseOrigin, vr::VREvent_t* pEvent, uint32_t uncbVREvent,
                                          vr::TrackedDevicePose_t* pTrackedDevicePose) {
    if (pTrackedDevicePose) std::memset(pTrackedDevicePose, 0, sizeof(*pTrackedDevicePose));
    return PollNextEvent(pEvent, uncbVREvent);
}

void cClientSystem::AcknowledgeQuit_Exiting() {
    if (!mConnection) return;
    sClientRequest request;
    request.op = eClientOp::AcknowledgeQuit;
    sClientReply reply;
    std::lock_guard<std::mutex> lock(LibraryMutex());
    mConnection->Call(request, reply);
}

uint32_t cClientSystem::GetSortedTrackedDeviceIndicesOfClass(vr::ETrackedDeviceClass eTrackedDeviceClass,
                                                             vr::TrackedDeviceIndex_t* punTrackedDeviceIndexArray,
                                                             uint32_t unTrackedDeviceIndexArrayCount,
                                                             vr::TrackedDeviceIndex_t) {
    uint32_t count = 0;
    for (vr::TrackedDeviceIndex_t index = 0; index < vr::k_unMaxTrackedDeviceCount; ++index) {
        if (GetTrackedDeviceClass(index) != eTrackedDeviceClass) continue;
        if (punTrackedDeviceIndexArray && count < unTrackedDeviceIndexArrayCount) {
            punTrackedDeviceIndexArray[count] = index;
        }
        ++count;
    }
    return count;
}

const char* cClientSystem::GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) {
    return vrhost::link::PropertyErrorName(error);
}

const char* cClientSystem::GetEventTypeNameFromEnum(vr::EVREventType eType) {
    switch (eType) {
        case vr::VREvent_None: return "VREvent_None";
        case vr::VREvent_TrackedDeviceActivated: return "VREvent_TrackedDeviceActivated";
        case vr::VREvent_TrackedDeviceDeactivated: return "VREvent_TrackedDeviceDeactivated";
        case vr::VREvent_TrackedDeviceUpdated: return "VREvent_TrackedDeviceUpdated";
        case vr::VREvent_ButtonPress: return "VREvent_ButtonPress";
        case vr::VREvent_ButtonUnpress: return "VREvent_ButtonUnpress";
        case vr::VREvent_Quit: return "VREvent_Quit";
        default: return "Unknown event";
    }
}

const char* cClientSystem::GetRuntimeVersion() { return "1.26.7"; }

// ---------------------------------------------------------------------------------------
// A runtime without a headset display, without controller input and without poses for clients

void cClientSystem::GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) {
    if (pnWidth) *pnWidth = 0;
    if (pnHeight) *pnHeight = 0;
}

#if defined(__MINGW32__)
vr::HmdMatrix44_t* cClientSystem::GetProjectionMatrix(vr::HmdMatrix44_t* pRet, vr::EVREye, float, float) {
    *pRet = Identity44();
    return pRet;
}
vr::HmdMatrix34_t* cClientSystem::GetEyeToHeadTransform(vr::HmdMatrix34_t* pRet, vr::EVREye) {
    *pRet = Identity34();
    return pRet;
}
vr::HmdMatrix34_t* cClientSystem::GetSeatedZeroPoseToStandingAbsoluteTrackingPose(vr::HmdMatrix34_t* pRet) {
    *pRet = Identity34();
    return pRet;
}
vr::HmdMatrix34_t* cClientSystem::GetRawZeroPoseToStandingAbsoluteTrackingPose(vr::HmdMatrix34_t* pRet) {
    *pRet = Identity34();
    return pRet;
}
vr::HiddenAreaMesh_t* cClientSystem::GetHiddenAreaMesh(vr::HiddenAreaMesh_t* pRet, vr::EVREye, vr::EHiddenAreaMeshType) {
    *pRet = vr::HiddenAreaMesh_t{};
    return pRet;
}
#else
vr::HmdMatrix44_t cClientSystem::GetProjectionMatrix(vr::EVREye, float, float) { return Identity44(); }
vr::HmdMatrix34_t cClientSystem::GetEyeToHeadTransform(vr::EVREye) { return Identity34(); }
vr::HmdMatrix34_t cClientSystem::GetSeatedZeroPoseToStandingAbsoluteTrackingPose() { return Identity34(); }
vr::HmdMatrix34_t cClientSystem::GetRawZeroPoseToStandingAbsoluteTrackingPose() { return Identity34(); }
vr::HiddenAreaMesh_t cClientSystem::GetHiddenAreaMesh(vr::EVREye, vr::EHiddenAreaMeshType) {
    return vr::HiddenAreaMesh_t{};
}
#endif

void cClientSystem::GetProjectionRaw(vr::EVREye, float* pfLeft, float* pfRight, float* pfTop, float* pfBottom) {
    for (float* value : {pfLeft, pfRight, pfTop, pfBottom}) {
        if (value) *value = 0.0f;
    }
}

bool cClientSystem::ComputeDistortion(vr::EVREye, float, float, vr::DistortionCoordinates_t*) { return false; }
bool cClientSystem::GetTimeSinceLastVsync(float*, uint64_t*) { return false; }
int32_t cClientSystem::GetD3D9AdapterIndex() { return -1; }
void cClientSystem::GetDXGIOutputInfo(int32_t* pnAdapterIndex) {
    if (pnAdapterIndex) *pnAdapterIndex = -1;
}
void cClientSystem::GetOutputDevice(uint64_t* pnDevice, vr::ETextureType, VkInstance_T*) {
    if (pnDevice) *pnDevice = 0;
}
bool cClientSystem::IsDisplayOnDesktop() { return false; }
bool cClientSystem::SetDisplayVisibility(bool) { return false; }

void cClientSystem::GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin, float,
                                                    vr::TrackedDevicePose_t* pTrackedDevicePoseArray,
                                                    uint32_t unTrackedDevicePoseArrayCount) {
    if (!pTrackedDevicePoseArray) return;
    for (uint32_t i = 0; i < unTrackedDevicePoseArrayCount; ++i) {
        pTrackedDevicePoseArray[i] = vr::TrackedDevicePose_t{};
        pTrackedDevicePoseArray[i].eTrackingResult = vr::TrackingResult_Uninitialized;
    }
    if (!mConnection) return;
    // The newest pose each device sent, as it is: neither the origin nor the
    // prediction time is applied (the stand-in runtime has one standing origin).
    sClientRequest request;
    request.op = eClientOp::DevicePoses;
    sClientReply reply;
    {
        std::lock_guard<std::mutex> lock(LibraryMutex());
        if (!mConnection->Call(request, reply) || reply.refused) return;
    }
    for (const vrhost::link::sClientPose& pose : reply.poses) {
        if (pose.device >= unTrackedDevicePoseArrayCount) continue;
        vr::TrackedDevicePose_t& out = pTrackedDevicePoseArray[pose.device];
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col) out.mDeviceToAbsoluteTracking.m[row][col] = pose.matrix[row * 4 + col];
        for (int i = 0; i < 3; ++i) {
            out.vVelocity.v[i] = pose.velocity[i];
            out.vAngularVelocity.v[i] = pose.angularVelocity[i];
        }
        out.eTrackingResult = static_cast<vr::ETrackingResult>(pose.result);
        out.bPoseIsValid = pose.valid;
        out.bDeviceIsConnected = pose.connected;
    }
}

vr::EDeviceActivityLevel cClientSystem::GetTrackedDeviceActivityLevel(vr::TrackedDeviceIndex_t) {
    return vr::k_EDeviceActivityLevel_Unknown;
}

void cClientSystem::ApplyTransform(vr::TrackedDevicePose_t* pOutputPose, const vr::TrackedDevicePose_t* pTrackedDevicePose,
                                   const vr::HmdMatrix34_t* pTransform) {
    if (!pOutputPose || !pTrackedDevicePose || !pTransform) return;
    vr::TrackedDevicePose_t result = *pTrackedDevicePose;
    const vr::HmdMatrix34_t& a = pTrackedDevicePose->mDeviceToAbsoluteTracking;
    const vr::HmdMatrix34_t& b = *pTransform;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            float value = column == 3 ? a.m[row][3] : 0.0f;
            for (int k = 0; k < 3; ++k) value += a.m[row][k] * b.m[k][column];
            result.mDeviceToAbsoluteTracking.m[row][column] = value;
        }
    }
    *pOutputPose = result;
}

vr::TrackedDeviceIndex_t cClientSystem::GetTrackedDeviceIndexForControllerRole(vr::ETrackedControllerRole) {
    return vr::k_unTrackedDeviceIndexInvalid;
}
vr::ETrackedControllerRole cClientSystem::GetControllerRoleForTrackedDeviceIndex(vr::TrackedDeviceIndex_t) {
    return vr::TrackedControllerRole_Invalid;
}

bool cClientSystem::GetControllerState(vr::TrackedDeviceIndex_t, vr::VRControllerState_t*, uint32_t) { return false; }
bool cClientSystem::GetControllerStateWithPose(vr::ETrackingUniverseOrigin, vr::TrackedDeviceIndex_t,
                                               vr::VRControllerState_t*, uint32_t, vr::TrackedDevicePose_t*) {
    return false;
}
void cClientSystem::TriggerHapticPulse(vr::TrackedDeviceIndex_t, uint32_t, unsigned short) {}
const char* cClientSystem::GetButtonIdNameFromEnum(vr::EVRButtonId) { return "Unknown button"; }
const char* cClientSystem::GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType) { return "Unknown axis type"; }
bool cClientSystem::IsInputAvailable() { return mConnection != nullptr; }
bool cClientSystem::IsSteamVRDrawingControllers() { return false; }
bool cClientSystem::ShouldApplicationPause() { return false; }
bool cClientSystem::ShouldApplicationReduceRenderingWork() { return false; }
vr::EVRFirmwareError cClientSystem::PerformFirmwareUpdate(vr::TrackedDeviceIndex_t) { return vr::VRFirmwareError_Fail; }

uint32_t cClientSystem::GetAppContainerFilePaths(char* pchBuffer, uint32_t unBufferSize) {
    if (pchBuffer && unBufferSize > 0) pchBuffer[0] = '\0';
    return 1;
}

}  // namespace openvr_api
