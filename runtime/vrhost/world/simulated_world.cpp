#include "vrhost/world/simulated_world.h"

#include "vrhost/world/imu_calibration.h"
#include "vrhost/world/imu_producer.h"
#include "vrhost/world/imu_stream_paths.h"
#include "vrhost/world/oculus_headset.h"
#include "vrhost/interfaces/io_buffer.h"
#include "vrhost/interfaces/property_store.h"
#include "vrhost/interfaces/settings_store.h"
#include "vrhost/world/tracked_body_slots.h"
#include "vrhost/world/wmr_hid_device.h"

#include "sim/scenario_epoch.h"
#include "sim/sensor_profile.h"
#include "sim/tracking_geometry.h"

#include <limits>

namespace vrhost {
namespace {

constexpr const char* kOverridesSection = "TrackingOverrides";

}  // namespace

cSimulatedWorld::cSimulatedWorld(const sHostOptions& options, const std::string& driverName, cSettingsStore& settings,
                                 cPropertyStore& properties, cIOBuffer& ioBuffer)
    : mOptions(options),
      mProperties(properties),
      mTruth(std::make_unique<cTruthComparison>(options.scenario, options.settleSeconds,
                                                          options.displayPredictionSeconds, options.scenarioEpoch)) {
    const SettingsSection overrides = settings.Section(kOverridesSection);
    const bool wmrHeadset = options.hmdTrackingSystem && *options.hmdTrackingSystem == "holographic";
    for (const sTrackedBodySlot& slot : TrackedBodySlots()) {
        // An empty slot (ID 0) has no device; the headset still moves and has its IMU.
        const int32_t id = RigidBodyIdOf(settings, slot);
        std::vector<std::string> paths;
        bool ownStream = false;  // the stream this device itself opens
        if (slot.isHead && options.hmdTrackingSystem && *options.hmdTrackingSystem == "lighthouse") {
            paths.push_back(HeadsetImuStreamPath(options.hmdSerial));
            ownStream = true;
        }
        if (slot.isHead && options.hmdTrackingSystem && *options.hmdTrackingSystem == "oculus") {
            ConfigureOculusChild(options.scenario, id, options.scenarioEpoch);
            mTruth->SetDevicesReportRigidBodyFrame(true);
        }
        if (slot.isHead && wmrHeadset) {
            mWmrHid = std::make_unique<cWmrHidDevice>(options, id);
            ownStream = true;  // the WMR head fuses its own IMU, at the head frame
        }
        for (const auto& [key, value] : overrides) {
            if (id == 0 || value.kind != sSettingValue::eKind::String || value.text.empty()) continue;
            const std::optional<std::string> serial = SerialOfDevicePath(key, driverName);
            if (!serial || *serial != slot.serial) continue;
            paths.push_back(ImuStreamPathForOverride(value.text));
            // A head's own stream is the headset's, whatever it overrides; the devices
            // of a WMR headset read no stream at all.
            if (!slot.isHead && !wmrHeadset) ownStream = true;
        }
        for (const std::string& path : paths) {
            std::shared_ptr<cImuStream> stream = MakeStream(path, slot.serial, id);
            stream->SetAvailableFrom(std::numeric_limits<double>::infinity());  // until Start
            // Two overrides naming one physical device share its stream.
            if (ioBuffer.AddStream(stream)) mStreams.push_back(std::move(stream));
        }
        if (id != 0)
            mTruth->AddBody(slot.serial, id, ownStream,
                            sim::MakeSensorProfile(options.sensorProfile, sim::SeedForRigidBody(id), options.sensorErrors)
                                .imuToHeadError);
    }
    mProducer = std::make_unique<cImuProducer>(mStreams);
}

cSimulatedWorld::~cSimulatedWorld() { Stop(); }

std::shared_ptr<cImuStream> cSimulatedWorld::MakeStream(const std::string& path, const std::string& serial,
                                                        int32_t rigidBodyId) {
    const uint32_t seed = sim::SeedForRigidBody(rigidBodyId);
    const sim::sSensorProfile sensors = sim::MakeSensorProfile(mOptions.sensorProfile, seed, mOptions.sensorErrors);
    sImuCalibration calibration = ResolveImuCalibration(mOptions.imuCalibration);
    // A factory's biases are off by what it could not calibrate; given ones are exact.
    for (size_t i = 0; i < 3; ++i) {
        if (!mOptions.imuCalibration.gyroBias) calibration.gyroBias[i] += sensors.factoryGyroBiasResidual[static_cast<int>(i)];
        if (!mOptions.imuCalibration.accelBias)
            calibration.accelBias[i] += sensors.factoryAccelBiasResidual[static_cast<int>(i)];
    }
    const vr::PropertyContainerHandle_t container = mProperties.CreateContainer();
    PublishImuCalibration(mProperties, container, calibration);
    auto source = std::make_unique<cImuSampleSource>(
        sim::StartedAt(sim::cMotionScenario::Create(mOptions.scenario, seed), mOptions.scenarioEpoch), seed,
                                                     calibration, sensors.imu);
    return std::make_shared<cImuStream>(path, serial, std::move(source), mOptions.imuQueueLimit, container);
}

void cSimulatedWorld::Start(double now) {
    for (const auto& stream : mStreams) stream->SetAvailableFrom(now + mOptions.imuDelaySeconds);
    mProducer->Start();
    if (mWmrHid) mWmrHid->Start(now);
}

void cSimulatedWorld::Stop() {
    if (mProducer) mProducer->Stop();
    if (mWmrHid) mWmrHid->Stop();
}

std::vector<sImuStreamStats> cSimulatedWorld::StreamStats() const {
    std::vector<sImuStreamStats> stats;
    for (const auto& stream : mStreams) stats.push_back(stream->Stats());
    return stats;
}

}  // namespace vrhost
