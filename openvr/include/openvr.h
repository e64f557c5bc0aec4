// openvr.h — the project's own declarations of the OpenVR client API subset that the
// settings utility uses, compatible with SDK release 1.26.7: the functions the client
// library openvr_api exports, the inline VR_Init/VR_Shutdown layer with its interface
// cache, IVRSystem_022 (every slot, in vtable order) and IVRSettings_003. The official
// header can be swapped in with the CMake cache variable HALVEX_OPENVR_INCLUDE_DIR.
//
// Records returned by value (IVRSystem slots 1, 4, 12, 13, 25, 32): MinGW passes `this`
// and the hidden result pointer in the opposite registers from MSVC, and the real
// runtime is built with MSVC. Under MinGW those slots are therefore declared with the
// result pointer as an explicit first parameter, which has exactly MSVC's register use.
// The utility calls none of them.

#ifndef HALVEX_OPENVR_H
#define HALVEX_OPENVR_H

#include "openvr_common.h"

#include <cstddef>
#include <cstdint>

// What the client library exports: plain C names. A library that defines VR_API_EXPORT
// while including this header is the one exporting them.
#if defined(_WIN32)
#if defined(VR_API_EXPORT)
#define VR_INTERFACE extern "C" __declspec(dllexport)
#elif defined(OPENVR_BUILD_STATIC)
#define VR_INTERFACE extern "C"
#else
#define VR_INTERFACE extern "C" __declspec(dllimport)
#endif
#else
#if defined(VR_API_EXPORT)
#define VR_INTERFACE extern "C" __attribute__((visibility("default")))
#else
#define VR_INTERFACE extern "C"
#endif
#endif

struct VkInstance_T;

namespace vr
{

// ---------------------------------------------------------------------------------------
// IVRSystem. Slot order is the ABI: do not reorder, insert or overload.

class IVRSystem
{
public:
    virtual void GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) = 0;
#if defined(__MINGW32__)
    virtual HmdMatrix44_t* GetProjectionMatrix(HmdMatrix44_t* pRet, EVREye eEye, float fNearZ, float fFarZ) = 0;
#else
    virtual HmdMatrix44_t GetProjectionMatrix(EVREye eEye, float fNearZ, float fFarZ) = 0;
#endif
    virtual void GetProjectionRaw(EVREye eEye, float* pfLeft, float* pfRight, float* pfTop, float* pfBottom) = 0;
    virtual bool ComputeDistortion(EVREye eEye, float fU, float fV,
                                   DistortionCoordinates_t* pDistortionCoordinates) = 0;
#if defined(__MINGW32__)
    virtual HmdMatrix34_t* GetEyeToHeadTransform(HmdMatrix34_t* pRet, EVREye eEye) = 0;
#else
    virtual HmdMatrix34_t GetEyeToHeadTransform(EVREye eEye) = 0;
#endif
    virtual bool GetTimeSinceLastVsync(float* pfSecondsSinceLastVsync, uint64_t* pulFrameCounter) = 0;
    virtual int32_t GetD3D9AdapterIndex() = 0;
    virtual void GetDXGIOutputInfo(int32_t* pnAdapterIndex) = 0;
    virtual void GetOutputDevice(uint64_t* pnDevice, ETextureType textureType,
                                 VkInstance_T* pInstance = nullptr) = 0;
    virtual bool IsDisplayOnDesktop() = 0;
    virtual bool SetDisplayVisibility(bool bIsVisibleOnDesktop) = 0;
    virtual void GetDeviceToAbsoluteTrackingPose(ETrackingUniverseOrigin eOrigin,
                                                 float fPredictedSecondsToPhotonsFromNow,
                                                 TrackedDevicePose_t* pTrackedDevicePoseArray,
                                                 uint32_t unTrackedDevicePoseArrayCount) = 0;
#if defined(__MINGW32__)
    virtual HmdMatrix34_t* GetSeatedZeroPoseToStandingAbsoluteTrackingPose(HmdMatrix34_t* pRet) = 0;
    virtual HmdMatrix34_t* GetRawZeroPoseToStandingAbsoluteTrackingPose(HmdMatrix34_t* pRet) = 0;
#else
    virtual HmdMatrix34_t GetSeatedZeroPoseToStandingAbsoluteTrackingPose() = 0;
    virtual HmdMatrix34_t GetRawZeroPoseToStandingAbsoluteTrackingPose() = 0;
#endif
    virtual uint32_t GetSortedTrackedDeviceIndicesOfClass(
        ETrackedDeviceClass eTrackedDeviceClass, TrackedDeviceIndex_t* punTrackedDeviceIndexArray,
        uint32_t unTrackedDeviceIndexArrayCount,
        TrackedDeviceIndex_t unRelativeToTrackedDeviceIndex = k_unTrackedDeviceIndex_Hmd) = 0;
    virtual EDeviceActivityLevel GetTrackedDeviceActivityLevel(TrackedDeviceIndex_t unDeviceId) = 0;
    virtual void ApplyTransform(TrackedDevicePose_t* pOutputPose, const TrackedDevicePose_t* pTrackedDevicePose,
                                const HmdMatrix34_t* pTransform) = 0;
    virtual TrackedDeviceIndex_t GetTrackedDeviceIndexForControllerRole(ETrackedControllerRole unDeviceType) = 0;
    virtual ETrackedControllerRole GetControllerRoleForTrackedDeviceIndex(TrackedDeviceIndex_t unDeviceIndex) = 0;
    // TrackedDeviceClass_Invalid for an index that never held a device.
    virtual ETrackedDeviceClass GetTrackedDeviceClass(TrackedDeviceIndex_t unDeviceIndex) = 0;
    virtual bool IsTrackedDeviceConnected(TrackedDeviceIndex_t unDeviceIndex) = 0;
    virtual bool GetBoolTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex, ETrackedDeviceProperty prop,
                                              ETrackedPropertyError* pError = nullptr) = 0;
    virtual float GetFloatTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex, ETrackedDeviceProperty prop,
                                                ETrackedPropertyError* pError = nullptr) = 0;
    virtual int32_t GetInt32TrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex, ETrackedDeviceProperty prop,
                                                  ETrackedPropertyError* pError = nullptr) = 0;
    virtual uint64_t GetUint64TrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex, ETrackedDeviceProperty prop,
                                                    ETrackedPropertyError* pError = nullptr) = 0;
#if defined(__MINGW32__)
    virtual HmdMatrix34_t* GetMatrix34TrackedDeviceProperty(HmdMatrix34_t* pRet, TrackedDeviceIndex_t unDeviceIndex,
                                                            ETrackedDeviceProperty prop,
                                                            ETrackedPropertyError* pError = nullptr) = 0;
#else
    virtual HmdMatrix34_t GetMatrix34TrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex,
                                                           ETrackedDeviceProperty prop,
                                                           ETrackedPropertyError* pError = nullptr) = 0;
#endif
    virtual uint32_t GetArrayTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex, ETrackedDeviceProperty prop,
                                                   PropertyTypeTag_t propType, void* pBuffer, uint32_t unBufferSize,
                                                   ETrackedPropertyError* pError = nullptr) = 0;
    // Returns the size needed including the NUL; 0 when the index or the property is not a string.
    virtual uint32_t GetStringTrackedDeviceProperty(TrackedDeviceIndex_t unDeviceIndex, ETrackedDeviceProperty prop,
                                                    char* pchValue, uint32_t unBufferSize,
                                                    ETrackedPropertyError* pError = nullptr) = 0;
    virtual const char* GetPropErrorNameFromEnum(ETrackedPropertyError error) = 0;
    // uncbVREvent: sizeof(VREvent_t) of the caller's platform (60 Linux, 64 Windows).
    virtual bool PollNextEvent(VREvent_t* pEvent, uint32_t uncbVREvent) = 0;
    virtual bool PollNextEventWithPose(ETrackingUniverseOrigin eOrigin, VREvent_t* pEvent, uint32_t uncbVREvent,
                                       TrackedDevicePose_t* pTrackedDevicePose) = 0;
    virtual const char* GetEventTypeNameFromEnum(EVREventType eType) = 0;
#if defined(__MINGW32__)
    virtual HiddenAreaMesh_t* GetHiddenAreaMesh(HiddenAreaMesh_t* pRet, EVREye eEye,
                                                EHiddenAreaMeshType type = k_eHiddenAreaMesh_Standard) = 0;
#else
    virtual HiddenAreaMesh_t GetHiddenAreaMesh(EVREye eEye, EHiddenAreaMeshType type = k_eHiddenAreaMesh_Standard) = 0;
#endif
    virtual bool GetControllerState(TrackedDeviceIndex_t unControllerDeviceIndex, VRControllerState_t* pControllerState,
                                    uint32_t unControllerStateSize) = 0;
    virtual bool GetControllerStateWithPose(ETrackingUniverseOrigin eOrigin, TrackedDeviceIndex_t unControllerDeviceIndex,
                                            VRControllerState_t* pControllerState, uint32_t unControllerStateSize,
                                            TrackedDevicePose_t* pTrackedDevicePose) = 0;
    virtual void TriggerHapticPulse(TrackedDeviceIndex_t unControllerDeviceIndex, uint32_t unAxisId,
                                    unsigned short usDurationMicroSec) = 0;
    virtual const char* GetButtonIdNameFromEnum(EVRButtonId eButtonId) = 0;
    virtual const char* GetControllerAxisTypeNameFromEnum(EVRControllerAxisType eAxisType) = 0;
    virtual bool IsInputAvailable() = 0;
    virtual bool IsSteamVRDrawingControllers() = 0;
    virtual bool ShouldApplicationPause() = 0;
    virtual bool ShouldApplicationReduceRenderingWork() = 0;
    virtual EVRFirmwareError PerformFirmwareUpdate(TrackedDeviceIndex_t unDeviceIndex) = 0;
    virtual void AcknowledgeQuit_Exiting() = 0;
    virtual uint32_t GetAppContainerFilePaths(char* pchBuffer, uint32_t unBufferSize) = 0;
    virtual const char* GetRuntimeVersion() = 0;
};

static const char* const IVRSystem_Version = "IVRSystem_022";

// ---------------------------------------------------------------------------------------
// IVRDebug: requests to a device's driver

enum EVRDebugError
{
    VRDebugError_Success = 0,
    VRDebugError_BadParameter = 1,
};

typedef uint64_t VrProfilerEventHandle_t;

class IVRDebug
{
public:
    virtual EVRDebugError EmitVrProfilerEvent(const char* pchMessage) = 0;
    virtual EVRDebugError BeginVrProfilerEvent(VrProfilerEventHandle_t* pHandleOut) = 0;
    virtual EVRDebugError FinishVrProfilerEvent(VrProfilerEventHandle_t hHandle, const char* pchMessage) = 0;
    // Hands the request to the device's driver (its DebugRequest). The response is at most
    // 32k; a longer one is cut to the buffer. Returns the response's size with its NUL.
    virtual uint32_t DriverDebugRequest(TrackedDeviceIndex_t unDeviceIndex, const char* pchRequest,
                                        char* pchResponseBuffer, uint32_t unResponseBufferSize) = 0;
};

static const char* const IVRDebug_Version = "IVRDebug_001";

// ---------------------------------------------------------------------------------------
// Functions of the client library

VR_INTERFACE uint32_t VR_CALLTYPE VR_InitInternal2(EVRInitError* peError, EVRApplicationType eApplicationType,
                                                   const char* pStartupInfo);
VR_INTERFACE void VR_CALLTYPE VR_ShutdownInternal();
VR_INTERFACE bool VR_CALLTYPE VR_IsHmdPresent();
VR_INTERFACE void* VR_CALLTYPE VR_GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError);
VR_INTERFACE bool VR_CALLTYPE VR_IsInterfaceVersionValid(const char* pchInterfaceVersion);
VR_INTERFACE uint32_t VR_CALLTYPE VR_GetInitToken();
VR_INTERFACE bool VR_CALLTYPE VR_IsRuntimeInstalled();
VR_INTERFACE bool VR_GetRuntimePath(char* pchPathBuffer, uint32_t unBufferSize, uint32_t* punRequiredBufferSize);
VR_INTERFACE const char* VR_CALLTYPE VR_GetVRInitErrorAsSymbol(EVRInitError error);
VR_INTERFACE const char* VR_CALLTYPE VR_GetVRInitErrorAsEnglishDescription(EVRInitError error);

// ---------------------------------------------------------------------------------------
// Inline client layer: every module keeps its own interface cache, refreshed whenever the
// library's init token changes (a shutdown and a new init invalidate every pointer).

inline uint32_t& VRToken()
{
    static uint32_t token;
    return token;
}

class COpenVRContext
{
public:
    COpenVRContext() { Clear(); }

    IVRSystem* VRSystem()
    {
        CheckClear();
        if (m_pVRSystem == nullptr)
        {
            EVRInitError eError;
            m_pVRSystem = static_cast<IVRSystem*>(VR_GetGenericInterface(IVRSystem_Version, &eError));
        }
        return m_pVRSystem;
    }

    IVRSettings* VRSettings()
    {
        CheckClear();
        if (m_pVRSettings == nullptr)
        {
            EVRInitError eError;
            m_pVRSettings = static_cast<IVRSettings*>(VR_GetGenericInterface(IVRSettings_Version, &eError));
        }
        return m_pVRSettings;
    }

    IVRDebug* VRDebug()
    {
        CheckClear();
        if (m_pVRDebug == nullptr)
        {
            EVRInitError eError;
            m_pVRDebug = static_cast<IVRDebug*>(VR_GetGenericInterface(IVRDebug_Version, &eError));
        }
        return m_pVRDebug;
    }

    void CheckClear()
    {
        if (VRToken() != VR_GetInitToken())
        {
            Clear();
            VRToken() = VR_GetInitToken();
        }
    }

    void Clear()
    {
        m_pVRSystem = nullptr;
        m_pVRSettings = nullptr;
        m_pVRDebug = nullptr;
    }

private:
    IVRSystem* m_pVRSystem;
    IVRSettings* m_pVRSettings;
    IVRDebug* m_pVRDebug;
};

inline COpenVRContext& OpenVRInternal_ModuleContext()
{
    static COpenVRContext context;
    return context;
}

inline IVRSystem* VR_CALLTYPE VRSystem() { return OpenVRInternal_ModuleContext().VRSystem(); }
inline IVRSettings* VR_CALLTYPE VRSettings() { return OpenVRInternal_ModuleContext().VRSettings(); }
inline IVRDebug* VR_CALLTYPE VRDebug() { return OpenVRInternal_ModuleContext().VRDebug(); }

// Connects to the runtime as an application of the given type. Returns the IVRSystem
// interface, or null with the reason in *peError.
inline IVRSystem* VR_Init(EVRInitError* peError, EVRApplicationType eApplicationType,
                          const char* pStartupInfo = nullptr)
{
    IVRSystem* pVRSystem = nullptr;
    EVRInitError eError;
    VRToken() = VR_InitInternal2(&eError, eApplicationType, pStartupInfo);
    OpenVRInternal_ModuleContext().Clear();
    if (eError == VRInitError_None)
    {
        if (VR_IsInterfaceVersionValid(IVRSystem_Version))
        {
            pVRSystem = VRSystem();
        }
        else
        {
            VR_ShutdownInternal();
            eError = VRInitError_Init_InterfaceNotFound;
        }
    }
    if (peError)
        *peError = eError;
    return pVRSystem;
}

// Every interface pointer obtained before becomes invalid.
inline void VR_Shutdown() { VR_ShutdownInternal(); }

} // namespace vr

// An interface object is one vtable pointer; the shared records are checked in openvr_common.h.
HALVEX_OPENVR_RECORD(IVRSystem, 8, 8);

#endif // HALVEX_OPENVR_H
