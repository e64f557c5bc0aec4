// IVRSystem_022 of the client library. Connected to vrhost, the device queries and
// events come from the runtime; working on the settings file alone (a utility with
// no runtime running) there are no devices and no events. The display, pose and
// controller functions a settings program has no use for answer as a runtime without
// a headset display does: zeros, false and identity matrices.
#pragma once

#include "openvr_api/client_connection.h"

#include <openvr.h>

namespace openvr_api {

class cClientSystem final : public vr::IVRSystem {
public:
    // Null: no runtime, no devices.
    explicit cClientSystem(cClientConnection* connection) : mConnection(connection) {}

    void GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) override;
#if defined(__MINGW32__)
    vr::HmdMatrix44_t* GetProjectionMatrix(vr::HmdMatrix44_t* pRet, vr::EVREye eEye, float fNearZ,
                                           float fFarZ) override;
#else
    vr::HmdMatrix44_t GetProjectionMatrix(vr::EVREye eEye, float fNearZ, float fFarZ) override;
#endif
    void GetProjectionRaw(vr::EVREye eEye, float* pfLeft, float* pfRight, float* pfTop, float* pfBottom) override;
    bool ComputeDistortion(vr::EVREye eEye, float fU, float fV,
                           vr::DistortionCoordinates_t* pDistortionCoordinates) override;
#if defined(__MINGW32__)
    vr::HmdMatrix34_t* GetEyeToHeadTransform(vr::HmdMatrix34_t* pRet, vr::EVREye eEye) override;
#else
    vr::HmdMatrix34_t GetEyeToHeadTransform(vr::EVREye eEye) override;
#endif
    bool GetTimeSinceLastVsync(float* pfSecondsSinceLastVsync, uint64_t* pulFrameCounter) override;
    int32_t GetD3D9AdapterIndex() override;
    void GetDXGIOutputInfo(int32_t* pnAdapterIndex) override;
    void GetOutputDevice(uint64_t* pnDevice, vr::ETextureType textureType, VkInstance_T* pInstance) override;
    bool IsDisplayOnDesktop() override;
    bool SetDisplayVisibility(bool bIsVisibleOnDesktop) override;
    void GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin eOrigin, float fPredictedSecondsToPhotonsFromNow,
                                         vr::TrackedDevicePose_t* pTrackedDevicePoseArray,
                                         uint32_t unTrackedDevicePoseArrayCount) override;
#if defined(__MINGW32__)
    vr::HmdMatrix34_t* GetSeatedZeroPoseToStandingAbsoluteTrackingPose(vr::HmdMatrix34_t* pRet) override;
    vr::HmdMatrix34_t* GetRawZeroPoseToStandingAbsoluteTrackingPose(vr::HmdMatrix34_t* pRet) override;
#else
    vr::HmdMatrix34_t GetSeatedZeroPoseToStandingAbsoluteTrackingPose() override;
    vr::HmdMatrix34_t GetRawZeroPoseToStandingAbsoluteTrackingPose() override;
#endif
    uint32_t GetSortedTrackedDeviceIndicesOfClass(vr::ETrackedDeviceClass eTrackedDeviceClass,
                                                  vr::TrackedDeviceIndex_t* punTrackedDeviceIndexArray,
                                                  uint32_t unTrackedDeviceIndexArrayCount,
                                                  vr::TrackedDeviceIndex_t unRelativeToTrackedDeviceIndex) override;
    vr::EDeviceActivityLevel GetTrackedDeviceActivityLevel(vr::TrackedDeviceIndex_t unDeviceId) override;
    void ApplyTransform(vr::TrackedDevicePose_t* pOutputPose, const vr::TrackedDevicePose_t* pTrackedDevicePose,
                        const vr::HmdMatrix34_t* pTransform) override;
    vr::TrackedDeviceIndex_t GetTrackedDeviceIndexForControllerRole(vr::ETrackedControllerRole unDeviceType) override;
    vr::ETrackedControllerRole GetControllerRoleForTrackedDeviceIndex(vr::TrackedDeviceIndex_t unDeviceIndex) override;
    vr::ETrackedDeviceClass GetTrackedDeviceClass(vr::TrackedDeviceIndex_t unDeviceIndex) override;
    bool IsTrackedDeviceConnected(vr::TrackedDeviceIndex_t unDeviceIndex) override;
    bool GetBoolTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex, vr::ETrackedDeviceProperty prop,
                                      vr::ETrackedPropertyError* pError) override;
    float GetFloatTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex, vr::ETrackedDeviceProperty prop,
                                        vr::ETrackedPropertyError* pError) override;
    int32_t GetInt32TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex, vr::ETrackedDeviceProperty prop,
                                          vr::ETrackedPropertyError* pError) override;
    uint64_t GetUint64TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex, vr::ETrackedDeviceProperty prop,
                                            vr::ETrackedPropertyError* pError) override;
#if defined(__MINGW32__)
    vr::HmdMatrix34_t* GetMatrix34TrackedDeviceProperty(vr::HmdMatrix34_t* pRet, vr::TrackedDeviceIndex_t unDeviceIndex,
                                                        vr::ETrackedDeviceProperty prop,
                                                        vr::ETrackedPropertyError* pError) override;
#else
    vr::HmdMatrix34_t GetMatrix34TrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex,
                                                       vr::ETrackedDeviceProperty prop,
                                                       vr::ETrackedPropertyError* pError) override;
#endif
    uint32_t GetArrayTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex, vr::ETrackedDeviceProperty prop,
                                           vr::PropertyTypeTag_t propType, void* pBuffer, uint32_t unBufferSize,
                                           vr::ETrackedPropertyError* pError) override;
    uint32_t GetStringTrackedDeviceProperty(vr::TrackedDeviceIndex_t unDeviceIndex, vr::ETrackedDeviceProperty prop,
                                            char* pchValue, uint32_t unBufferSize,
                                            vr::ETrackedPropertyError* pError) override;
    const char* GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) override;
    bool PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) override;
    bool PollNextEventWithPose(vr::ETrackingUniverseOrigin eOrigin, vr::VREvent_t* pEvent, uint32_t uncbVREvent,
                               vr::TrackedDevicePose_t* pTrackedDevicePose) override;
    const char* GetEventTypeNameFromEnum(vr::EVREventType eType) override;
#if defined(__MINGW32__)
    vr::HiddenAreaMesh_t* GetHiddenAreaMesh(vr::HiddenAreaMesh_t* pRet, vr::EVREye eEye,
                                            vr::EHiddenAreaMeshType type) override;
#else
    vr::HiddenAreaMesh_t GetHiddenAreaMesh(vr::EVREye eEye, vr::EHiddenAreaMeshType type) override;
#endif
    bool GetControllerState(vr::TrackedDeviceIndex_t unControllerDeviceIndex, vr::VRControllerState_t* pControllerState,
                            uint32_t unControllerStateSize) override;
    bool GetControllerStateWithPose(vr::ETrackingUniverseOrigin eOrigin, vr::TrackedDeviceIndex_t unControllerDeviceIndex,
                                    vr::VRControllerState_t* pControllerState, uint32_t unControllerStateSize,
                                    vr::TrackedDevicePose_t* pTrackedDevicePose) override;
    void TriggerHapticPulse(vr::TrackedDeviceIndex_t unControllerDeviceIndex, uint32_t unAxisId,
                            unsigned short usDurationMicroSec) override;
    const char* GetButtonIdNameFromEnum(vr::EVRButtonId eButtonId) override;
    const char* GetControllerAxisTypeNameFromEnum(vr::EVRControllerAxisType eAxisType) override;
    bool IsInputAvailable() override;
    bool IsSteamVRDrawingControllers() override;
    bool ShouldApplicationPause() override;
    bool ShouldApplicationReduceRenderingWork() override;
    vr::EVRFirmwareError PerformFirmwareUpdate(vr::TrackedDeviceIndex_t unDeviceIndex) override;
    void AcknowledgeQuit_Exiting() override;
    uint32_t GetAppContainerFilePaths(char* pchBuffer, uint32_t unBufferSize) override;
    const char* GetRuntimeVersion() override;

private:
    cClientConnection* mConnection;
};

}  // namespace openvr_api
