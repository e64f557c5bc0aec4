#include "fusion_filter.h"

#include <cmath>

namespace halvex {

namespace {

bool AllFinite(const double* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

}  // namespace

bool cFusionFilter::IsFinite() const {
    return mState.allFinite() && mCovariance.allFinite() && mDelayedState.allFinite() &&
           mDelayedCovariance.allFinite() && std::isfinite(mLastImuTime) && std::isfinite(mLastOpticalTime);
}

double cFusionFilter::InitialAccelBiasVariance(const sFusionFilterParams& params) {
    return params.initialAccelBiasVariance > 0.0 ? params.initialAccelBiasVariance : 10.0 * params.accelBiasWalk;
}

double cFusionFilter::InitialGyroBiasVariance(const sFusionFilterParams& params) {
    return params.initialGyroBiasVariance > 0.0 ? params.initialGyroBiasVariance : 10.0 * params.gyroBiasWalk;
}

cFusionFilter::cFusionFilter(const sFusionFilterParams& params) : mParams(params) {
    mState.setZero();
    mState[FusionState_Orientation] = 1.0;

    // Position, velocity and orientation start practically unconstrained.
    mCovariance.setZero();
    for (int i = 0; i < 9; ++i) mCovariance(i, i) = 1e10;
    const double accelBiasVariance = InitialAccelBiasVariance(params);
    const double gyroBiasVariance = InitialGyroBiasVariance(params);
    for (int i = 9; i < 12; ++i) mCovariance(i, i) = accelBiasVariance;
    for (int i = 12; i < 15; ++i) mCovariance(i, i) = gyroBiasVariance;
    for (int i = 15; i < 18; ++i) mCovariance(i, i) = 100.0;

    mDelayedState = mState;
    mDelayedCovariance = mCovariance;
}

Eigen::Quaterniond cFusionFilter::Orientation() const {
    return Eigen::Quaterniond(mState[6], mState[7], mState[8], mState[9]);
}

void cFusionFilter::SeedBiases(const Eigen::Vector3d& accelBias, const Eigen::Vector3d& gyroBias) {
    mState.segment<3>(FusionState_AccelBias) = accelBias;
    mState.segment<3>(FusionState_GyroBias) = gyroBias;
    mDelayedState = mState;
}

void cFusionFilter::StoreRecord(const sImuRecord& record) {
    const int32_t slot = mBufferHead == 0 ? kImuBufferSize - 1 : mBufferHead - 1;
    mBuffer[slot] = record;
    mBufferHead = slot;
    if (mBufferCount < kImuBufferSize) ++mBufferCount;
}

void cFusionFilter::PropagateDelayed(const sImuRecord& record, double dt) {
    Propagate(mDelayedState, mDelayedCovariance, record.accelerometer, record.gyroscope, dt);
}

bool cFusionFilter::AddImuSample(const double accelerometer[3], const double gyroscope[3],
                                 double time) {
    if (!std::isfinite(time) || !AllFinite(accelerometer, 3) || !AllFinite(gyroscope, 3)) return false;
    if (mLastImuTime == 0.0) {
        mLastImuTime = time;
        return false;
    }
    sImuRecord record;
    record.time = time;
    record.dt = time - mLastImuTime;
    record.accelerometer = Eigen::Vector3d(accelerometer[0], accelerometer[1], accelerometer[2]);
    record.gyroscope = Eigen::Vector3d(gyroscope[0], gyroscope[1], gyroscope[2]);

    if (mBufferCount == kImuBufferSize) {
        // The oldest step leaves the buffer: the delayed copy must take it now.
        const sImuRecord& oldest = mBuffer[OldestSlot()];
        PropagateDelayed(oldest, oldest.dt);
        mDelayedTime = oldest.time;
        mBufferCount = kImuBufferSize - 1;
        StoreRecord(record);
    } else if (mBufferCount == 0) {
        StoreRecord(record);
        const bool integrates = mLastOpticalTime != 0.0;
        PropagateDelayed(record, record.dt);
        mDelayedTime = record.time;
        // The record stays for the owner and the time check, but its step now lives
        // in the delayed copy; a later catch-up must not apply it a second time.
        if (integrates) mBuffer[mBufferHead].dt = 0.0;
    } else {
        StoreRecord(record);
    }

    Propagate(mState, mCovariance, record.accelerometer, record.gyroscope, record.dt);
    mLastImuTime = time;
    return true;
}

}  // namespace halvex
