// Compile-time checks that every record of openvr_common.h has the runtime's layout on
// the platform being compiled. Included by openvr_common.h; not meant to be used alone.
// Its macros stay defined for the layout checks of openvr.h and openvr_driver.h.
//
// Windows values hold for MinGW and MSVC alike. Only VREvent_t and VRControllerState001_t
// differ, because of their Linux/macOS packing.

#ifndef HALVEX_OPENVR_COMMON_LAYOUT_H
#define HALVEX_OPENVR_COMMON_LAYOUT_H

#include <cstddef>

#define HALVEX_OPENVR_RECORD(T, size, align)                                   \
    static_assert(sizeof(vr::T) == (size), "sizeof(" #T ") must be " #size); \
    static_assert(alignof(vr::T) == (align), "alignof(" #T ") must be " #align)
#define HALVEX_OPENVR_FIELD(T, field, offset) \
    static_assert(offsetof(vr::T, field) == (offset), "offset of " #T "::" #field " must be " #offset)

#if defined(__linux__) || defined(__APPLE__)
#define HALVEX_OPENVR_PACKED4_OR_NATURAL(packed, natural) (packed)
#else
#define HALVEX_OPENVR_PACKED4_OR_NATURAL(packed, natural) (natural)
#endif

static_assert(sizeof(bool) == 1 && sizeof(float) == 4 && sizeof(double) == 8 && alignof(double) == 8 &&
                  sizeof(void*) == 8,
              "the runtime interfaces are 64-bit only");
static_assert(sizeof(vr::ETrackedDeviceClass) == 4 && sizeof(vr::EVRInitError) == 4 &&
                  sizeof(vr::ETrackedDeviceProperty) == 4 && sizeof(vr::EVREventType) == 4 &&
                  sizeof(vr::ETrackingResult) == 4 && sizeof(vr::ETrackedPropertyError) == 4,
              "enumerations cross the boundary as 4 bytes");

HALVEX_OPENVR_RECORD(HmdMatrix34_t, 48, 4);
HALVEX_OPENVR_FIELD(HmdMatrix34_t, m, 0);
HALVEX_OPENVR_RECORD(HmdMatrix44_t, 64, 4);
HALVEX_OPENVR_RECORD(HmdVector2_t, 8, 4);
HALVEX_OPENVR_RECORD(HmdVector3_t, 12, 4);
HALVEX_OPENVR_RECORD(HmdVector4_t, 16, 4);
HALVEX_OPENVR_RECORD(HmdVector3d_t, 24, 8);

HALVEX_OPENVR_RECORD(HmdQuaternion_t, 32, 8);
HALVEX_OPENVR_FIELD(HmdQuaternion_t, w, 0);
HALVEX_OPENVR_FIELD(HmdQuaternion_t, x, 8);
HALVEX_OPENVR_FIELD(HmdQuaternion_t, y, 16);
HALVEX_OPENVR_FIELD(HmdQuaternion_t, z, 24);

HALVEX_OPENVR_RECORD(HmdQuaternionf_t, 16, 4);
HALVEX_OPENVR_FIELD(HmdQuaternionf_t, w, 0);
HALVEX_OPENVR_FIELD(HmdQuaternionf_t, x, 4);
HALVEX_OPENVR_FIELD(HmdQuaternionf_t, y, 8);
HALVEX_OPENVR_FIELD(HmdQuaternionf_t, z, 12);

HALVEX_OPENVR_RECORD(HmdRect2_t, 16, 4);
HALVEX_OPENVR_FIELD(HmdRect2_t, vTopLeft, 0);
HALVEX_OPENVR_FIELD(HmdRect2_t, vBottomRight, 8);

HALVEX_OPENVR_RECORD(DistortionCoordinates_t, 24, 4);
HALVEX_OPENVR_FIELD(DistortionCoordinates_t, rfRed, 0);
HALVEX_OPENVR_FIELD(DistortionCoordinates_t, rfGreen, 8);
HALVEX_OPENVR_FIELD(DistortionCoordinates_t, rfBlue, 16);

HALVEX_OPENVR_RECORD(TrackedDevicePose_t, 80, 4);
HALVEX_OPENVR_FIELD(TrackedDevicePose_t, mDeviceToAbsoluteTracking, 0);
HALVEX_OPENVR_FIELD(TrackedDevicePose_t, vVelocity, 48);
HALVEX_OPENVR_FIELD(TrackedDevicePose_t, vAngularVelocity, 60);
HALVEX_OPENVR_FIELD(TrackedDevicePose_t, eTrackingResult, 72);
HALVEX_OPENVR_FIELD(TrackedDevicePose_t, bPoseIsValid, 76);
HALVEX_OPENVR_FIELD(TrackedDevicePose_t, bDeviceIsConnected, 77);

HALVEX_OPENVR_RECORD(ImuSample_t, 64, 8);
HALVEX_OPENVR_FIELD(ImuSample_t, fSampleTime, 0);
HALVEX_OPENVR_FIELD(ImuSample_t, vAccel, 8);
HALVEX_OPENVR_FIELD(ImuSample_t, vGyro, 32);
HALVEX_OPENVR_FIELD(ImuSample_t, unOffScaleFlags, 56);

HALVEX_OPENVR_RECORD(VREvent_Controller_t, 4, 4);
HALVEX_OPENVR_RECORD(VREvent_Process_t, 12, 4);
HALVEX_OPENVR_FIELD(VREvent_Process_t, pid, 0);
HALVEX_OPENVR_FIELD(VREvent_Process_t, oldPid, 4);
HALVEX_OPENVR_FIELD(VREvent_Process_t, bForced, 8);
HALVEX_OPENVR_FIELD(VREvent_Process_t, bConnectionLost, 9);
HALVEX_OPENVR_RECORD(VREvent_Status_t, 4, 4);
HALVEX_OPENVR_RECORD(VREvent_Property_t, 16, 8);
HALVEX_OPENVR_FIELD(VREvent_Property_t, container, 0);
HALVEX_OPENVR_FIELD(VREvent_Property_t, prop, 8);
HALVEX_OPENVR_RECORD(VREvent_Reserved_t, 48, 8);
HALVEX_OPENVR_FIELD(VREvent_Reserved_t, reserved5, 40);
HALVEX_OPENVR_RECORD(VREvent_Data_t, 48, 8);

HALVEX_OPENVR_RECORD(VREvent_t, HALVEX_OPENVR_PACKED4_OR_NATURAL(60, 64), HALVEX_OPENVR_PACKED4_OR_NATURAL(4, 8));
HALVEX_OPENVR_FIELD(VREvent_t, eventType, 0);
HALVEX_OPENVR_FIELD(VREvent_t, trackedDeviceIndex, 4);
HALVEX_OPENVR_FIELD(VREvent_t, eventAgeSeconds, 8);
HALVEX_OPENVR_FIELD(VREvent_t, data, HALVEX_OPENVR_PACKED4_OR_NATURAL(12, 16));

HALVEX_OPENVR_RECORD(HiddenAreaMesh_t, 16, 8);
HALVEX_OPENVR_FIELD(HiddenAreaMesh_t, pVertexData, 0);
HALVEX_OPENVR_FIELD(HiddenAreaMesh_t, unTriangleCount, 8);

HALVEX_OPENVR_RECORD(VRControllerAxis_t, 8, 4);
HALVEX_OPENVR_FIELD(VRControllerAxis_t, y, 4);

HALVEX_OPENVR_RECORD(VRControllerState001_t, HALVEX_OPENVR_PACKED4_OR_NATURAL(60, 64),
                     HALVEX_OPENVR_PACKED4_OR_NATURAL(4, 8));
HALVEX_OPENVR_FIELD(VRControllerState001_t, unPacketNum, 0);
HALVEX_OPENVR_FIELD(VRControllerState001_t, ulButtonPressed, HALVEX_OPENVR_PACKED4_OR_NATURAL(4, 8));
HALVEX_OPENVR_FIELD(VRControllerState001_t, ulButtonTouched, HALVEX_OPENVR_PACKED4_OR_NATURAL(12, 16));
HALVEX_OPENVR_FIELD(VRControllerState001_t, rAxis, HALVEX_OPENVR_PACKED4_OR_NATURAL(20, 24));

HALVEX_OPENVR_RECORD(VRBoneTransform_t, 32, 4);
HALVEX_OPENVR_FIELD(VRBoneTransform_t, position, 0);
HALVEX_OPENVR_FIELD(VRBoneTransform_t, orientation, 16);

#endif // HALVEX_OPENVR_COMMON_LAYOUT_H
