// The interface through which the provider and the frame dispatch reach every
// device, on top of the runtime's own device interface.
#pragma once

#include "recording/device_calibration.h"

#include <openvr_driver.h>

#include <cstdint>
#include <string>

enum eSemantic : uint32_t {
    Hmd = 0,
    ControllerA = 1,
    ControllerB = 2,
};

// What a device tells about itself when asked for the driver's status. Times are
// driver seconds, 0 when there was no such sample.
struct sDeviceStatus {
    bool active = false;
    bool poseValid = false;  // the last pose handed to the runtime
    bool fused = false;      // optical data fused with an IMU, not passed straight through
    bool knowsSampleTimes = false;
    double lastOpticalTime = 0.0;
    double lastImuTime = 0.0;
    uint32_t filterResets = 0;
    bool canRecord = false;
    bool recording = false;
};

// Given to SetRigidBodyId, switches a device's optical input off.
constexpr int32_t kRigidBodyNone = INT32_MIN;

class cIHalvexDevice : public vr::ITrackedDeviceServerDriver {
public:
    virtual ~cIHalvexDevice() = default;
    virtual const std::string& GetSerialNumber() const = 0;
    virtual const std::string& GetName() const = 0;
    virtual int32_t GetRigidBodyId() const = 0;
    virtual bool SetRigidBodyId(int32_t id) = 0;
    // Position in metres; orientation a unit quaternion stored x, y, z, w; times in driver seconds.
    virtual void UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                               double latency) = 0;
    // Called on the runtime's thread while the device's own threads run: never blocks.
    virtual sDeviceStatus Status() const { return {}; }
    // Starts or stops the recording of raw samples without a restart. False with the reason.
    virtual bool SetRecording(bool /*on*/, std::string& why) {
        why = "this device does not record";
        return false;
    }
    // The raw data file of the recording running or last started; empty when none.
    virtual std::string RawDataFile() const { return {}; }
    // The calibration the device applies now; the identity for one that applies none.
    virtual halvex::sDeviceCalibration Calibration() const { return {}; }
    // A reloaded calibration, in force from the device's next samples. Runtime's thread; never blocks long.
    virtual void SetCalibration(const halvex::sDeviceCalibration& /*calibration*/) {}
};
