// Error-state Kalman filter of the head pose: IMU propagation with optical
// corrections applied at the optical sample's own (earlier) time.
//
// A plain value: no heap memory, no lock (the owner guards it), copyable as a
// whole. Fields are public because the owning device reads them to build its
// pose and seeds the bias states after a reset (see SeedBiases).
#pragma once

#include "covariance_step.h"
#include "filter_update_result.h"
#include "fusion_filter_params.h"
#include "imu_record.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>

namespace halvex {

using Vector19d = Eigen::Matrix<double, 19, 1>;
using Matrix6x18d = Eigen::Matrix<double, 6, 18>;
using Matrix6d = Eigen::Matrix<double, 6, 6>;
using Vector6d = Eigen::Matrix<double, 6, 1>;

// Index of the first element of each part of the 19-value nominal state.
enum eFusionStateIndex : int {
    FusionState_Position = 0,
    FusionState_Velocity = 3,
    FusionState_Orientation = 6,  // w, x, y, z
    FusionState_AccelBias = 10,
    FusionState_GyroBias = 13,
    FusionState_Gravity = 16,
};

class cFusionFilter {
public:
    static constexpr int32_t kImuBufferSize = 50;
    static constexpr double kNoDelayedTime = 1.7976931348623157e308;

    explicit cFusionFilter(const sFusionFilterParams& params);

    // The variances a new filter's bias states start from.
    static double InitialAccelBiasVariance(const sFusionFilterParams& params);
    static double InitialGyroBiasVariance(const sFusionFilterParams& params);

    // False when the sample only started the clock, or was refused as not finite.
    bool AddImuSample(const double accelerometer[3], const double gyroscope[3], double time);

    // orientation is x, y, z, w. A non-finite sample is refused.
    sFilterUpdateResult AddOpticalSample(const double position[3], double positionVariance,
                                         const double orientation[4], double orientationVariance,
                                         double time, double gate);

    // One IMU step of a nominal state and its covariance; a no-op before the first optical fix.
    void Propagate(Vector19d& state, Matrix18d& covariance, const Eigen::Vector3d& accelerometer,
                   const Eigen::Vector3d& gyroscope, double dt) const;
    Matrix18d ProcessNoise(double dt) const;

    // Measurement update of mState / mCovariance.
    void Correct(const Vector6d& residual, const Matrix6x18d& measurement,
                 const Matrix6d& measurementNoise, double gate, sFilterUpdateResult& result);
    static void InjectError(Vector19d& state, const Vector18d& errorEstimate);

    // Sets both bias states and makes the delayed copy agree with the current state.
    void SeedBiases(const Eigen::Vector3d& accelBias, const Eigen::Vector3d& gyroBias);

    // k = 0 is the newest record; k < BufferCount().
    const sImuRecord& BufferedRecord(int32_t k) const { return mBuffer[BufferSlot(k)]; }
    int32_t BufferCount() const { return mBufferCount; }
    int32_t BufferHead() const { return mBufferHead; }

    // False once a NaN or infinity has got into the state or a covariance: the
    // filter cannot recover from that by itself and must be rebuilt.
    bool IsFinite() const;

    Eigen::Vector3d Position() const { return mState.segment<3>(FusionState_Position); }
    Eigen::Vector3d Velocity() const { return mState.segment<3>(FusionState_Velocity); }
    Eigen::Quaterniond Orientation() const;

    sFusionFilterParams mParams;
    Vector19d mState;
    Matrix18d mCovariance;
    double mLastImuTime = 0.0;
    double mLastOpticalTime = 0.0;
    Vector19d mDelayedState;
    Matrix18d mDelayedCovariance;
    double mDelayedTime = kNoDelayedTime;
    int32_t mBufferHead = 0;
    int32_t mBufferCount = 0;
    sImuRecord mBuffer[kImuBufferSize];

private:
    int32_t BufferSlot(int32_t k) const { return (mBufferHead + k) % kImuBufferSize; }
    int32_t OldestSlot() const { return BufferSlot(mBufferCount - 1); }
    void StoreRecord(const sImuRecord& record);
    void PropagateDelayed(const sImuRecord& record, double dt);
    void BringDelayedCopyTo(double time);
    void ReplayBufferedSteps();
};

}  // namespace halvex
