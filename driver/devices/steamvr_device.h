// The device class for a Lighthouse-tracked headset: head and both controllers.
// The head fuses the optical pose with the headset's IMU stream; controllers and
// an optical-only head pass the optical pose straight through.
#pragma once

#include "devices/fused_device.h"

#include <Eigen/Core>

class alignas(64) cHalvexSteamvrDevice : public cHalvexFusedDevice {
public:
    cHalvexSteamvrDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial);
    ~cHalvexSteamvrDevice() override;

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;

private:
    void SeedNewFilter(halvex::cFusionFilter& filter) override;
    void CompleteRecordingSetup(halvex::sRecordingSetup& setup) override;

    // deviceIndex: the index this activation was given, for the recording's file names.
    void ThreadProc_ImuThread(uint32_t deviceIndex);
    bool DeriveImuPath();
    bool FormatImuPath(const char* format, const char* part);
    bool OpenImuStream();
    void ReadImuCalibration();
    void ProcessImuSamples();
    // Scales a finite sample and feeds it to the filter, recording it first if asked;
    // AddImuSample's result.
    bool FeedImuSample(const vr::ImuSample_t& sample, bool recording);
    // The sample as it came, to the raw recording.
    void RecordImuSample(const vr::ImuSample_t& sample);

    Eigen::Vector3d mFactoryGyroBias = Eigen::Vector3d::Zero();
    Eigen::Vector3d mFactoryGyroScale = Eigen::Vector3d::Ones();
    Eigen::Vector3d mFactoryAccelBias = Eigen::Vector3d::Zero();
    Eigen::Vector3d mFactoryAccelScale = Eigen::Vector3d::Ones();
    vr::IOBufferHandle_t mImuBuffer = vr::k_ulInvalidIOBufferHandle;
    char mImuPath[256] = {};
};
