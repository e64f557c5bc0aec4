// Compares every pose a device submits, turned into the world pose as a runtime
// does, with the true pose of the body at the pose's own time (host time plus
// the pose's time offset). Each body follows the scenario seeded by its rigid
// body ID; the truth is the head pose the geometry in sim/tracking_geometry.h
// defines for that body:
//   - a device fed by an IMU stream takes its IMU-to-head transform from the
//     stream and reports the pose of the IMU frame, so the runtime shows the
//     body's head frame itself: truth = WorldPoseOfRigidBody(R(t), identity);
//   - a device without a stream keeps its own fixed mounting offset, so the
//     truth carries the driver-from-head that the pose itself reports.
// Only valid poses count, and only from `settleSeconds` after a device's first
// valid pose. Thread-safe.
//
// That is what the driver claims. What the wearer sees is compared at each display
// refresh: the runtime takes each device's newest pose, carries it forward to the
// moment the picture is lit (refresh time plus the prediction interval) with the
// pose's velocity and angular velocity (pose_prediction.h), and the truth is taken
// at that moment.
#pragma once

#include "vrhost/accuracy/pose_math.h"
#include "vrhost/accuracy/pose_observer.h"
#include "vrhost/accuracy/quantile_histogram.h"

#include "sim/motion_scenario.h"

#include <Eigen/Geometry>

#include <openvr_driver.h>

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vrhost {

struct sAccuracyReport {
    vr::TrackedDeviceIndex_t index = vr::k_unTrackedDeviceIndexInvalid;
    std::string serial;
    int32_t rigidBodyId = 0;
    bool imuStream = false;
    uint64_t validPoses = 0;  // all valid updates, settling included
    uint64_t samples = 0;     // compared with the truth
    double updatesPerSecond = 0.0;
    double poseAgeMeanMs = std::numeric_limits<double>::quiet_NaN();
    double poseAgeP99Ms = std::numeric_limits<double>::quiet_NaN();
    double positionRmsMm = std::numeric_limits<double>::quiet_NaN();
    double positionP99Mm = std::numeric_limits<double>::quiet_NaN();
    double orientationRmsDeg = std::numeric_limits<double>::quiet_NaN();
    double orientationMedianDeg = std::numeric_limits<double>::quiet_NaN();
    double orientationP99Deg = std::numeric_limits<double>::quiet_NaN();
    // At display refreshes: the newest pose carried forward to display time.
    uint64_t displaySamples = 0;
    double displayCarryMeanMs = std::numeric_limits<double>::quiet_NaN();  // display time - pose time
    double displayPositionRmsMm = std::numeric_limits<double>::quiet_NaN();
    double displayPositionP99Mm = std::numeric_limits<double>::quiet_NaN();
    double displayOrientationRmsDeg = std::numeric_limits<double>::quiet_NaN();
    double displayOrientationP99Deg = std::numeric_limits<double>::quiet_NaN();
};

// The truth a runtime should show at driver time `t` for a body moving as
// `motion` (the IMU frame's motion), with `driverFromHead` as defined above.
// `imuToHeadError`: how far the headset's true IMU-to-head transform is from the published one.
sWorldPose TruthWorldPose(const sim::cMotionScenario& motion, double t, const vr::HmdQuaternion_t& driverFromHeadRotation,
                          const double driverFromHeadTranslation[3],
                          const Eigen::Isometry3d& imuToHeadError = Eigen::Isometry3d::Identity());

// Position error in metres and orientation error in radians between two world poses.
double PositionError(const sWorldPose& a, const sWorldPose& b);
double OrientationError(const sWorldPose& a, const sWorldPose& b);

class cTruthComparison final : public cIPoseObserver {
public:
    // Throws cHostError for an unknown scenario name. `displayPredictionSeconds`: from
    // a display refresh to the photons.
    // `scenarioEpoch`: the monotonic second the scenario starts at (sim/scenario_epoch.h).
    cTruthComparison(const std::string& scenario, double settleSeconds, double displayPredictionSeconds = 0.0,
                     double scenarioEpoch = 0.0);

    // The device with this serial shows rigid body `rigidBodyId`.
    void AddBody(const std::string& serial, int32_t rigidBodyId, bool imuStream,
                 const Eigen::Isometry3d& imuToHeadError = Eigen::Isometry3d::Identity());
    // With an Oculus headset every device reports the rigid body's own frame, without
    // the half turn a Lighthouse-class device adds on the right: truth = A * R(t) * D.
    void SetDevicesReportRigidBodyFrame(bool rigidBodyFrame);

    void OnPoseUpdate(const std::string& serial, const sPoseUpdate& update) override;
    // A display refresh at host time `refreshTime`.
    void OnDisplayRefresh(double refreshTime);

    // The truth for this update of device `serial`; false for a device it does not know.
    bool TruthOfUpdate(const std::string& serial, const sPoseUpdate& update, sWorldPose& truth) const;

    // One report per body that sent at least one pose, by device index.
    std::vector<sAccuracyReport> Reports() const;

private:
    struct sBody {
        int32_t rigidBodyId = 0;
        bool imuStream = false;
        std::unique_ptr<sim::cMotionScenario> motion;
        Eigen::Isometry3d imuToHeadError = Eigen::Isometry3d::Identity();
        vr::TrackedDeviceIndex_t index = vr::k_unTrackedDeviceIndexInvalid;
        bool seenValid = false;
        double settledFrom = 0.0;
        double firstCounted = 0.0;
        double lastCounted = 0.0;
        uint64_t validPoses = 0;
        cQuantileHistogram ageMs;
        cQuantileHistogram positionMm;
        cQuantileHistogram orientationDeg;
        bool hasNewest = false;
        vr::DriverPose_t newest{};
        double newestTime = 0.0;  // the pose's own time
        cQuantileHistogram displayCarryMs;
        cQuantileHistogram displayPositionMm;
        cQuantileHistogram displayOrientationDeg;
    };

    // The world pose a runtime should show at time t for this body and pose.
    sWorldPose TruthFor(const sBody& body, const vr::DriverPose_t& pose, double t) const;

    const std::string mScenario;
    const double mSettleSeconds;
    const double mDisplayPredictionSeconds;
    const double mScenarioEpoch;
    mutable std::mutex mMutex;
    bool mRigidBodyFrame = false;
    std::map<std::string, sBody> mBodies;
};

}  // namespace vrhost
