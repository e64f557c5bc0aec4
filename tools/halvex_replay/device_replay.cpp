#include "device_replay.h"

#include "fusion/fusion_filter.h"

#include <Eigen/Geometry>

namespace halvex::replay {
namespace {

// The head device's timing rules.
constexpr double kImuStaleSeconds = 0.1;
constexpr double kOpticalHoldSeconds = 2.0;
constexpr double kOpticalStaleSeconds = 2.0;
// The rigid body's orientation is turned a half turn about y before the IMU offset.
const Eigen::Quaterniond kAlignment(0.0, 0.0, 1.0, 0.0);

class cReplay {
public:
    cReplay(const sRawDataFile& recording, const sReplayOptions& options)
        : mOptions(options), mFilter(options.params) {
        for (int i = 0; i < 3; ++i) {
            mAccelScale[i] = recording.header.factoryAccelScale[i];
            mGyroScale[i] = recording.header.factoryGyroScale[i];
        }
        mImuToHead.setIdentity();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) mImuToHead.matrix()(r, c) = recording.header.imuToHead[r][c];
    }

    sReplayResult Run(const sRawDataFile& recording) {
        // The IMU thread resets the filter before it starts the recording thread.
        Reset(0.0, 0, "IMU stream opened");
        bool first = true;
        for (const sRawRow& row : recording.rows) {
            const double now = row.record.driverTime;
            // A gap longer than a poll period held a poll that read nothing but
            // still judged staleness; exactly when, the file does not say.
            if (!first && now - mPreviousDriverTime > mOptions.pollPeriod) CheckStaleness(now, row.line);
            first = false;
            mPreviousDriverTime = now;
            if (row.record.sensorType == kRawSensorImu) {
                FeedImu(row);
            } else {
                FeedOptical(row);
            }
        }
        return std::move(mResult);
    }

private:
    void Reset(double now, long line, const char* reason) {
        mFilter = cFusionFilter(mOptions.params);
        mFilter.SeedBiases(mOptions.accelBiasSeed, mOptions.gyroBiasSeed);
        mResult.resets.push_back({now, line, reason});
    }

    bool Running() const { return mFilter.mLastImuTime > 0.0 && mFilter.mLastOpticalTime > 0.0; }

    void FeedImu(const sRawRow& row) {
        const sRawRecord& r = row.record;
        const double accel[3] = {r.tx * mAccelScale[0], r.ty * mAccelScale[1], r.tz * mAccelScale[2]};
        const double gyro[3] = {r.rx * mGyroScale[0], r.ry * mGyroScale[1], r.rz * mGyroScale[2]};
        if (r.eventTime - mFilter.mLastImuTime <= 0.0) Reset(r.driverTime, row.line, "negative IMU dt");
        const bool fed = mFilter.AddImuSample(accel, gyro, r.eventTime);
        // The poll's pose submission: it refreshes the times staleness is judged on.
        if (fed && Running() && r.driverTime - mLastOpticalSampleTime < kOpticalHoldSeconds) {
            mLastImuSampleTime = mFilter.mLastImuTime;
            mLastOpticalSampleTime = mFilter.mLastOpticalTime;
        }
        CheckStaleness(r.driverTime, row.line);
    }

    void FeedOptical(const sRawRow& row) {
        const sRawRecord& r = row.record;
        const Eigen::Quaterniond received(r.rw, r.rx, r.ry, r.rz);
        Eigen::Isometry3d opticalPose = Eigen::Isometry3d::Identity();
        opticalPose.linear() = (received * kAlignment).toRotationMatrix();
        opticalPose.translation() = Eigen::Vector3d(r.tx, r.ty, r.tz);
        const Eigen::Isometry3d imuPose = opticalPose * mImuToHead;
        const Eigen::Vector3d position = imuPose.translation();
        const Eigen::Quaterniond orientation(imuPose.rotation());
        const double filterPosition[3] = {position.x(), position.y(), position.z()};
        const double filterOrientation[4] = {orientation.x(), orientation.y(), orientation.z(), orientation.w()};
        const double time = r.eventTime + mOptions.opticalLatencyCorrection;

        PushRow(r.driverTime, FilterRow_OptPre, row.line);
        mFilter.AddOpticalSample(filterPosition, mOptions.positionVariance, filterOrientation,
                                 mOptions.orientationVariance, time, 0.0);
        mLastOpticalSampleTime = time;
        PushRow(r.driverTime, FilterRow_OptPost, row.line);
    }

    void CheckStaleness(double now, long line) {
        if (!Running()) return;
        if (now - mLastImuSampleTime > kImuStaleSeconds) {
            Reset(now, line, "stale IMU data");
        } else if (now - mLastOpticalSampleTime > kOpticalStaleSeconds) {
            Reset(now, line, "stale optical data");
        }
    }

    void PushRow(double driverTime, int type, long line) {
        const Eigen::Matrix<double, 18, 1> diagonal = mFilter.mCovariance.diagonal();
        mResult.filterRows.push_back({MakeFilterRecord(driverTime, type, mFilter.mState.data(), diagonal.data()), line});
    }

    const sReplayOptions mOptions;
    cFusionFilter mFilter;
    Eigen::Isometry3d mImuToHead;
    double mAccelScale[3] = {1, 1, 1};
    double mGyroScale[3] = {1, 1, 1};
    // Kept across resets, as the device keeps them.
    double mLastImuSampleTime = 0.0;
    double mLastOpticalSampleTime = 0.0;
    double mPreviousDriverTime = 0.0;
    sReplayResult mResult;
};

}  // namespace

sReplayResult ReplayRecording(const sRawDataFile& recording, const sReplayOptions& options) {
    return cReplay(recording, options).Run(recording);
}

bool IsFreshFilter(const sFilterRecord& record) { return record.covarianceDiagonal[0] >= 1e9; }

}  // namespace halvex::replay
