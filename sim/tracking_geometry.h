// The geometry that ties the simulated world together, shared by the simulated
// mocap server and the simulated headset so that both tell the same truth.
//
// A scenario moves the headset's IMU frame through the tracking space (the motion
// M(t) the IMU senses). The head frame sits at a fixed offset from it (head-from-IMU,
// the headset's published IMU-to-head transform), and the mocap system sees the
// head's rigid body with the driver's half-turn alignment A (about y) undone:
//
//   rigid body R(t) = M(t) * headFromImu^-1 * A^-1
//   world head W(t) = A * R(t) * A           (what the runtime shows)
//                   = A * M(t) * headFromImu^-1
//
// Every rigid body a server streams follows this rule, with its own seed (its ID),
// so a body used as a controller is simply another headset-like motion.
#pragma once

#include "sim/motion_scenario.h"

#include <Eigen/Geometry>

#include <cstdint>

namespace sim {

// The alignment between the mocap frame and the runtime's world: a half turn about y.
Eigen::Quaterniond WorldFromTracking();

// IMU frame to head frame of the simulated headset: a few centimetres behind and
// above the eyes, tilted slightly, as real headsets are.
Eigen::Isometry3d HeadsetImuToHead();

// The scenario's seed for a rigid body, so bodies move differently but reproducibly.
uint32_t SeedForRigidBody(int32_t rigidBodyId);

// The rigid-body pose a mocap server streams (noise-free) for the IMU motion `imu`,
// for a headset whose true IMU-to-head transform is HeadsetImuToHead() * `imuToHeadError`,
// and a rigid body whose pose in the true head frame is `rigidBodyInHead`:
//   R(t) = M(t) * trueImuToHead^-1 * rigidBodyInHead * A^-1
// The truth is always taken with `rigidBodyInHead` the identity: the body's true frame.
Eigen::Isometry3d StreamedRigidBodyPose(const sMotionState& imu,
                                        const Eigen::Isometry3d& imuToHeadError = Eigen::Isometry3d::Identity(),
                                        const Eigen::Isometry3d& rigidBodyInHead = Eigen::Isometry3d::Identity());

// The head pose a runtime shows for that rigid body: A * R * A * driverFromHead.
Eigen::Isometry3d WorldPoseOfRigidBody(const Eigen::Isometry3d& rigidBody, const Eigen::Isometry3d& driverFromHead);

Eigen::Isometry3d ToIsometry(const Eigen::Vector3d& position, const Eigen::Quaterniond& orientation);

}  // namespace sim
