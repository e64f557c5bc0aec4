// The WMR device's report poll: one HID report read, decoded, and its four IMU
// samples taken into recording and filter.
#include "devices/wmr_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"
#include "wmr/report_dump.h"

#include <cstring>

namespace {

// Process-wide, never reset; they only decide which calls log.
std::atomic<int32_t> gPolls{0};
std::atomic<int32_t> gReadErrors{0};
std::atomic<int32_t> gReports{0};
std::atomic<int32_t> gOtherIds{0};

int32_t Count(std::atomic<int32_t>& counter) { return counter.fetch_add(1, std::memory_order_relaxed) + 1; }

bool EveryThousandth(int32_t count) { return count % 1000 == 0; }

}  // namespace

cHalvexWmrDevice::ePoll cHalvexWmrDevice::PollImu_ImuThread() {
    const int32_t poll = Count(gPolls);
    if (DebugLogging() && EveryThousandth(poll)) DriverLog("PollImu_ImuThread count=%d", poll);

    uint32_t error = 0;
    const halvex::platform::eHidRead read = mImuLink.ReadReport(mStopSignal, error);
    if (read == halvex::platform::eHidRead::Stopped || read == halvex::platform::eHidRead::Timeout) return ePoll::NoReport;
    if (read == halvex::platform::eHidRead::Error) {
        mLastReadError = error;
        if (!mImuLink.Settled()) {
            // A wrong candidate failing only moves the ring on. Its errors come at once,
            // so the ring waits as a silent candidate would and logs them only when asked.
            if (DebugLogging()) DriverLog("Error reading IMU: %u\n", error);
            WaitForStop_ImuThread(halvex::wmr::cWmrImuLink::kUnsettledReadSeconds);
            return ePoll::NoReport;
        }
        DriverLog("Error reading IMU: %u\n", error);
        if (DebugLogging(2) && EveryThousandth(Count(gReadErrors)))
            DriverLog("PollImu_ImuThread: Early Return: Error reading IMU: %u count=%d", error, poll);
        return ePoll::DeviceLost;
    }
    const uint8_t* bytes = mImuLink.ReportBuffer().data();
    const size_t length = mImuLink.ReportLength();
    if (length == 0) {
        if (DebugLogging()) DriverLog("PollImu_ImuThread: Early Return bProcessedNewSamples == false");
        return ePoll::NoReport;
    }
    if (DebugLogging(2)) {
        if (EveryThousandth(Count(gReports)))
            DriverLog("PollImu_ImuThread: pReport->id = %d reportSize = %d callCount=%d", bytes[0], static_cast<int>(length),
                      poll);
        DumpSensorReport();
    }
    // Only what this read delivered: a short report is no sensor report, whatever the
    // buffer still holds of an earlier one.
    halvex::wmr::sWmrInputReport_Sensors report;
    if (!halvex::wmr::ReadSensorReport(bytes, length, report)) {
        if (DebugLogging(2) && EveryThousandth(Count(gOtherIds)))
            DriverLog("PollImu_ImuThread report->id = %d callCount=%d", bytes[0], poll);
        if (DebugLogging()) DriverLog("PollImu_ImuThread: Early Return bProcessedNewSamples == false");
        return ePoll::NoReport;
    }
    const bool recording = mRecorder.Enabled();
    if (recording) {
        halvex::sReportRecord record;
        record.driverTime = DriverTimeNow();
        record.size = static_cast<uint32_t>(halvex::wmr::kSensorReportSize);
        std::memcpy(record.bytes, &report, halvex::wmr::kSensorReportSize);
        mImuRawTextRing.push(record);
    }
    halvex::wmr::sWmrImuSample samples[halvex::wmr::kSamplesPerReport];
    const bool clockRestarted = halvex::wmr::DecodeSensorReport(report, DriverTimeNow(), mHeadsetClock, samples);
    if (clockRestarted) {
        const uint64_t ticks = report.timestampGyro[0];
        DriverLog("%s: WMR headset ticks went backwards (now %llu): time base and clock offset start afresh\n",
                  mName.c_str(), static_cast<unsigned long long>(ticks));
        // The filter's samples are dated on the old base: no later sample may follow them.
        if (ImuFeedsPose()) ResetFilter();
    }
    TakeSamples_ImuThread(samples, recording);
    return ePoll::SensorReport;
}

void cHalvexWmrDevice::TakeSamples_ImuThread(
    const halvex::wmr::sWmrImuSample (&samples)[halvex::wmr::kSamplesPerReport], bool recording) {
    const int semantic = static_cast<int>(mSemantic);
    double now = 0.0;
    for (int i = 0; i < halvex::wmr::kSamplesPerReport; ++i) {
        const halvex::wmr::sWmrImuSample& s = samples[i];
        std::unique_lock<std::mutex> lock(mFilterMutex);
        // Stamped under the filter's lock: the raw file keeps the order the filter took samples in.
        now = DriverTimeNow();
        if (recording) {
            mImuRawRing.push(halvex::MakeImuRawRecord(now, s.time, s.linearAcceleration, s.angularVelocity));
            PushFilterRecord(now, halvex::FilterRow_ImuPre);
        }
        if (mProvider->mTrackingType == TrackingType_HalvexOnly) {
            if (DebugLogging()) DriverLog("sem%d index%d processed-%d: TrackingType::TrackingType_HalvexOnly", semantic, i, 1);
            return;
        }
        if (mSemantic != Hmd) {
            if (DebugLogging()) DriverLog("sem%d index%d processed-%d: mSemantic != eSemantic::Hmd", semantic, i, 1);
            return;
        }
        if (DebugLogging()) DriverLog("sem%d index%d processed-%d: standard path", semantic, i, 1);
        if (ImuSampleIsUsable(s.linearAcceleration, s.angularVelocity, s.time)) {
            double accel[3] = {s.linearAcceleration[0], s.linearAcceleration[1], s.linearAcceleration[2]};
            double gyro[3] = {s.angularVelocity[0], s.angularVelocity[1], s.angularVelocity[2]};
            // Recorded as read: a replay applies the calibration written beside the recording likewise.
            mCalibration.CorrectImu(accel, gyro);
            mFusionFilter.AddImuSample(accel, gyro, s.time);
            if (DebugLogging())
                DriverLog("sem%d index%d: add IMU sample linAcc=%lf/%lf angVel=%lf/%lf/%lf/%lf time=%lf rawTime=%lf", semantic,
                          i, s.linearAcceleration[0], s.linearAcceleration[1], s.linearAcceleration[2],
                          s.angularVelocity[0], s.angularVelocity[1], s.angularVelocity[2], s.time, s.rawTime);
        }
        if (recording) PushFilterRecord(now, halvex::FilterRow_ImuPost);
    }
    {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        NoteLearnedBiasesLocked();
    }
    SubmitFusedPoseOrInvalidate(now);
    CheckStaleness(now);
    if (DebugLogging()) DriverLog("PollImu_ImuThread: Normal Return");
}

void cHalvexWmrDevice::DumpSensorReport() const {
    halvex::wmr::DumpSensorReport(mImuLink.ReportBuffer().data(), mImuLink.ReportLength(),
                                  [](const char* line) { DriverLog("%s", line); });
}
