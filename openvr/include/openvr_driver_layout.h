// Compile-time checks of the driver-only records of openvr_driver.h (the shared ones are
// checked by openvr_common_layout.h). Included by openvr_driver.h; not meant to be used alone.

#ifndef HALVEX_OPENVR_DRIVER_LAYOUT_H
#define HALVEX_OPENVR_DRIVER_LAYOUT_H

HALVEX_OPENVR_RECORD(DriverPose_t, 280, 8);
HALVEX_OPENVR_FIELD(DriverPose_t, poseTimeOffset, 0);
HALVEX_OPENVR_FIELD(DriverPose_t, qWorldFromDriverRotation, 8);
HALVEX_OPENVR_FIELD(DriverPose_t, vecWorldFromDriverTranslation, 40);
HALVEX_OPENVR_FIELD(DriverPose_t, qDriverFromHeadRotation, 64);
HALVEX_OPENVR_FIELD(DriverPose_t, vecDriverFromHeadTranslation, 96);
HALVEX_OPENVR_FIELD(DriverPose_t, vecPosition, 120);
HALVEX_OPENVR_FIELD(DriverPose_t, vecVelocity, 144);
HALVEX_OPENVR_FIELD(DriverPose_t, vecAcceleration, 168);
HALVEX_OPENVR_FIELD(DriverPose_t, qRotation, 192);
HALVEX_OPENVR_FIELD(DriverPose_t, vecAngularVelocity, 224);
HALVEX_OPENVR_FIELD(DriverPose_t, vecAngularAcceleration, 248);
HALVEX_OPENVR_FIELD(DriverPose_t, result, 272);
HALVEX_OPENVR_FIELD(DriverPose_t, poseIsValid, 276);
HALVEX_OPENVR_FIELD(DriverPose_t, willDriftInYaw, 277);
HALVEX_OPENVR_FIELD(DriverPose_t, shouldApplyHeadModel, 278);
HALVEX_OPENVR_FIELD(DriverPose_t, deviceIsConnected, 279);

HALVEX_OPENVR_RECORD(DriverPoseQuaternion_t, 32, 8);
HALVEX_OPENVR_FIELD(DriverPoseQuaternion_t, w, 0);
HALVEX_OPENVR_FIELD(DriverPoseQuaternion_t, z, 24);

HALVEX_OPENVR_RECORD(PropertyWrite_t, 40, 8);
HALVEX_OPENVR_FIELD(PropertyWrite_t, prop, 0);
HALVEX_OPENVR_FIELD(PropertyWrite_t, writeType, 4);
HALVEX_OPENVR_FIELD(PropertyWrite_t, eSetError, 8);
HALVEX_OPENVR_FIELD(PropertyWrite_t, pvBuffer, 16);
HALVEX_OPENVR_FIELD(PropertyWrite_t, unBufferSize, 24);
HALVEX_OPENVR_FIELD(PropertyWrite_t, unTag, 28);
HALVEX_OPENVR_FIELD(PropertyWrite_t, eError, 32);

HALVEX_OPENVR_RECORD(PropertyRead_t, 32, 8);
HALVEX_OPENVR_FIELD(PropertyRead_t, prop, 0);
HALVEX_OPENVR_FIELD(PropertyRead_t, pvBuffer, 8);
HALVEX_OPENVR_FIELD(PropertyRead_t, unBufferSize, 16);
HALVEX_OPENVR_FIELD(PropertyRead_t, unTag, 20);
HALVEX_OPENVR_FIELD(PropertyRead_t, unRequiredBufferSize, 24);
HALVEX_OPENVR_FIELD(PropertyRead_t, eError, 28);

// An interface object is one vtable pointer.
HALVEX_OPENVR_RECORD(IServerTrackedDeviceProvider, 8, 8);
HALVEX_OPENVR_RECORD(ITrackedDeviceServerDriver, 8, 8);
HALVEX_OPENVR_RECORD(IVRServerDriverHost, 8, 8);

#endif // HALVEX_OPENVR_DRIVER_LAYOUT_H
