#include "hosted_runtime.h"

#include "test_support.h"
#include "vrhost/clients/client_device_view.h"
#include "vrhost/clients/client_service.h"
#include "vrhost/host/host.h"

#include "vrhost/accuracy/truth_comparison.h"
#include "vrhost/world/simulated_world.h"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex::test {

namespace {
constexpr double kDegreesPerRadian = 57.29577951308232;
}  // namespace

struct cHostedRuntime::sParts {
    std::unique_ptr<vrhost::cHost> host;
    std::unique_ptr<vrhost::cHostDeviceView> view;
    std::unique_ptr<vrhost::cClientService> service;
};

cHostedRuntime::cHostedRuntime(const std::filesystem::path& settingsFile,
                               const std::vector<std::string>& otherControllers, const std::string& scenario,
                               bool realisticSensors)
    : mParts(new sParts) {
    vrhost::sHostOptions options;
    options.settingsFile = settingsFile.u8string();
    options.scenario = scenario;
    if (realisticSensors) options.sensorProfile = sim::eSensorProfile::Realistic;
    mParts->host = std::make_unique<vrhost::cHost>(options);
    mParts->host->LoadDriver(DriverFolder());
    std::vector<vrhost::sOtherController> controllers;
    for (const std::string& text : otherControllers) {
        vrhost::sOtherController controller;
        EXPECT_TRUE(vrhost::ParseOtherController(text, controller)) << text;
        controllers.push_back(controller);
    }
    mParts->view = std::make_unique<vrhost::cHostDeviceView>(*mParts->host, controllers);
    mParts->service = std::make_unique<vrhost::cClientService>(mParts->host->Settings(), *mParts->view, settingsFile);
}

cHostedRuntime::~cHostedRuntime() { Stop(); }

bool cHostedRuntime::Start() {
    std::string error;
    if (!mParts->service->Start(error)) {
        ADD_FAILURE() << error;
        return false;
    }
    const vr::EVRInitError result = mParts->host->Init();
    EXPECT_EQ(result, vr::VRInitError_None);
    mParts->host->RunFrames(3);
    return result == vr::VRInitError_None;
}

bool cHostedRuntime::RunUntil(const std::function<bool()>& done, double seconds) {
    return halvex::test::RunUntil(*mParts->host, done, seconds);
}

void cHostedRuntime::Stop() {
    if (!mParts->host) return;
    mParts->service->Stop(0);
    mParts->host->Cleanup();
    mParts->service.reset();
    mParts->view.reset();
    mParts->host.reset();
}

bool cHostedRuntime::HeadPoseValid() const {
    for (const vrhost::sDeviceRecord& device : mParts->host->Devices()) {
        if (device.serial == "halvex-head" && device.hasLastPose && device.lastPose.pose.poseIsValid) return true;
    }
    return false;
}

bool cHostedRuntime::HeadErrorSince(double from, double& positionRmsMm, double& orientationRmsDeg,
                                    size_t& samples) const {
    samples = 0;
    vrhost::cSimulatedWorld* world = mParts->host ? mParts->host->World() : nullptr;
    if (!world) return false;
    vr::TrackedDeviceIndex_t head = vr::k_unTrackedDeviceIndexInvalid;
    for (const vrhost::sDeviceRecord& device : mParts->host->Devices())
        if (device.serial == "halvex-head") head = device.index;
    double position = 0.0, orientation = 0.0;
    for (const vrhost::sPoseUpdate& update : mParts->host->PoseUpdates()) {
        if (update.deviceIndex != head || update.hostTime < from || !update.pose.poseIsValid) continue;
        vrhost::sWorldPose truth;
        if (!world->Truth().TruthOfUpdate("halvex-head", update, truth)) continue;
        position += std::pow(vrhost::PositionError(update.world, truth) * 1000.0, 2);
        orientation += std::pow(vrhost::OrientationError(update.world, truth) * kDegreesPerRadian, 2);
        ++samples;
    }
    if (samples == 0) return false;
    positionRmsMm = std::sqrt(position / samples);
    orientationRmsDeg = std::sqrt(orientation / samples);
    return true;
}

}  // namespace halvex::test

namespace halvex::test {

std::string cHostedRuntime::Log() const {
    std::string text;
    if (mParts->host) {
        for (const std::string& line : mParts->host->Log()) text += line + (line.empty() || line.back() != '\n' ? "\n" : "");
    }
    return text;
}

}  // namespace halvex::test
