// The device class for an Oculus headset: optical position with the headset's own
// orientation samples, which a child program hands over through shared memory and
// the process-wide link delivers to every Oculus device. It applies its slot's
// calibration to the optical samples (rigid body pose, time offset) and records its
// raw optical and, for the head, headset rows as the other classes do.
#pragma once

#include "devices/calibration_snapshot.h"
#include "devices/device_base.h"
#include "devices/device_recorder.h"
#include "devices/oculus_link.h"
#include "devices/orientation_corrector.h"
#include "recording/record_ring.h"
#include "recording/records.h"

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

    sDeviceStatus Status() const override;
    bool SetRecording(bool on, std::string& why) override;
    std::string RawDataFile() const override { return mRecorder.RawDataFile(); }
    halvex::sDeviceCalibration Calibration() const override { return mNewestCalibration.Get(); }
    // In force from the next optical sample.
    void SetCalibration(const halvex::sDeviceCalibration& calibration) override;

    const cOrientationCorrector& Corrector() const { return mCorrector; }
    // Optical samples and poses held back for a non-finite or zero number in them.
    uint32_t DroppedOpticalSamples() const { return mDroppedOptical.load(); }
    uint32_t DroppedPoses() const { return mDroppedPoses.load(); }

private:
    void RecordUntilStopped(uint32_t deviceIndex, double recordFrom, const std::atomic<bool>& stop);

    halvex::oculus::cOculusLink* mLink;
    bool mAttached = false;  // runtime thread only
    double mLastOpticalSampleTime = -DBL_MAX;
    double mLastImuSampleTime = -DBL_MAX;
    bool mCorrectionEnabled = true;
    cOrientationCorrector mCorrector;
    double mClockOffset = 0.0;
    std::atomic<uint32_t> mDroppedOptical{0};
    std::atomic<uint32_t> mDroppedPoses{0};
    halvex::cCalibrationSnapshot mNewestCalibration;
    // Producers: the link's reader thread (headset rows) and the frame thread (optical rows).
    halvex::cRecordRing<halvex::sRawRecord> mImuRawRing;
    halvex::cRecordRing<halvex::sRawRecord> mOpticalRawRing;
    // After the rings it drains.
    halvex::cDeviceRecorder mRecorder;
};
