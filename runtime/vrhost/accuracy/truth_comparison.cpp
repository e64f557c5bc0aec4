#include "vrhost/accuracy/truth_comparison.h"

#include "vrhost/accuracy/pose_prediction.h"
#include "vrhost/host/host_error.h"

#include "sim/scenario_epoch.h"
#include "sim/tracking_geometry.h"

#include <algorithm>
#include <cmath>

namespace vrhost {
namespace {

constexpr double kRadiansToDegrees = 57.29577951308232;
const double kNoOffset[3] = {0.0, 0.0, 0.0};
const vr::HmdQuaternion_t kNoRotation{1.0, 0.0, 0.0, 0.0};

// A * R * D as TruthWorldPose's A * R * A * D' with D' = A^-1 * D.
sWorldPose RigidBodyFrameTruth(const sim::cMotionScenario& motion, double t, const vr::DriverPose_t& pose,
                               const Eigen::Isometry3d& imuToHeadError);

}  // namespace

sWorldPose TruthWorldPose(const sim::cMotionScenario& motion, double t, const vr::HmdQuaternion_t& driverFromHeadRotation,
                          const double driverFromHeadTranslation[3], const Eigen::Isometry3d& imuToHeadError) {
    const Eigen::Quaterniond rotation(driverFromHeadRotation.w, driverFromHeadRotation.x, driverFromHeadRotation.y,
                                      driverFromHeadRotation.z);
    const Eigen::Vector3d translation(driverFromHeadTranslation[0], driverFromHeadTranslation[1],
                                      driverFromHeadTranslation[2]);
    const Eigen::Isometry3d driverFromHead = sim::ToIsometry(translation, rotation);
    const Eigen::Isometry3d world =
        sim::WorldPoseOfRigidBody(sim::StreamedRigidBodyPose(motion.At(t), imuToHeadError), driverFromHead);
    const Eigen::Quaterniond q(world.rotation());
    sWorldPose pose;
    for (int i = 0; i < 3; ++i) pose.position[i] = world.translation()[i];
    pose.rotation[0] = q.w();
    pose.rotation[1] = q.x();
    pose.rotation[2] = q.y();
    pose.rotation[3] = q.z();
    return pose;
}

namespace {

sWorldPose RigidBodyFrameTruth(const sim::cMotionScenario& motion, double t, const vr::DriverPose_t& pose,
                               const Eigen::Isometry3d& imuToHeadError) {
    const vr::HmdQuaternion_t& q = pose.qDriverFromHeadRotation;
    const Eigen::Isometry3d driverFromHead = sim::ToIsometry(
        Eigen::Vector3d(pose.vecDriverFromHeadTranslation[0], pose.vecDriverFromHeadTranslation[1],
                        pose.vecDriverFromHeadTranslation[2]),
        Eigen::Quaterniond(q.w, q.x, q.y, q.z));
    const Eigen::Isometry3d undone = Eigen::Isometry3d(sim::WorldFromTracking().conjugate()) * driverFromHead;
    const Eigen::Quaterniond rotation(undone.rotation());
    const vr::HmdQuaternion_t undoneRotation{rotation.w(), rotation.x(), rotation.y(), rotation.z()};
    const double undoneTranslation[3] = {undone.translation().x(), undone.translation().y(), undone.translation().z()};
    return TruthWorldPose(motion, t, undoneRotation, undoneTranslation, imuToHeadError);
}

}  // namespace

double PositionError(const sWorldPose& a, const sWorldPose& b) {
    const double dx = a.position[0] - b.position[0];
    const double dy = a.position[1] - b.position[1];
    const double dz = a.position[2] - b.position[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double OrientationError(const sWorldPose& a, const sWorldPose& b) {
    const Eigen::Quaterniond qa(a.rotation[0], a.rotation[1], a.rotation[2], a.rotation[3]);
    const Eigen::Quaterniond qb(b.rotation[0], b.rotation[1], b.rotation[2], b.rotation[3]);
    const Eigen::Quaterniond relative = qa.normalized().conjugate() * qb.normalized();
    // atan2 keeps small angles exact where acos of a dot product would not.
    return 2.0 * std::atan2(relative.vec().norm(), std::fabs(relative.w()));
}

cTruthComparison::cTruthComparison(const std::string& scenario, double settleSeconds,
                                   double displayPredictionSeconds, double scenarioEpoch)
    : mScenario(scenario), mSettleSeconds(settleSeconds), mDisplayPredictionSeconds(displayPredictionSeconds),
      mScenarioEpoch(scenarioEpoch) {
    if (!sim::cMotionScenario::Create(scenario)) throw cHostError("unknown scenario \"" + scenario + "\"");
}

void cTruthComparison::AddBody(const std::string& serial, int32_t rigidBodyId, bool imuStream,
                               const Eigen::Isometry3d& imuToHeadError) {
    std::lock_guard<std::mutex> lock(mMutex);
    sBody& body = mBodies[serial];
    body.rigidBodyId = rigidBodyId;
    body.imuStream = imuStream;
    body.imuToHeadError = imuToHeadError;
    body.motion = sim::StartedAt(sim::cMotionScenario::Create(mScenario, sim::SeedForRigidBody(rigidBodyId)),
                                 mScenarioEpoch);
}

void cTruthComparison::SetDevicesReportRigidBodyFrame(bool rigidBodyFrame) {
    std::lock_guard<std::mutex> lock(mMutex);
    mRigidBodyFrame = rigidBodyFrame;
}

void cTruthComparison::OnPoseUpdate(const std::string& serial, const sPoseUpdate& update) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mBodies.find(serial);
    if (found == mBodies.end()) return;
    sBody& body = found->second;
    body.index = update.deviceIndex;
    if (!update.pose.poseIsValid) {
        body.hasNewest = false;  // the runtime shows no pose of this device now
        return;
    }
    ++body.validPoses;
    if (!body.seenValid) {
        body.seenValid = true;
        body.settledFrom = update.hostTime + mSettleSeconds;
    }
    const double poseTime = update.hostTime + update.pose.poseTimeOffset;
    body.hasNewest = true;
    body.newest = update.pose;
    body.newestTime = poseTime;
    if (update.hostTime < body.settledFrom) return;

    const sWorldPose truth = TruthFor(body, update.pose, poseTime);
    body.ageMs.Add((update.hostTime - poseTime) * 1000.0);
    body.positionMm.Add(PositionError(update.world, truth) * 1000.0);
    body.orientationDeg.Add(OrientationError(update.world, truth) * kRadiansToDegrees);
    if (body.positionMm.Count() == 1) body.firstCounted = update.hostTime;
    body.lastCounted = update.hostTime;
}

sWorldPose cTruthComparison::TruthFor(const sBody& body, const vr::DriverPose_t& pose, double t) const {
    // An Oculus-class device reads no IMU stream, whatever the overrides name.
    if (mRigidBodyFrame) return RigidBodyFrameTruth(*body.motion, t, pose, body.imuToHeadError);
    return body.imuStream ? TruthWorldPose(*body.motion, t, kNoRotation, kNoOffset, body.imuToHeadError)
                          : TruthWorldPose(*body.motion, t, pose.qDriverFromHeadRotation, pose.vecDriverFromHeadTranslation,
                                           body.imuToHeadError);
}

void cTruthComparison::OnDisplayRefresh(double refreshTime) {
    const double displayTime = refreshTime + mDisplayPredictionSeconds;
    std::lock_guard<std::mutex> lock(mMutex);
    for (auto& [serial, body] : mBodies) {
        if (!body.hasNewest || refreshTime < body.settledFrom) continue;
        const double carry = displayTime - body.newestTime;
        const sWorldPose shown = WorldPoseOf(CarriedForward(body.newest, carry));
        const sWorldPose truth = TruthFor(body, body.newest, displayTime);
        body.displayCarryMs.Add(carry * 1000.0);
        body.displayPositionMm.Add(PositionError(shown, truth) * 1000.0);
        body.displayOrientationDeg.Add(OrientationError(shown, truth) * kRadiansToDegrees);
    }
}

bool cTruthComparison::TruthOfUpdate(const std::string& serial, const sPoseUpdate& update, sWorldPose& truth) const {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mBodies.find(serial);
    if (found == mBodies.end()) return false;
    truth = TruthFor(found->second, update.pose, update.hostTime + update.pose.poseTimeOffset);
    return true;
}

std::vector<sAccuracyReport> cTruthComparison::Reports() const {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<sAccuracyReport> reports;
    for (const auto& [serial, body] : mBodies) {
        if (body.index == vr::k_unTrackedDeviceIndexInvalid) continue;
        sAccuracyReport r;
        r.index = body.index;
        r.serial = serial;
        r.rigidBodyId = body.rigidBodyId;
        r.imuStream = body.imuStream;
        r.validPoses = body.validPoses;
        r.samples = body.positionMm.Count();
        const double span = body.lastCounted - body.firstCounted;
        if (r.samples > 1 && span > 0.0) r.updatesPerSecond = static_cast<double>(r.samples - 1) / span;
        if (r.samples > 0) {
            r.poseAgeMeanMs = body.ageMs.Mean();
            r.poseAgeP99Ms = body.ageMs.Quantile(0.99);
            r.positionRmsMm = body.positionMm.Rms();
            r.positionP99Mm = body.positionMm.Quantile(0.99);
            r.orientationRmsDeg = body.orientationDeg.Rms();
            r.orientationMedianDeg = body.orientationDeg.Quantile(0.5);
            r.orientationP99Deg = body.orientationDeg.Quantile(0.99);
        }
        r.displaySamples = body.displayPositionMm.Count();
        if (r.displaySamples > 0) {
            r.displayCarryMeanMs = body.displayCarryMs.Mean();
            r.displayPositionRmsMm = body.displayPositionMm.Rms();
            r.displayPositionP99Mm = body.displayPositionMm.Quantile(0.99);
            r.displayOrientationRmsDeg = body.displayOrientationDeg.Rms();
            r.displayOrientationP99Deg = body.displayOrientationDeg.Quantile(0.99);
        }
        reports.push_back(r);
    }
    std::sort(reports.begin(), reports.end(),
              [](const sAccuracyReport& a, const sAccuracyReport& b) { return a.index < b.index; });
    return reports;
}

}  // namespace vrhost
