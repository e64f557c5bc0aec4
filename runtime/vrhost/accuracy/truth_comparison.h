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
#pragma once

#include "vrhost/accuracy/pose_math.h"
#include "vrhost/accuracy/pose_observer.h"
#include "vrhost/accuracy/quantile_histogram.h"

#include "sim/motion_scenario.h"

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
    double orientationP99Deg = std::numeric_limits<double>::quiet_NaN();
};

// The truth a runtime should show at driver time `t` for a body moving as
// `motion` (the IMU frame's motion), with `driverFromHead` as defined above.
sWorldPose TruthWorldPose(const sim::cMotionScenario& motion, double t, const vr::HmdQuaternion_t& driverFromHeadRotation,
                          const double driverFromHeadTranslation[3]);

// Position error in metres and orientation error in radians between two world poses.
double PositionError(const sWorldPose& a, const sWorldPose& b);
double OrientationError(const sWorldPose& a, const sWorldPose& b);

class cTruthComparison final : public cIPoseObserver {
public:
    // Throws cHostError for an unknown scenario name.
    cTruthComparison(const std::string& scenario, double settleSeconds);

    // The device with this serial shows rigid body `rigidBodyId`.
    void AddBody(const std::string& serial, int32_t rigidBodyId, bool imuStream);

    void OnPoseUpdate(const std::string& serial, const sPoseUpdate& update) override;

    // One report per body that sent at least one pose, by device index.
    std::vector<sAccuracyReport> Reports() const;

private:
    struct sBody {
        int32_t rigidBodyId = 0;
        bool imuStream = false;
        std::unique_ptr<sim::cMotionScenario> motion;
        vr::TrackedDeviceIndex_t index = vr::k_unTrackedDeviceIndexInvalid;
        bool seenValid = false;
        double settledFrom = 0.0;
        double firstCounted = 0.0;
        double lastCounted = 0.0;
        uint64_t validPoses = 0;
        cQuantileHistogram ageMs;
        cQuantileHistogram positionMm;
        cQuantileHistogram orientationDeg;
    };

    const std::string mScenario;
    const double mSettleSeconds;
    mutable std::mutex mMutex;
    std::map<std::string, sBody> mBodies;
};

}  // namespace vrhost
