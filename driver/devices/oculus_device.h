// The device class for an Oculus headset: optical position with the headset's own
// orientation samples, which a child program hands over through shared memory and
// the process-wide link delivers to every Oculus device.
#pragma once

#include "devices/device_base.h"
#include "devices/oculus_link.h"
#include "devices/orientation_corrector.h"

#include <atomic>
#include <cfloat>
#include <cstdint>

class cHalvexOculusDevice : public cHalvexDevice_Base, public halvex::oculus::cIChildSampleSink {
public:
    cHalvexOculusDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial,
                        halvex::oculus::cOculusLink* link = &halvex::oculus::TheOculusLink());
    ~cHalvexOculusDevice() override;

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;
    vr::DriverPose_t GetPose() override;
    void UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                       double latency) override;

    // The corrected headset orientation (x, y, z, w) and angular velocity go out as a pose.
    void UpdateInertial(const double orientation[4], const double angularVelocity[3]);
    void ProcessChildSample(const halvex::oculus::sOculusImuSample& sample, double sampleTime) override;

    const cOrientationCorrector& Corrector() const { return mCorrector; }
    // Optical samples and poses held back for a non-finite or zero number in them.
    uint32_t DroppedOpticalSamples() const { return mDroppedOptical.load(); }
    uint32_t DroppedPoses() const { return mDroppedPoses.load(); }

private:
    halvex::oculus::cOculusLink* mLink;
    bool mAttached = false;  // runtime thread only
    double mLastOpticalSampleTime = -DBL_MAX;
    double mLastImuSampleTime = -DBL_MAX;
    bool mCorrectionEnabled = true;
    cOrientationCorrector mCorrector;
    double mClockOffset = 0.0;
    std::atomic<uint32_t> mDroppedOptical{0};
    std::atomic<uint32_t> mDroppedPoses{0};
};
