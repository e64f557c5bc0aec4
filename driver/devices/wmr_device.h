// The device class for a Windows Mixed Reality headset: the head fuses the optical
// pose with the headset's IMU read straight from its HID sensor interface.
#pragma once

#include "devices/device_base.h"
#include "fusion/fusion_filter.h"

#include <Eigen/Geometry>

#include <mutex>

class alignas(64) cHalvexWmrDevice : public cHalvexDevice_Base {
public:
    cHalvexWmrDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial);
    ~cHalvexWmrDevice() override;

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;
    bool SetRigidBodyId(int32_t id) override;
    void UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                       double latency) override;

private:
    void ResetFilter();
    // Seam: the HID IMU thread arrives with the HID reader.
    void StartImuThreadSeam();

    Eigen::Quaterniond mAlignment{0.0, 0.0, 1.0, 0.0};  // w, x, y, z: half turn about y
    Eigen::Isometry3d mImuToHead = Eigen::Isometry3d::Identity();
    Eigen::Isometry3d mHeadToImu = Eigen::Isometry3d::Identity();
    halvex::sFusionFilterParams mFusionParams{0.1, 0.0001, 1e-8, 1e-8};
    halvex::cFusionFilter mFusionFilter;
    std::mutex mFilterMutex;  // guards mFusionFilter; taken before mPoseMutex
    bool mRecording = false;
};
