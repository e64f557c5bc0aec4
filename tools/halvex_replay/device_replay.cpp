#include "device_replay.h"

#include "filter_comparison.h"

#include "fusion/fusion_filter.h"
#include "fusion/head_filter_setups.h"

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace halvex::replay {
namespace {

// Where the two head classes differ in driving their filter.
struct sDeviceRules {
    double imuStaleSeconds;
    double opticalHoldSeconds;
    double opticalStaleSeconds;
    bool holdIncludesLimit;        // a pose at exactly the hold age still submits
    bool resetsOnBackwardImuTime;  // a sample not after the last resets the filter first
    bool recordsImuRows;           // imu_pre and imu_post around every IMU sample
    int samplesPerReport;          // staleness judged after each report; 0: after each poll
};
constexpr sDeviceRules kLighthouseRules{0.1, 2.0, 2.0, false, true, false, 0};
constexpr sDeviceRules kWmrRules{0.35, 2.0, 2.5, true, false, true, 4};
// The rigid body's orientation is turned a half turn about y before the IMU offset.
const Eigen::Quaterniond kAlignment(0.0, 0.0, 1.0, 0.0);
// How many IMU samples an optical sample may overtake on its way to the filter.
constexpr size_t kMostOvertaken = 4;

// The device records every sample as received but feeds its filter only these.
bool ImuUsable(const sRawRecord& r) {
    return std::isfinite(r.eventTime) && std::isfinite(r.tx) && std::isfinite(r.ty) && std::isfinite(r.tz) &&
           std::isfinite(r.rx) && std::isfinite(r.ry) && std::isfinite(r.rz);
}

bool OpticalUsable(const sRawRecord& r) {
    const double norm2 = r.rw * r.rw + r.rx * r.rx + r.ry * r.ry + r.rz * r.rz;
    return std::isfinite(norm2) && norm2 > 0.0 && std::isfinite(r.tx) && std::isfinite(r.ty) && std::isfinite(r.tz) &&
           std::isfinite(r.eventTime);
}

class cReplay {
public:
    cReplay(const sRawDataFile& recording, const sReplayOptions& options)
        : mOptions(options),
          mRules(options.device == eReplayDevice::Wmr ? kWmrRules : kLighthouseRules),
          mFilter(options.params) {
        for (int i = 0; i < 3; ++i) {
            mAccelScale[i] = recording.header.factoryAccelScale[i];
            mGyroScale[i] = recording.header.factoryGyroScale[i];
        }
        mImuToHead.setIdentity();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) mImuToHead.matrix()(r, c) = recording.header.imuToHead[r][c];
    }

    sReplayResult Run(const sRawDataFile& recording) {
        const bool wmr = mOptions.device == eReplayDevice::Wmr;
        bool started = false;
        for (const sTimedRow& timed : wmr ? WmrFeedOrder(recording) : FeedOrder(recording)) {
            const sRawRow& row = *timed.row;
            const double now = timed.time;
            const bool imu = row.record.sensorType == kRawSensorImu;
            // The IMU thread resets the filter just before its first poll; optical
            // samples that came earlier met the filter as the device built it.
            if (imu && !started) Reset(0.0, 0, "IMU stream opened");
            // A gap longer than a poll period held a poll that read nothing but
            // still judged staleness; exactly when, the file does not say.
            if (started && mRules.samplesPerReport == 0 && now - mPreviousDriverTime > mOptions.pollPeriod)
                CheckStaleness(now, row.line);
            started = started || imu;
            mPreviousDriverTime = now;
            if (imu) {
                if (mOptions.deviceRows != nullptr && !wmr) Remember(row);
                FeedImu(row);
            } else {
                if (wmr || mOptions.deviceRows == nullptr || !OpticalUsable(row.record) || !FollowDeviceOrder(row))
                    FeedOptical(row);
                mBeforeImu.clear();
            }
        }
        return std::move(mResult);
    }

private:
    struct sTimedRow {
        const sRawRow* row;
        double time;  // when it reached the filter, as far as the files tell
    };

    // Rows in the order they reached the filter. An optical row's driverTime is
    // taken before the frame thread waits for the filter lock; the device's opt_pre
    // row is stamped once it holds it, and IMU rows stamped before that went first.
    std::vector<sTimedRow> FeedOrder(const sRawDataFile& recording) const {
        std::vector<sTimedRow> order;
        size_t optical = 0;
        for (const sRawRow& row : recording.rows) {
            order.push_back({&row, row.record.driverTime});
            if (row.record.sensorType != kRawSensorImu && OpticalUsable(row.record)) ++optical;
        }
        const std::vector<sFilterRow>* device = mOptions.deviceRows;
        if (device == nullptr || device->size() != 2 * optical) return order;
        size_t k = 0;
        for (sTimedRow& timed : order) {
            if (timed.row->record.sensorType == kRawSensorImu || !OpticalUsable(timed.row->record)) continue;
            timed.time = std::max(timed.time, (*device)[2 * k++].record.driverTime);
        }
        std::stable_sort(order.begin(), order.end(),
                         [](const sTimedRow& a, const sTimedRow& b) { return a.time < b.time; });
        return order;
    }

    // A WMR head records a filter row before every sample it takes, IMU or optical,
    // so its filter file tells the order outright: each imu_pre row takes the next
    // IMU row, each opt_pre row the next usable optical row. Unusable optical rows
    // go in where the file has them; what the filter file lacks follows in file order.
    std::vector<sTimedRow> WmrFeedOrder(const sRawDataFile& recording) const {
        std::vector<sTimedRow> order;
        if (mOptions.deviceRows == nullptr) {
            for (const sRawRow& row : recording.rows) order.push_back({&row, row.record.driverTime});
            return order;
        }
        std::vector<const sRawRow*> imu, optical;
        for (const sRawRow& row : recording.rows)
            (row.record.sensorType == kRawSensorImu ? imu : optical).push_back(&row);
        size_t nextImu = 0, nextOptical = 0;
        const auto takeUnusableOptical = [&] {
            while (nextOptical < optical.size() && !OpticalUsable(optical[nextOptical]->record)) {
                order.push_back({optical[nextOptical], optical[nextOptical]->record.driverTime});
                ++nextOptical;
            }
        };
        for (const sFilterRow& device : *mOptions.deviceRows) {
            takeUnusableOptical();
            if (device.record.rowType == FilterRow_ImuPre && nextImu < imu.size()) {
                order.push_back({imu[nextImu], imu[nextImu]->record.driverTime});
                ++nextImu;
            } else if (device.record.rowType == FilterRow_OptPre && nextOptical < optical.size()) {
                order.push_back({optical[nextOptical], optical[nextOptical]->record.driverTime});
                ++nextOptical;
            }
        }
        const size_t fromHere = order.size();
        for (; nextImu < imu.size(); ++nextImu) order.push_back({imu[nextImu], imu[nextImu]->record.driverTime});
        for (; nextOptical < optical.size(); ++nextOptical)
            order.push_back({optical[nextOptical], optical[nextOptical]->record.driverTime});
        std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(fromHere), order.end(),
                         [](const sTimedRow& a, const sTimedRow& b) { return a.row->line < b.row->line; });
        return order;
    }

    // The replay as it stood before an IMU row.
    struct sSnapshot {
        const sRawRow* row;
        cFusionFilter filter;
        double lastImuSampleTime;
        double lastOpticalSampleTime;
        size_t resets;
    };

    void Remember(const sRawRow& row) {
        if (mBeforeImu.size() == kMostOvertaken) mBeforeImu.pop_front();
        mBeforeImu.push_back({&row, mFilter, mLastImuSampleTime, mLastOpticalSampleTime, mResult.resets.size()});
    }

    sFilterRecord Record(const cFusionFilter& filter, double driverTime, int type) const {
        const Eigen::Matrix<double, 18, 1> diagonal = filter.mCovariance.diagonal();
        return MakeFilterRecord(driverTime, type, filter.mState.data(), diagonal.data());
    }

    // When the device's opt_pre row for this optical sample shows the filter as it
    // stood before the last few IMU rows, the sample overtook them: replay it there.
    bool FollowDeviceOrder(const sRawRow& row) {
        const size_t index = mResult.filterRows.size();
        if (index >= mOptions.deviceRows->size()) return false;
        const sFilterRecord& expected = (*mOptions.deviceRows)[index].record;
        if (RowsAgree(Record(mFilter, 0.0, FilterRow_OptPre), expected)) return false;
        for (size_t j = mBeforeImu.size(); j-- > 0;) {
            if (!RowsAgree(Record(mBeforeImu[j].filter, 0.0, FilterRow_OptPre), expected)) continue;
            std::deque<sSnapshot> overtaken(mBeforeImu.begin() + static_cast<std::ptrdiff_t>(j), mBeforeImu.end());
            const sSnapshot& at = overtaken.front();
            mFilter = at.filter;
            mLastImuSampleTime = at.lastImuSampleTime;
            mLastOpticalSampleTime = at.lastOpticalSampleTime;
            mResult.resets.resize(at.resets);
            FeedOptical(row);
            for (const sSnapshot& imu : overtaken) FeedImu(*imu.row);
            ++mResult.reordered;
            return true;
        }
        return false;
    }

    void Reset(double now, long line, const char* reason) {
        mFilter = cFusionFilter(mOptions.params);
        // A calibration takes its biases off every sample: a Lighthouse filter then starts from zero,
        // a WMR one still from the biases it learned in an earlier session (under that calibration).
        if (mOptions.calibration.ImuIsIdentity() || mOptions.device == eReplayDevice::Wmr)
            mFilter.SeedBiases(mOptions.accelBiasSeed, mOptions.gyroBiasSeed);
        else
            mFilter.SeedBiases(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero());
        // Until the new filter submits a pose there is no IMU time to judge.
        mLastImuSampleTime = 0.0;
        mResult.resets.push_back({now, line, reason});
    }

    bool Running() const { return mFilter.mLastImuTime > 0.0 && mFilter.mLastOpticalTime > 0.0; }

    void FeedImu(const sRawRow& row) {
        const sRawRecord& r = row.record;
        if (mRules.recordsImuRows) PushRow(r.driverTime, FilterRow_ImuPre, row.line);
        bool fed = false;
        if (ImuUsable(r)) {
            double accel[3] = {r.tx * mAccelScale[0], r.ty * mAccelScale[1], r.tz * mAccelScale[2]};
            double gyro[3] = {r.rx * mGyroScale[0], r.ry * mGyroScale[1], r.rz * mGyroScale[2]};
            mOptions.calibration.CorrectImu(accel, gyro);
            if (mRules.resetsOnBackwardImuTime && r.eventTime - mFilter.mLastImuTime <= 0.0)
                Reset(r.driverTime, row.line, "negative IMU dt");
            fed = mFilter.AddImuSample(accel, gyro, r.eventTime);
        }
        if (mRules.recordsImuRows) PushRow(r.driverTime, FilterRow_ImuPost, row.line);
        if (mRules.samplesPerReport > 0) {
            // The report's last sample ends the poll: a submission, then the stale check.
            if (++mImuRowsSeen % mRules.samplesPerReport != 0) return;
            SubmitFusedPose(r.driverTime);
        } else if (fed) {
            SubmitFusedPose(r.driverTime);
        }
        CheckStaleness(r.driverTime, row.line);
    }

    // The poll's pose submission: it refreshes the times staleness is judged on.
    void SubmitFusedPose(double now) {
        if (!Running()) return;
        const double opticalAge = now - mLastOpticalSampleTime;
        const bool holds = mRules.holdIncludesLimit ? opticalAge <= mRules.opticalHoldSeconds
                                                    : opticalAge < mRules.opticalHoldSeconds;
        if (!holds || mFilter.BufferCount() == 0 || !mFilter.IsFinite()) return;
        mLastImuSampleTime = mFilter.mLastImuTime;
        mLastOpticalSampleTime = mFilter.mLastOpticalTime;
    }

    void FeedOptical(const sRawRow& row) {
        const sRawRecord& r = row.record;
        if (!OpticalUsable(r)) return;
        const Eigen::Quaterniond received(r.rw, r.rx, r.ry, r.rz);
        Eigen::Isometry3d opticalPose = Eigen::Isometry3d::Identity();
        opticalPose.linear() = (received * kAlignment).toRotationMatrix();
        opticalPose.translation() = Eigen::Vector3d(r.tx, r.ty, r.tz);
        const Eigen::Isometry3d imuPose = mOptions.calibration.DeviceFromOptical(opticalPose) * mImuToHead;
        const Eigen::Vector3d position = imuPose.translation();
        const Eigen::Quaterniond orientation(imuPose.rotation());
        const double filterPosition[3] = {position.x(), position.y(), position.z()};
        const double filterOrientation[4] = {orientation.x(), orientation.y(), orientation.z(), orientation.w()};
        const double time = r.eventTime + mOptions.calibration.opticalTimeOffset + mOptions.opticalLatencyCorrection;

        PushRow(r.driverTime, FilterRow_OptPre, row.line);
        mFilter.AddOpticalSample(filterPosition, mOptions.positionVariance, filterOrientation,
                                 mOptions.orientationVariance, time, 0.0);
        mLastOpticalSampleTime = time;
        PushRow(r.driverTime, FilterRow_OptPost, row.line);
    }

    void CheckStaleness(double now, long line) {
        if (!mFilter.IsFinite()) {
            Reset(now, line, "filter state no longer finite");
            return;
        }
        if (!Running()) return;
        if (mLastImuSampleTime > 0.0 && now - mLastImuSampleTime > mRules.imuStaleSeconds) {
            Reset(now, line, "stale IMU data");
        } else if (now - mLastOpticalSampleTime > mRules.opticalStaleSeconds) {
            Reset(now, line, "stale optical data");
        }
    }

    void PushRow(double driverTime, int type, long line) {
        mResult.filterRows.push_back({Record(mFilter, driverTime, type), line});
    }

    const sReplayOptions mOptions;
    const sDeviceRules mRules;
    cFusionFilter mFilter;
    Eigen::Isometry3d mImuToHead;
    double mAccelScale[3] = {1, 1, 1};
    double mGyroScale[3] = {1, 1, 1};
    // Kept across resets, as the device keeps them.
    double mLastImuSampleTime = 0.0;
    double mLastOpticalSampleTime = 0.0;
    double mPreviousDriverTime = 0.0;
    long mImuRowsSeen = 0;
    std::deque<sSnapshot> mBeforeImu;  // since the last optical row
    sReplayResult mResult;
};

}  // namespace

sReplayOptions DeviceOptions(eReplayDevice device) {
    sReplayOptions options;
    options.device = device;
    if (device == eReplayDevice::Wmr) {
        options.params = kWmrHeadFilterParams;
        options.positionVariance = 0.0001;
    }
    return options;
}

sReplayResult ReplayRecording(const sRawDataFile& recording, const sReplayOptions& options) {
    return cReplay(recording, options).Run(recording);
}

bool IsFreshFilter(const sFilterRecord& record) { return record.covarianceDiagonal[0] >= 1e9; }

}  // namespace halvex::replay
