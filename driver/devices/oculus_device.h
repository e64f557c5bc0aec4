// The device class for an Oculus headset: optical position with the headset's own
// orientation samples, which a child program hands over through shared memory.
#pragma once

#include "devices/device_base.h"

#include <cfloat>

class cHalvexOculusDevice : public cHalvexDevice_Base {
public:
    cHalvexOculusDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial);
    ~cHalvexOculusDevice() override;

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;
    vr::DriverPose_t GetPose() override;
    void UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                       double latency) override;

private:
    // The shared-memory reader; its body arrives with the child-process link.
    void StartIpcThread();

    double mLastOpticalSampleTime = -DBL_MAX;
    double mLastImuSampleTime = -DBL_MAX;
    bool mCorrectionEnabled = true;
    double mClockOffset = 0.0;
};
