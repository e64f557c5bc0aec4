// The end-of-session summary: line oriented, one record per line, "kind key=value
// ...", strings double-quoted with escapes, so shell scripts and tests parse it
// with a split. Between the lines "--- vrhost summary ---" and "--- end of summary ---".
#pragma once

#include "vrhost/host/host_records.h"
#include "vrhost/world/imu_stream.h"
#include "vrhost/interfaces/property_store.h"
#include "vrhost/accuracy/truth_comparison.h"

#include <openvr_driver.h>

#include <optional>
#include <string>
#include <vector>

namespace vrhost {

struct sSummaryData {
    std::string driverName;
    std::string library;
    bool initCalled = false;
    vr::EVRInitError initResult = vr::VRInitError_None;
    uint64_t frames = 0;
    double runSeconds = 0.0;
    uint64_t logMessages = 0;
    std::optional<std::string> hmdTrackingSystem;
    std::string hmdSerial;
    std::vector<sPropertyRecord> hmdProperties;
    std::vector<sDeviceRecord> devices;
    std::vector<std::vector<sPropertyRecord>> deviceProperties;  // parallel to devices
    uint64_t rejectedPoseUpdates = 0;
    // With a scenario only.
    std::optional<std::string> scenario;
    double settleSeconds = 0.0;
    double displayPredictionSeconds = 0.0;
    std::vector<sAccuracyReport> accuracy;
    std::vector<sImuStreamStats> imuStreams;
};

std::string FormatSummary(const sSummaryData& data);

// "VRInitError_Init_InterfaceNotFound" for the codes a driver commonly returns, else "VRInitError_<n>".
std::string InitErrorName(vr::EVRInitError error);
// "GenericTracker", "HMD", ...
const char* DeviceClassName(vr::ETrackedDeviceClass deviceClass);

}  // namespace vrhost
