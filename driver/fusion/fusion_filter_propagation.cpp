#include "fusion_filter.h"
#include "rotation_math.h"

namespace halvex {

Matrix18d cFusionFilter::ProcessNoise(double dt) const {
    Matrix18d noise = Matrix18d::Zero();
    const double dt2 = dt * dt;
    for (int i = 3; i < 6; ++i) noise(i, i) = mParams.accelNoise * dt2;
    for (int i = 6; i < 9; ++i) noise(i, i) = mParams.gyroNoise * dt2;
    for (int i = 9; i < 12; ++i) noise(i, i) = mParams.accelBiasWalk * dt;
    for (int i = 12; i < 15; ++i) noise(i, i) = mParams.gyroBiasWalk * dt;
    return noise;
}

void cFusionFilter::Propagate(Vector19d& state, Matrix18d& covariance,
                              const Eigen::Vector3d& accelerometer,
                              const Eigen::Vector3d& gyroscope, double dt) const {
    // Without an optical fix there is no pose worth integrating from.
    if (mLastOpticalTime == 0.0) return;

    const Eigen::Vector3d a = accelerometer - state.segment<3>(FusionState_AccelBias);
    const Eigen::Vector3d w = gyroscope - state.segment<3>(FusionState_GyroBias);
    const Eigen::Quaterniond q(state[6], state[7], state[8], state[9]);
    const Eigen::Matrix3d rotation = q.toRotationMatrix();
    const Eigen::Quaterniond increment = QuaternionFromRotationVector(w * dt);
    const Eigen::Vector3d worldAcceleration =
        rotation * a + state.segment<3>(FusionState_Gravity);

    const double dt2 = dt * dt;
    // The position step uses the velocity from before this step.
    const Eigen::Vector3d velocity = state.segment<3>(FusionState_Velocity);
    state.segment<3>(FusionState_Position) =
        state.segment<3>(FusionState_Position) + velocity * dt + 0.5 * worldAcceleration * dt2;
    state.segment<3>(FusionState_Velocity) = velocity + worldAcceleration * dt;
    const Eigen::Quaterniond rotated = NormalizedIfNonZero(q * increment);
    state[6] = rotated.w();
    state[7] = rotated.x();
    state[8] = rotated.y();
    state[9] = rotated.z();

    sErrorTransition transition;
    transition.dt = dt;
    transition.velocityFromOrientation = -rotation * SkewMatrix(a) * dt;
    transition.velocityFromAccelBias = -rotation * dt;
    transition.orientationFromOrientation = increment.toRotationMatrix().transpose();

    Vector18d noise = Vector18d::Zero();
    noise.segment<3>(3).setConstant(mParams.accelNoise * dt2);
    noise.segment<3>(6).setConstant(mParams.gyroNoise * dt2);
    noise.segment<3>(9).setConstant(mParams.accelBiasWalk * dt);
    noise.segment<3>(12).setConstant(mParams.gyroBiasWalk * dt);
    PropagateCovarianceStructured(covariance, transition, noise);
}

}  // namespace halvex
