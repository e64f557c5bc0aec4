#include "fusion_filter.h"
#include "rotation_math.h"

#include <Eigen/Cholesky>

#include <cmath>

namespace halvex {

void cFusionFilter::BringDelayedCopyTo(double time) {
    // Whole steps that end at or before the optical time.
    while (mBufferCount > 0) {
        const sImuRecord& oldest = mBuffer[OldestSlot()];
        if (time < oldest.time) break;
        PropagateDelayed(oldest, oldest.dt);
        mDelayedTime = oldest.time;
        --mBufferCount;
    }
    if (mBufferCount == 0) return;

    // The optical time falls inside the oldest remaining step: take only its first part.
    sImuRecord& oldest = mBuffer[OldestSlot()];
    const double frac = 1.0 - (oldest.time - time) / oldest.dt;
    if (!(frac > 0.0 && frac <= 1.0)) return;
    const double consumed = frac * oldest.dt;
    PropagateDelayed(oldest, consumed);
    oldest.dt -= consumed;
    if (oldest.dt <= 0.0) {
        mDelayedTime = oldest.time;
        --mBufferCount;
    } else {
        mDelayedTime = oldest.time - oldest.dt;
    }
}

void cFusionFilter::ReplayBufferedSteps() {
    for (int32_t k = mBufferCount - 1; k >= 0; --k) {
        const sImuRecord& record = mBuffer[BufferSlot(k)];
        Propagate(mState, mCovariance, record.accelerometer, record.gyroscope, record.dt);
    }
}

sFilterUpdateResult cFusionFilter::AddOpticalSample(const double position[3],
                                                    double positionVariance,
                                                    const double orientation[4],
                                                    double orientationVariance, double time,
                                                    double gate) {
    sFilterUpdateResult result;
    const bool finite = std::isfinite(time) && std::isfinite(positionVariance) && std::isfinite(orientationVariance) &&
                        Eigen::Vector3d(position[0], position[1], position[2]).allFinite() &&
                        Eigen::Vector4d(orientation[0], orientation[1], orientation[2], orientation[3]).allFinite();
    if (!finite || mBufferCount == 0 || mDelayedTime > time) {
        result.status = FilterUpdate_Refused;
        return result;
    }
    mLastOpticalTime = time;

    BringDelayedCopyTo(time);
    mState = mDelayedState;
    mCovariance = mDelayedCovariance;

    Vector6d residual;
    residual.head<3>() = Eigen::Vector3d(position[0], position[1], position[2]) -
                         mState.segment<3>(FusionState_Position);
    const Eigen::Quaterniond measured(orientation[3], orientation[0], orientation[1],
                                      orientation[2]);
    const Eigen::Quaterniond error = QuaternionInverse(Orientation()) * measured;
    residual.tail<3>() = RotationVectorFromQuaternion(error);

    Matrix6x18d measurement = Matrix6x18d::Zero();
    measurement.block<3, 3>(0, 0).setIdentity();
    measurement.block<3, 3>(3, 6).setIdentity();
    Matrix6d measurementNoise = Matrix6d::Zero();
    measurementNoise.diagonal() << positionVariance, positionVariance, positionVariance,
        orientationVariance, orientationVariance, orientationVariance;

    Correct(residual, measurement, measurementNoise, gate, result);

    // A gated sample still moves the delayed copy to the optical time.
    mDelayedState = mState;
    mDelayedCovariance = mCovariance;
    ReplayBufferedSteps();
    return result;
}

void cFusionFilter::Correct(const Vector6d& residual, const Matrix6x18d& measurement,
                            const Matrix6d& measurementNoise, double gate,
                            sFilterUpdateResult& result) {
    result.residual = residual;
    result.status = FilterUpdate_Corrected;

    const Eigen::Matrix<double, 18, 6> covarianceTimesHt = mCovariance * measurement.transpose();
    result.innovationCovariance = measurement * covarianceTimesHt + measurementNoise;
    // An indefinite S is not reported; the owner sees it in the result.
    const Eigen::LLT<Matrix6d> cholesky(result.innovationCovariance);
    result.innovationCovarianceInverse = cholesky.solve(Matrix6d::Identity());

    result.gain = covarianceTimesHt * result.innovationCovarianceInverse;
    result.correction = result.gain * residual;
    result.mahalanobis = residual.transpose() * result.innovationCovarianceInverse * residual;

    // A NaN gate compares false and so rejects nothing.
    if (gate != 0.0 && result.mahalanobis > gate) {
        result.status = FilterUpdate_Gated;
        return;
    }

    // Joseph form keeps P positive even with the 1e10 priors of a fresh filter.
    const Matrix18d identityMinusKh =
        Matrix18d::Identity() - result.gain * measurement;
    mCovariance = identityMinusKh * mCovariance * identityMinusKh.transpose() +
                  result.gain * measurementNoise * result.gain.transpose();
    InjectError(mState, result.correction);
}

void cFusionFilter::InjectError(Vector19d& state, const Vector18d& errorEstimate) {
    state.segment<3>(FusionState_Position) += errorEstimate.segment<3>(0);
    state.segment<3>(FusionState_Velocity) += errorEstimate.segment<3>(3);
    const Eigen::Quaterniond q(state[6], state[7], state[8], state[9]);
    const Eigen::Quaterniond corrected =
        NormalizedIfNonZero(q * QuaternionFromRotationVector(errorEstimate.segment<3>(6)));
    state[6] = corrected.w();
    state[7] = corrected.x();
    state[8] = corrected.y();
    state[9] = corrected.z();
    state.segment<3>(FusionState_AccelBias) += errorEstimate.segment<3>(9);
    state.segment<3>(FusionState_GyroBias) += errorEstimate.segment<3>(12);
    state.segment<3>(FusionState_Gravity) += errorEstimate.segment<3>(15);
}

}  // namespace halvex
