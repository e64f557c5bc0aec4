// openvr_driver.h — the project's own declarations of the OpenVR driver API subset,
// compatible with SDK release 1.26.7: same names, enumerator values, record layouts,
// vtable order and interface version strings. The official header can be swapped in
// with the CMake cache variable HALVEX_OPENVR_INCLUDE_DIR.
//
// CALLING GetPose (and ComputeDistortion) — the one place this header differs from the SDK
//
//   Device code is written the same way on every platform:
//       vr::DriverPose_t GetPose() override;
//   Code that CALLS a device's pose (the stand-in runtime, tests) must write
//       vr::DriverPose_t pose = vr::GetDriverPose(pDevice);
//   and never pDevice->GetPose().
//
//   Why: on Windows x64, MinGW passes `this` and the hidden result pointer of a member
//   function that returns a record in the opposite registers from MSVC, and the real
//   runtime is built with MSVC. Under MinGW (__MINGW32__), vtable slot 5 of
//   ITrackedDeviceServerDriver is therefore GetPoseInto(DriverPose_t* pRet), which has
//   exactly the MSVC register use of the by-value GetPose(). It is implemented here once
//   and calls the device's by-value GetPose(); devices do not override it. The by-value
//   GetPose() is appended after the official slots (a runtime never calls it) and is
//   protected there, so a direct pDevice->GetPose() fails to compile in the MinGW build
//   instead of calling the wrong slot. GetDriverPose() always goes through slot 5, so a
//   MinGW caller also works with a device built by MSVC. MSVC, clang-cl and Linux builds
//   declare the SDK's plain by-value slot 5. IVRDisplayComponent::ComputeDistortion gets
//   the same treatment (slot 6; call it through vr::ComputeDisplayDistortion).
//
// Never add virtual destructors or overloaded virtual functions to these interfaces: the
// two C++ ABIs lay those out differently. Never delete an object through an interface.
//
// Other project additions that the SDK header does not have: HMD_DRIVER_FACTORY_EXPORT and
// vr::HmdDriverFactoryFn (entry point), HALVEX_OPENVR_OWN_DECLARATIONS.

#ifndef HALVEX_OPENVR_DRIVER_H
#define HALVEX_OPENVR_DRIVER_H

#include "openvr_common.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The exported entry point of a driver library:
//   HMD_DRIVER_FACTORY_EXPORT void* HmdDriverFactory(const char* pInterfaceName, int* pReturnCode);
#if defined(_WIN32)
#define HMD_DRIVER_FACTORY_EXPORT extern "C" __declspec(dllexport)
#else
#define HMD_DRIVER_FACTORY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace vr
{

// What the runtime resolves from a driver library by the name "HmdDriverFactory".
typedef void* (*HmdDriverFactoryFn)(const char* pInterfaceName, int* pReturnCode);

// ---------------------------------------------------------------------------------------
// Driver-only types (the shared ones are in openvr_common.h)

typedef uint64_t VRInputComponentHandle_t;

static const PropertyContainerHandle_t k_ulDisplayRedirectContainer = 0x600000003ull;
static const VRInputComponentHandle_t k_ulInvalidInputComponentHandle = 0;

enum EPropertyWriteType
{
    PropertyWrite_Set      = 0,
    PropertyWrite_Erase    = 1,
    PropertyWrite_SetError = 2,
};

enum EVRScalarType
{
    VRScalarType_Absolute = 0,
    VRScalarType_Relative = 1,
};

enum EVRScalarUnits
{
    VRScalarUnits_NormalizedOneSided = 0,
    VRScalarUnits_NormalizedTwoSided = 1,
};

// Natural layout, no padding: the four bools share the last 8 bytes with result.
struct DriverPose_t
{
    double poseTimeOffset;
    HmdQuaternion_t qWorldFromDriverRotation;
    double vecWorldFromDriverTranslation[3];
    HmdQuaternion_t qDriverFromHeadRotation;
    double vecDriverFromHeadTranslation[3];
    double vecPosition[3];
    double vecVelocity[3];
    double vecAcceleration[3];
    HmdQuaternion_t qRotation;
    double vecAngularVelocity[3];
    double vecAngularAcceleration[3];
    ETrackingResult result;
    bool poseIsValid;
    bool willDriftInYaw;
    bool shouldApplyHeadModel;
    bool deviceIsConnected;
};

struct DriverPoseQuaternion_t
{
    double w, x, y, z;
};

struct PropertyWrite_t
{
    ETrackedDeviceProperty prop;
    EPropertyWriteType writeType;
    ETrackedPropertyError eSetError;
    void* pvBuffer;
    uint32_t unBufferSize;
    PropertyTypeTag_t unTag;
    ETrackedPropertyError eError;
};

struct PropertyRead_t
{
    ETrackedDeviceProperty prop;
    void* pvBuffer;
    uint32_t unBufferSize;
    PropertyTypeTag_t unTag;
    uint32_t unRequiredBufferSize;
    ETrackedPropertyError eError;
};

// Only passed by pointer here.
struct Compositor_FrameTiming;
struct PresentInfo_t;

// ---------------------------------------------------------------------------------------
// Interfaces. Slot order is the ABI: do not reorder, insert or overload.

class IVRDriverContext;

// Implemented by the driver, one object per tracked device.
class ITrackedDeviceServerDriver
{
public:
    virtual EVRInitError Activate(uint32_t unObjectId) = 0;
    virtual void Deactivate() = 0;
    virtual void EnterStandby() = 0;
    virtual void* GetComponent(const char* pchComponentNameAndVersion) = 0;
    virtual void DebugRequest(const char* pchRequest, char* pchResponseBuffer,
                              uint32_t unResponseBufferSize) = 0;
#if defined(__MINGW32__)
    // Slot 5 with MSVC's register use; see the top of this header. Not final on purpose:
    // final would let the compiler skip slot 5 and call the appended slot, which a
    // device built by MSVC does not have. Do not override.
    virtual DriverPose_t* GetPoseInto(DriverPose_t* pRet)
    {
        *pRet = GetPose();
        return pRet;
    }

protected:
    // Appended after the official slots; reached only through GetPoseInto.
    virtual DriverPose_t GetPose() = 0;
#else
    virtual DriverPose_t GetPose() = 0;
#endif
};

static const char* const ITrackedDeviceServerDriver_Version = "ITrackedDeviceServerDriver_005";

// Implemented by the driver; the object HmdDriverFactory hands out.
class IServerTrackedDeviceProvider
{
public:
    virtual EVRInitError Init(IVRDriverContext* pDriverContext) = 0;
    virtual void Cleanup() = 0;
    virtual const char* const* GetInterfaceVersions() = 0;
    virtual void RunFrame() = 0;
    virtual bool ShouldBlockStandbyMode() = 0;
    virtual void EnterStandby() = 0;
    virtual void LeaveStandby() = 0;
};

static const char* const IServerTrackedDeviceProvider_Version = "IServerTrackedDeviceProvider_004";

// Implemented by the runtime; the argument of Init. No version string.
class IVRDriverContext
{
public:
    virtual void* GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError = nullptr) = 0;
    virtual DriverHandle_t GetDriverHandle() = 0;
};

class IVRServerDriverHost
{
public:
    virtual bool TrackedDeviceAdded(const char* pchDeviceSerialNumber, ETrackedDeviceClass eDeviceClass,
                                    ITrackedDeviceServerDriver* pDriver) = 0;
    // unPoseStructSize = sizeof(DriverPose_t)
    virtual void TrackedDevicePoseUpdated(uint32_t unWhichDevice, const DriverPose_t& newPose,
                                          uint32_t unPoseStructSize) = 0;
    virtual void VsyncEvent(double vsyncTimeOffsetSeconds) = 0;
    virtual void VendorSpecificEvent(uint32_t unWhichDevice, EVREventType eventType,
                                     const VREvent_Data_t& eventData, double eventTimeOffset) = 0;
    virtual bool IsExiting() = 0;
    // uncbVREvent = sizeof(VREvent_t) of the platform
    virtual bool PollNextEvent(VREvent_t* pEvent, uint32_t uncbVREvent) = 0;
    virtual void GetRawTrackedDevicePoses(float fPredictedSecondsFromNow, TrackedDevicePose_t* pTrackedDevicePoseArray,
                                          uint32_t unTrackedDevicePoseArrayCount) = 0;
    virtual void RequestRestart(const char* pchLocalizedReason, const char* pchExecutableToStart,
                                const char* pchArguments, const char* pchWorkingDirectory) = 0;
    virtual uint32_t GetFrameTimings(Compositor_FrameTiming* pTiming, uint32_t nFrames) = 0;
    virtual void SetDisplayEyeToHead(uint32_t unWhichDevice, const HmdMatrix34_t& eyeToHeadLeft,
                                     const HmdMatrix34_t& eyeToHeadRight) = 0;
    virtual void SetDisplayProjectionRaw(uint32_t unWhichDevice, const HmdRect2_t& eyeLeft,
                                         const HmdRect2_t& eyeRight) = 0;
    virtual void SetRecommendedRenderTargetSize(uint32_t unWhichDevice, uint32_t nWidth, uint32_t nHeight) = 0;
};

static const char* const IVRServerDriverHost_Version = "IVRServerDriverHost_006";

class IVRProperties
{
public:
    virtual ETrackedPropertyError ReadPropertyBatch(PropertyContainerHandle_t ulContainerHandle, PropertyRead_t* pBatch,
                                                    uint32_t unBatchEntryCount) = 0;
    virtual ETrackedPropertyError WritePropertyBatch(PropertyContainerHandle_t ulContainerHandle,
                                                     PropertyWrite_t* pBatch, uint32_t unBatchEntryCount) = 0;
    virtual const char* GetPropErrorNameFromEnum(ETrackedPropertyError error) = 0;
    virtual PropertyContainerHandle_t TrackedDeviceToPropertyContainer(TrackedDeviceIndex_t nDevice) = 0;
};

static const char* const IVRProperties_Version = "IVRProperties_001";

class IVRDriverLog
{
public:
    // Plain text, not a format string.
    virtual void Log(const char* pchLogMessage) = 0;
};

static const char* const IVRDriverLog_Version = "IVRDriverLog_001";

class IVRWatchdogProvider
{
public:
    virtual EVRInitError Init(IVRDriverContext* pDriverContext) = 0;
    virtual void Cleanup() = 0;
};

static const char* const IVRWatchdogProvider_Version = "IVRWatchdogProvider_001";

class IVRWatchdogHost
{
public:
    virtual void WatchdogWakeUp(ETrackedDeviceClass eDeviceClass) = 0;
};

static const char* const IVRWatchdogHost_Version = "IVRWatchdogHost_002";

class IVRCompositorPluginProvider
{
public:
    virtual EVRInitError Init(IVRDriverContext* pDriverContext) = 0;
    virtual void Cleanup() = 0;
    virtual const char* const* GetInterfaceVersions() = 0;
    virtual void* GetComponent(const char* pchComponentNameAndVersion) = 0;
};

static const char* const IVRCompositorPluginProvider_Version = "IVRCompositorPluginProvider_001";

class IVRDisplayComponent
{
public:
    virtual void GetWindowBounds(int32_t* pnX, int32_t* pnY, uint32_t* pnWidth, uint32_t* pnHeight) = 0;
    virtual bool IsDisplayOnDesktop() = 0;
    virtual bool IsDisplayRealDisplay() = 0;
    virtual void GetRecommendedRenderTargetSize(uint32_t* pnWidth, uint32_t* pnHeight) = 0;
    virtual void GetEyeOutputViewport(EVREye eEye, uint32_t* pnX, uint32_t* pnY, uint32_t* pnWidth,
                                      uint32_t* pnHeight) = 0;
    virtual void GetProjectionRaw(EVREye eEye, float* pfLeft, float* pfRight, float* pfTop, float* pfBottom) = 0;
#if defined(__MINGW32__)
    // Slot 6 with MSVC's register use, as for ITrackedDeviceServerDriver::GetPose.
    virtual DistortionCoordinates_t* ComputeDistortionInto(DistortionCoordinates_t* pRet, EVREye eEye, float fU,
                                                           float fV)
    {
        *pRet = ComputeDistortion(eEye, fU, fV);
        return pRet;
    }

protected:
    virtual DistortionCoordinates_t ComputeDistortion(EVREye eEye, float fU, float fV) = 0;
#else
    virtual DistortionCoordinates_t ComputeDistortion(EVREye eEye, float fU, float fV) = 0;
#endif
};

static const char* const IVRDisplayComponent_Version = "IVRDisplayComponent_002";

class IVRVirtualDisplay
{
public:
    virtual void Present(const PresentInfo_t* pPresentInfo, uint32_t unPresentInfoSize) = 0;
    virtual void WaitForPresent() = 0;
    virtual bool GetTimeSinceLastVsync(float* pfSecondsSinceLastVsync, uint64_t* pulFrameCounter) = 0;
};

static const char* const IVRVirtualDisplay_Version = "IVRVirtualDisplay_002";

class IVRDriverInput
{
public:
    virtual EVRInputError CreateBooleanComponent(PropertyContainerHandle_t ulContainer, const char* pchName,
                                                 VRInputComponentHandle_t* pHandle) = 0;
    virtual EVRInputError UpdateBooleanComponent(VRInputComponentHandle_t ulComponent, bool bNewValue,
                                                 double fTimeOffset) = 0;
    virtual EVRInputError CreateScalarComponent(PropertyContainerHandle_t ulContainer, const char* pchName,
                                                VRInputComponentHandle_t* pHandle, EVRScalarType eType,
                                                EVRScalarUnits eUnits) = 0;
    virtual EVRInputError UpdateScalarComponent(VRInputComponentHandle_t ulComponent, float fNewValue,
                                                double fTimeOffset) = 0;
    virtual EVRInputError CreateHapticComponent(PropertyContainerHandle_t ulContainer, const char* pchName,
                                                VRInputComponentHandle_t* pHandle) = 0;
    virtual EVRInputError CreateSkeletonComponent(PropertyContainerHandle_t ulContainer, const char* pchName,
                                                  const char* pchSkeletonPath, const char* pchBasePosePath,
                                                  EVRSkeletalTrackingLevel eSkeletalTrackingLevel,
                                                  const VRBoneTransform_t* pGripLimitTransforms,
                                                  uint32_t unGripLimitTransformCount,
                                                  VRInputComponentHandle_t* pHandle) = 0;
    virtual EVRInputError UpdateSkeletonComponent(VRInputComponentHandle_t ulComponent,
                                                  EVRSkeletalMotionRange eMotionRange,
                                                  const VRBoneTransform_t* pTransforms,
                                                  uint32_t unTransformCount) = 0;
};

static const char* const IVRDriverInput_Version = "IVRDriverInput_003";

// Versions of interfaces whose methods this project never calls: the strings are part of
// what a driver reports, the classes are only named.
class IVRDriverDirectModeComponent;
class IVRCameraComponent;
class IVRCompositorDriverHost;
class IVRDriverSpatialAnchors;
static const char* const IVRDriverDirectModeComponent_Version = "IVRDriverDirectModeComponent_008";
static const char* const IVRCameraComponent_Version = "IVRCameraComponent_003";
static const char* const IVRCompositorDriverHost_Version = "IVRCompositorDriverHost_001";
static const char* const IVRDriverSpatialAnchors_Version = "IVRDriverSpatialAnchors_001";

// ---------------------------------------------------------------------------------------
// Callers' side of the by-value slots; see the top of this header.

inline DriverPose_t GetDriverPose(ITrackedDeviceServerDriver* pDriver)
{
#if defined(__MINGW32__)
    DriverPose_t pose;
    pDriver->GetPoseInto(&pose);
    return pose;
#else
    return pDriver->GetPose();
#endif
}

inline DistortionCoordinates_t ComputeDisplayDistortion(IVRDisplayComponent* pDisplay, EVREye eEye, float fU,
                                                        float fV)
{
#if defined(__MINGW32__)
    DistortionCoordinates_t coordinates;
    pDisplay->ComputeDistortionInto(&coordinates, eEye, fU, fV);
    return coordinates;
#else
    return pDisplay->ComputeDistortion(eEye, fU, fV);
#endif
}

#if !defined(OPENVR_INTERFACE_INTERNAL)

// What a driver was compiled against; IServerTrackedDeviceProvider::GetInterfaceVersions
// returns this list.
static const char* const k_InterfaceVersions[] = {
    IVRSettings_Version,
    ITrackedDeviceServerDriver_Version,
    IVRDisplayComponent_Version,
    IVRDriverDirectModeComponent_Version,
    IVRCameraComponent_Version,
    IServerTrackedDeviceProvider_Version,
    IVRWatchdogProvider_Version,
    IVRVirtualDisplay_Version,
    IVRDriverManager_Version,
    IVRResources_Version,
    IVRCompositorPluginProvider_Version,
    nullptr,
};

// ---------------------------------------------------------------------------------------
// Property helpers: one batch entry per call, the entry's own error is the result.

class CVRPropertyHelpers
{
public:
    constexpr explicit CVRPropertyHelpers(IVRProperties* pProperties = nullptr) : m_pProperties(pProperties) {}
    CVRPropertyHelpers(const CVRPropertyHelpers& other) : m_pProperties(other.Properties()) {}
    CVRPropertyHelpers& operator=(const CVRPropertyHelpers& other)
    {
        m_pProperties.store(other.Properties(), std::memory_order_release);
        return *this;
    }

    // Rebinds to another properties interface (used by the driver context).
    void SetPropertiesInterface(IVRProperties* pProperties)
    {
        m_pProperties.store(pProperties, std::memory_order_release);
    }

    uint32_t GetProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop, void* pvBuffer,
                         uint32_t unBufferSize, PropertyTypeTag_t* punTag, ETrackedPropertyError* pError = nullptr)
    {
        PropertyRead_t batch{};
        batch.prop = prop;
        batch.pvBuffer = pvBuffer;
        batch.unBufferSize = unBufferSize;
        batch.unTag = k_unInvalidPropertyTag;
        batch.eError = TrackedProp_CouldNotContactServer;
        if (IVRProperties* properties = Properties())
            properties->ReadPropertyBatch(ulContainerHandle, &batch, 1);
        if (pError)
            *pError = batch.eError;
        if (punTag)
            *punTag = batch.unTag;
        return batch.unRequiredBufferSize;
    }

    // Returns the size the value needs including the NUL, also when the buffer is too small.
    uint32_t GetStringProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                               char* pchValue, uint32_t unBufferSize, ETrackedPropertyError* pError = nullptr)
    {
        PropertyTypeTag_t unTag = k_unInvalidPropertyTag;
        ETrackedPropertyError error = TrackedProp_Success;
        uint32_t unRequiredSize = GetProperty(ulContainerHandle, prop, pchValue, unBufferSize, &unTag, &error);
        if (error == TrackedProp_Success && unTag != k_unStringPropertyTag)
            error = TrackedProp_WrongDataType;
        if (pError)
            *pError = error;
        if (error != TrackedProp_Success && pchValue && unBufferSize > 0)
            pchValue[0] = '\0';
        return unRequiredSize;
    }

    std::string GetStringProperty(PropertyContainerHandle_t ulContainer, ETrackedDeviceProperty prop,
                                  ETrackedPropertyError* peError = nullptr)
    {
        char buffer[1024] = {};
        ETrackedPropertyError error = TrackedProp_Success;
        uint32_t unRequired = GetStringProperty(ulContainer, prop, buffer, sizeof(buffer), &error);
        std::string result;
        if (error == TrackedProp_Success)
        {
            result.assign(buffer, TextLength(buffer, sizeof(buffer)));
        }
        else if (error == TrackedProp_BufferTooSmall && unRequired > 0)
        {
            std::vector<char> large(unRequired);
            GetStringProperty(ulContainer, prop, large.data(), unRequired, &error);
            if (error == TrackedProp_Success)
                result.assign(large.data(), TextLength(large.data(), unRequired));
        }
        if (peError)
            *peError = error;
        return result;
    }

    bool GetBoolProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                         ETrackedPropertyError* pError = nullptr)
    {
        // Read as a byte: a runtime may hand back any non-zero value for true.
        return GetTypedProperty<uint8_t>(ulContainerHandle, prop, pError, 0, k_unBoolPropertyTag) != 0;
    }
    float GetFloatProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                           ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<float>(ulContainerHandle, prop, pError, 0.0f, k_unFloatPropertyTag);
    }
    int32_t GetInt32Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                             ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<int32_t>(ulContainerHandle, prop, pError, 0, k_unInt32PropertyTag);
    }
    uint64_t GetUint64Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                               ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<uint64_t>(ulContainerHandle, prop, pError, 0, k_unUint64PropertyTag);
    }
    double GetDoubleProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                             ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<double>(ulContainerHandle, prop, pError, 0.0, k_unDoublePropertyTag);
    }
    HmdVector2_t GetVec2Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                 ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<HmdVector2_t>(ulContainerHandle, prop, pError, HmdVector2_t{}, k_unHmdVector2PropertyTag);
    }
    HmdVector3_t GetVec3Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                 ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<HmdVector3_t>(ulContainerHandle, prop, pError, HmdVector3_t{}, k_unHmdVector3PropertyTag);
    }
    HmdVector4_t GetVec4Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                 ETrackedPropertyError* pError = nullptr)
    {
        return GetTypedProperty<HmdVector4_t>(ulContainerHandle, prop, pError, HmdVector4_t{}, k_unHmdVector4PropertyTag);
    }

    // The general writer; matrices go through it too, e.g.
    // SetProperty(c, Prop_ImuToHeadTransform_Matrix34, &m, sizeof(HmdMatrix34_t), k_unHmdMatrix34PropertyTag).
    ETrackedPropertyError SetProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                      void* pvNewValue, uint32_t unNewValueSize, PropertyTypeTag_t unTag)
    {
        PropertyWrite_t batch{};
        batch.writeType = PropertyWrite_Set;
        batch.prop = prop;
        batch.pvBuffer = pvNewValue;
        batch.unBufferSize = unNewValueSize;
        batch.unTag = unTag;
        return Write(ulContainerHandle, batch);
    }

    ETrackedPropertyError SetStringProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                            const char* pchNewValue)
    {
        if (!pchNewValue)
            return TrackedProp_InvalidOperation;
        return SetProperty(ulContainerHandle, prop, const_cast<char*>(pchNewValue),
                           static_cast<uint32_t>(std::strlen(pchNewValue) + 1), k_unStringPropertyTag);
    }
    ETrackedPropertyError SetBoolProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                          bool bNewValue)
    {
        return SetProperty(ulContainerHandle, prop, &bNewValue, sizeof(bNewValue), k_unBoolPropertyTag);
    }
    ETrackedPropertyError SetFloatProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                           float fNewValue)
    {
        return SetProperty(ulContainerHandle, prop, &fNewValue, sizeof(fNewValue), k_unFloatPropertyTag);
    }
    ETrackedPropertyError SetInt32Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                           int32_t nNewValue)
    {
        return SetProperty(ulContainerHandle, prop, &nNewValue, sizeof(nNewValue), k_unInt32PropertyTag);
    }
    ETrackedPropertyError SetUint64Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                            uint64_t ulNewValue)
    {
        return SetProperty(ulContainerHandle, prop, &ulNewValue, sizeof(ulNewValue), k_unUint64PropertyTag);
    }
    ETrackedPropertyError SetDoubleProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                            double vNewValue)
    {
        return SetProperty(ulContainerHandle, prop, &vNewValue, sizeof(vNewValue), k_unDoublePropertyTag);
    }
    ETrackedPropertyError SetVec2Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                          const HmdVector2_t& vNewValue)
    {
        HmdVector2_t value = vNewValue;
        return SetProperty(ulContainerHandle, prop, &value, sizeof(value), k_unHmdVector2PropertyTag);
    }
    ETrackedPropertyError SetVec3Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                          const HmdVector3_t& vNewValue)
    {
        HmdVector3_t value = vNewValue;
        return SetProperty(ulContainerHandle, prop, &value, sizeof(value), k_unHmdVector3PropertyTag);
    }
    ETrackedPropertyError SetVec4Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                          const HmdVector4_t& vNewValue)
    {
        HmdVector4_t value = vNewValue;
        return SetProperty(ulContainerHandle, prop, &value, sizeof(value), k_unHmdVector4PropertyTag);
    }

    ETrackedPropertyError SetPropertyError(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                           ETrackedPropertyError eError)
    {
        PropertyWrite_t batch{};
        batch.writeType = PropertyWrite_SetError;
        batch.prop = prop;
        batch.eSetError = eError;
        return Write(ulContainerHandle, batch);
    }

    ETrackedPropertyError EraseProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop)
    {
        PropertyWrite_t batch{};
        batch.writeType = PropertyWrite_Erase;
        batch.prop = prop;
        return Write(ulContainerHandle, batch);
    }

    PropertyContainerHandle_t TrackedDeviceToPropertyContainer(TrackedDeviceIndex_t nDevice)
    {
        IVRProperties* properties = Properties();
        return properties ? properties->TrackedDeviceToPropertyContainer(nDevice) : k_ulInvalidPropertyContainer;
    }

    bool IsPropertySet(PropertyContainerHandle_t ulContainer, ETrackedDeviceProperty prop,
                       ETrackedPropertyError* peError = nullptr)
    {
        ETrackedPropertyError error = TrackedProp_Success;
        GetProperty(ulContainer, prop, nullptr, 0, nullptr, &error);
        if (peError)
            *peError = error;
        return error == TrackedProp_Success || error == TrackedProp_BufferTooSmall;
    }

    // Array properties: the element count is the byte size the runtime reports / sizeof(T).
    template <typename T>
    ETrackedPropertyError GetPropertyVector(PropertyContainerHandle_t ulContainer, ETrackedDeviceProperty prop,
                                            PropertyTypeTag_t unExpectedTag, std::vector<T>* pvecResults)
    {
        if (!pvecResults)
            return TrackedProp_InvalidOperation;
        if (pvecResults->capacity() > pvecResults->size())
            pvecResults->resize(pvecResults->capacity());
        PropertyTypeTag_t unTag = k_unInvalidPropertyTag;
        ETrackedPropertyError error = TrackedProp_Success;
        uint32_t unBytes = GetProperty(ulContainer, prop, pvecResults->data(), ByteSize(*pvecResults), &unTag, &error);
        if (error == TrackedProp_BufferTooSmall)
        {
            pvecResults->resize((unBytes + sizeof(T) - 1) / sizeof(T));
            unBytes = GetProperty(ulContainer, prop, pvecResults->data(), ByteSize(*pvecResults), &unTag, &error);
        }
        if (error == TrackedProp_Success && unTag != unExpectedTag)
            error = TrackedProp_WrongDataType;
        if (error == TrackedProp_Success && unBytes <= ByteSize(*pvecResults))
            pvecResults->resize(unBytes / sizeof(T));
        else
            pvecResults->clear();
        return error;
    }

    template <typename T>
    ETrackedPropertyError SetPropertyVector(PropertyContainerHandle_t ulContainer, ETrackedDeviceProperty prop,
                                            PropertyTypeTag_t unExpectedTag, std::vector<T>* vecProperties)
    {
        if (!vecProperties)
            return TrackedProp_InvalidOperation;
        return SetProperty(ulContainer, prop, vecProperties->data(), ByteSize(*vecProperties), unExpectedTag);
    }

private:
    IVRProperties* Properties() const { return m_pProperties.load(std::memory_order_acquire); }

    ETrackedPropertyError Write(PropertyContainerHandle_t ulContainerHandle, PropertyWrite_t& batch)
    {
        batch.eError = TrackedProp_CouldNotContactServer;
        if (IVRProperties* properties = Properties())
            properties->WritePropertyBatch(ulContainerHandle, &batch, 1);
        return batch.eError;
    }

    template <typename T>
    T GetTypedProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                       ETrackedPropertyError* pError, T defaultValue, PropertyTypeTag_t unExpectedTag)
    {
        T value = defaultValue;
        PropertyTypeTag_t unTag = k_unInvalidPropertyTag;
        ETrackedPropertyError error = TrackedProp_Success;
        GetProperty(ulContainerHandle, prop, &value, sizeof(value), &unTag, &error);
        if (error == TrackedProp_Success && unTag != unExpectedTag)
            error = TrackedProp_WrongDataType;
        if (pError)
            *pError = error;
        return error == TrackedProp_Success ? value : defaultValue;
    }

    template <typename T>
    static uint32_t ByteSize(const std::vector<T>& values)
    {
        return static_cast<uint32_t>(values.size() * sizeof(T));
    }

    // Length of the text in a buffer the runtime filled, never reading past the buffer.
    static size_t TextLength(const char* buffer, uint32_t size)
    {
        const void* nul = std::memchr(buffer, '\0', size);
        return nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : size;
    }

    std::atomic<IVRProperties*> m_pProperties;
};

// Forwards IVRSettings, plus std::string conveniences.
class CVRSettingHelper
{
public:
    explicit CVRSettingHelper(IVRSettings* pSettings) : m_pSettings(pSettings) {}

    const char* GetSettingsErrorNameFromEnum(EVRSettingsError eError)
    {
        return m_pSettings->GetSettingsErrorNameFromEnum(eError);
    }
    void SetBool(const char* pchSection, const char* pchSettingsKey, bool bValue, EVRSettingsError* peError = nullptr)
    {
        m_pSettings->SetBool(pchSection, pchSettingsKey, bValue, peError);
    }
    void SetInt32(const char* pchSection, const char* pchSettingsKey, int32_t nValue,
                  EVRSettingsError* peError = nullptr)
    {
        m_pSettings->SetInt32(pchSection, pchSettingsKey, nValue, peError);
    }
    void SetFloat(const char* pchSection, const char* pchSettingsKey, float flValue,
                  EVRSettingsError* peError = nullptr)
    {
        m_pSettings->SetFloat(pchSection, pchSettingsKey, flValue, peError);
    }
    void SetString(const char* pchSection, const char* pchSettingsKey, const char* pchValue,
                   EVRSettingsError* peError = nullptr)
    {
        m_pSettings->SetString(pchSection, pchSettingsKey, pchValue, peError);
    }
    void SetString(const std::string& sSection, const std::string& sSettingsKey, const std::string& sValue,
                   EVRSettingsError* peError = nullptr)
    {
        m_pSettings->SetString(sSection.c_str(), sSettingsKey.c_str(), sValue.c_str(), peError);
    }
    bool GetBool(const char* pchSection, const char* pchSettingsKey, EVRSettingsError* peError = nullptr)
    {
        return m_pSettings->GetBool(pchSection, pchSettingsKey, peError);
    }
    int32_t GetInt32(const char* pchSection, const char* pchSettingsKey, EVRSettingsError* peError = nullptr)
    {
        return m_pSettings->GetInt32(pchSection, pchSettingsKey, peError);
    }
    float GetFloat(const char* pchSection, const char* pchSettingsKey, EVRSettingsError* peError = nullptr)
    {
        return m_pSettings->GetFloat(pchSection, pchSettingsKey, peError);
    }
    void GetString(const char* pchSection, const char* pchSettingsKey, char* pchValue, uint32_t unValueLen,
                   EVRSettingsError* peError = nullptr)
    {
        m_pSettings->GetString(pchSection, pchSettingsKey, pchValue, unValueLen, peError);
    }
    std::string GetString(const std::string& sSection, const std::string& sSettingsKey,
                          EVRSettingsError* peError = nullptr)
    {
        char buffer[4096];
        buffer[0] = '\0';
        EVRSettingsError error = VRSettingsError_None;
        m_pSettings->GetString(sSection.c_str(), sSettingsKey.c_str(), buffer, sizeof(buffer), &error);
        buffer[sizeof(buffer) - 1] = '\0';
        if (peError)
            *peError = error;
        return error == VRSettingsError_None ? std::string(buffer) : std::string();
    }
    void RemoveSection(const char* pchSection, EVRSettingsError* peError = nullptr)
    {
        m_pSettings->RemoveSection(pchSection, peError);
    }
    void RemoveKeyInSection(const char* pchSection, const char* pchSettingsKey, EVRSettingsError* peError = nullptr)
    {
        m_pSettings->RemoveKeyInSection(pchSection, pchSettingsKey, peError);
    }

private:
    IVRSettings* m_pSettings;
};

// ---------------------------------------------------------------------------------------
// The driver context: one per driver module. Interfaces are fetched from the runtime on
// first use and cached; the cache is atomic because devices call these accessors from
// their own threads.

inline IVRDriverContext*& VRDriverContext()
{
    static IVRDriverContext* pContext = nullptr;
    return pContext;
}

class COpenVRDriverContext
{
public:
    constexpr COpenVRDriverContext() = default;

    IVRServerDriverHost* VRServerDriverHost() { return Fetch(m_pServerDriverHost, IVRServerDriverHost_Version); }
    IVRSettings* VRSettings() { return Fetch(m_pSettings, IVRSettings_Version); }
    IVRProperties* VRPropertiesRaw()
    {
        IVRProperties* cached = m_pProperties.load(std::memory_order_acquire);
        if (cached)
            return cached;
        IVRProperties* fetched = Fetch(m_pProperties, IVRProperties_Version);
        m_propertyHelpers.SetPropertiesInterface(fetched);
        return fetched;
    }
    // Never null, even when the runtime has no properties interface.
    CVRPropertyHelpers* VRProperties()
    {
        VRPropertiesRaw();
        return &m_propertyHelpers;
    }
    IVRDriverLog* VRDriverLog() { return Fetch(m_pDriverLog, IVRDriverLog_Version); }
    IVRDriverManager* VRDriverManager() { return Fetch(m_pDriverManager, IVRDriverManager_Version); }
    IVRResources* VRResources() { return Fetch(m_pResources, IVRResources_Version); }
    IVRIOBuffer* VRIOBuffer() { return Fetch(m_pIOBuffer, IVRIOBuffer_Version); }
    IVRDriverInput* VRDriverInput() { return Fetch(m_pDriverInput, IVRDriverInput_Version); }
    IVRWatchdogHost* VRWatchdogHost() { return Fetch(m_pWatchdogHost, IVRWatchdogHost_Version); }
    IVRCompositorDriverHost* VRCompositorDriverHost()
    {
        return Fetch(m_pCompositorDriverHost, IVRCompositorDriverHost_Version);
    }
    IVRDriverSpatialAnchors* VRDriverSpatialAnchors()
    {
        return Fetch(m_pDriverSpatialAnchors, IVRDriverSpatialAnchors_Version);
    }
    DriverHandle_t VRDriverHandle()
    {
        IVRDriverContext* context = VRDriverContext();
        return context ? context->GetDriverHandle() : k_ulInvalidDriverHandle;
    }

    void Clear()
    {
        m_pServerDriverHost.store(nullptr);
        m_pSettings.store(nullptr);
        m_pProperties.store(nullptr);
        m_pDriverLog.store(nullptr);
        m_pDriverManager.store(nullptr);
        m_pResources.store(nullptr);
        m_pIOBuffer.store(nullptr);
        m_pDriverInput.store(nullptr);
        m_pWatchdogHost.store(nullptr);
        m_pCompositorDriverHost.store(nullptr);
        m_pDriverSpatialAnchors.store(nullptr);
        m_propertyHelpers.SetPropertiesInterface(nullptr);
    }

private:
    template <typename T>
    static T* Fetch(std::atomic<T*>& cache, const char* pchVersion)
    {
        T* cached = cache.load(std::memory_order_acquire);
        if (cached)
            return cached;
        IVRDriverContext* context = VRDriverContext();
        if (!context)
            return nullptr;
        EVRInitError error = VRInitError_None;
        T* fetched = static_cast<T*>(context->GetGenericInterface(pchVersion, &error));
        cache.store(fetched, std::memory_order_release);
        return fetched;
    }

    std::atomic<IVRServerDriverHost*> m_pServerDriverHost{nullptr};
    std::atomic<IVRSettings*> m_pSettings{nullptr};
    std::atomic<IVRProperties*> m_pProperties{nullptr};
    std::atomic<IVRDriverLog*> m_pDriverLog{nullptr};
    std::atomic<IVRDriverManager*> m_pDriverManager{nullptr};
    std::atomic<IVRResources*> m_pResources{nullptr};
    std::atomic<IVRIOBuffer*> m_pIOBuffer{nullptr};
    std::atomic<IVRDriverInput*> m_pDriverInput{nullptr};
    std::atomic<IVRWatchdogHost*> m_pWatchdogHost{nullptr};
    std::atomic<IVRCompositorDriverHost*> m_pCompositorDriverHost{nullptr};
    std::atomic<IVRDriverSpatialAnchors*> m_pDriverSpatialAnchors{nullptr};
    CVRPropertyHelpers m_propertyHelpers{nullptr};
};

// Constant-initialised: usable before and after the module's static constructors run.
inline COpenVRDriverContext& OpenVRInternal_ModuleServerDriverContext()
{
    static COpenVRDriverContext context;
    return context;
}

inline IVRServerDriverHost* VR_CALLTYPE VRServerDriverHost()
{
    return OpenVRInternal_ModuleServerDriverContext().VRServerDriverHost();
}
inline IVRSettings* VR_CALLTYPE VRSettings() { return OpenVRInternal_ModuleServerDriverContext().VRSettings(); }
inline IVRProperties* VR_CALLTYPE VRPropertiesRaw()
{
    return OpenVRInternal_ModuleServerDriverContext().VRPropertiesRaw();
}
inline CVRPropertyHelpers* VR_CALLTYPE VRProperties()
{
    return OpenVRInternal_ModuleServerDriverContext().VRProperties();
}
inline IVRDriverLog* VR_CALLTYPE VRDriverLog() { return OpenVRInternal_ModuleServerDriverContext().VRDriverLog(); }
inline IVRDriverManager* VR_CALLTYPE VRDriverManager()
{
    return OpenVRInternal_ModuleServerDriverContext().VRDriverManager();
}
inline IVRResources* VR_CALLTYPE VRResources() { return OpenVRInternal_ModuleServerDriverContext().VRResources(); }
inline IVRIOBuffer* VR_CALLTYPE VRIOBuffer() { return OpenVRInternal_ModuleServerDriverContext().VRIOBuffer(); }
inline IVRDriverInput* VR_CALLTYPE VRDriverInput()
{
    return OpenVRInternal_ModuleServerDriverContext().VRDriverInput();
}
inline IVRWatchdogHost* VR_CALLTYPE VRWatchdogHost()
{
    return OpenVRInternal_ModuleServerDriverContext().VRWatchdogHost();
}
inline IVRCompositorDriverHost* VR_CALLTYPE VRCompositorDriverHost()
{
    return OpenVRInternal_ModuleServerDriverContext().VRCompositorDriverHost();
}
inline IVRDriverSpatialAnchors* VR_CALLTYPE VRDriverSpatialAnchors()
{
    return OpenVRInternal_ModuleServerDriverContext().VRDriverSpatialAnchors();
}
inline DriverHandle_t VR_CALLTYPE VRDriverHandle()
{
    return OpenVRInternal_ModuleServerDriverContext().VRDriverHandle();
}

// Stops at the first interface the runtime does not offer. A missing properties
// interface is not detected here (VRProperties() is never null), as in the SDK.
inline EVRInitError InitServerDriverContext(IVRDriverContext* pContext)
{
    VRDriverContext() = pContext;
    COpenVRDriverContext& context = OpenVRInternal_ModuleServerDriverContext();
    context.Clear();
    if (!context.VRServerDriverHost() || !context.VRSettings() || !context.VRProperties() ||
        !context.VRDriverLog() || !context.VRDriverManager() || !context.VRResources())
        return VRInitError_Init_InterfaceNotFound;
    return VRInitError_None;
}

inline EVRInitError InitWatchdogDriverContext(IVRDriverContext* pContext)
{
    VRDriverContext() = pContext;
    COpenVRDriverContext& context = OpenVRInternal_ModuleServerDriverContext();
    context.Clear();
    if (!context.VRWatchdogHost() || !context.VRSettings() || !context.VRDriverLog())
        return VRInitError_Init_InterfaceNotFound;
    return VRInitError_None;
}

inline EVRInitError InitCompositorDriverContext(IVRDriverContext* pContext)
{
    VRDriverContext() = pContext;
    COpenVRDriverContext& context = OpenVRInternal_ModuleServerDriverContext();
    context.Clear();
    if (!context.VRCompositorDriverHost() || !context.VRSettings() || !context.VRProperties() ||
        !context.VRDriverLog() || !context.VRDriverManager() || !context.VRResources())
        return VRInitError_Init_InterfaceNotFound;
    return VRInitError_None;
}

inline void CleanupDriverContext()
{
    VRDriverContext() = nullptr;
    OpenVRInternal_ModuleServerDriverContext().Clear();
}

#define VR_INIT_SERVER_DRIVER_CONTEXT(pContext)                                   \
    {                                                                             \
        vr::EVRInitError eInitError = vr::InitServerDriverContext(pContext);      \
        if (eInitError != vr::VRInitError_None)                                   \
            return eInitError;                                                    \
    }

#define VR_CLEANUP_SERVER_DRIVER_CONTEXT() vr::CleanupDriverContext();

#define VR_INIT_WATCHDOG_DRIVER_CONTEXT(pContext)                                 \
    {                                                                             \
        vr::EVRInitError eInitError = vr::InitWatchdogDriverContext(pContext);    \
        if (eInitError != vr::VRInitError_None)                                   \
            return eInitError;                                                    \
    }

#define VR_CLEANUP_WATCHDOG_DRIVER_CONTEXT() vr::CleanupDriverContext();

#define VR_INIT_COMPOSITOR_DRIVER_CONTEXT(pContext)                               \
    {                                                                             \
        vr::EVRInitError eInitError = vr::InitCompositorDriverContext(pContext);  \
        if (eInitError != vr::VRInitError_None)                                   \
            return eInitError;                                                    \
    }

#define VR_CLEANUP_COMPOSITOR_DRIVER_CONTEXT() vr::CleanupDriverContext();

#endif // !OPENVR_INTERFACE_INTERNAL

} // namespace vr

#include "openvr_driver_layout.h"

#endif // HALVEX_OPENVR_DRIVER_H
