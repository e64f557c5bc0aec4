#include "recording/recording_loop.h"

#include "platform/files.h"
#include "platform/known_folders.h"
#include "platform/sleep.h"

#include <chrono>
#include <cstdio>

namespace halvex {
namespace {

class cRecordingWriter {
public:
    explicit cRecordingWriter(const sRecordingSetup& setup) : mSetup(setup) {}
    ~cRecordingWriter() { Close(); }
    cRecordingWriter(const cRecordingWriter&) = delete;
    cRecordingWriter& operator=(const cRecordingWriter&) = delete;

    bool Open() {
        std::string folder = mSetup.logFolder.empty() ? platform::RecordingLogFolder() : mSetup.logFolder;
        if (folder.empty()) {
            Log("Recording disabled for device " + DeviceIndex() + ": no log folder on this system\n");
            return false;
        }
        if (!platform::CreateDirectories(folder)) {
            Log("Recording disabled for device " + DeviceIndex() + ": cannot create log folder '" + folder + "'\n");
            return false;
        }
        if (folder.back() != '/' && folder.back() != '\\') folder += '/';
        mRawPath = RecordingFilePath(folder, mSetup.deviceIndex, "_rawdata.csv");
        mFilterPath = RecordingFilePath(folder, mSetup.deviceIndex, "_filter.csv");
        if (!OpenOne(mRawPath, mRawFile) || (mSetup.filterRing && !OpenOne(mFilterPath, mFilterFile))) {
            Close();
            return false;
        }
        mResult.filesOpened = true;
        Count(WriteRawDataHeader(mRawFile, mSetup.header), mRawPath);
        if (mFilterFile) Count(WriteFilterHeader(mFilterFile), mFilterPath);
        if (mSetup.calibration) {
            // A small file of its own: the CSV formats stay as they are. Whole or absent, so
            // that whoever sees it beside a live recording never reads half of it.
            const std::string path = RecordingFilePath(folder, mSetup.deviceIndex, "_calibration.txt");
            std::string error;
            if (!platform::WriteFileAtomically(path, CalibrationFileText(*mSetup.calibration), error)) {
                Log("Recording for device " + DeviceIndex() + ": cannot write '" + path + "': " + error + "\n");
                ++mResult.failedWrites;
            }
        }
        if (mSetup.reportRing) {
            mReportPath = RecordingFilePath(folder, mSetup.deviceIndex, "_imuraw.csv");
            if (OpenOne(mReportPath, mReportFile)) WriteReportLine(mSetup.reportHeader);
        }
        return true;
    }

    void Run(const std::atomic<bool>& stop) {
        while (!stop.load(std::memory_order_acquire)) {
            if (WriteOneRawRow()) continue;
            // Producers are idle or a lone row is settling: make the files current and wait.
            Flush(mRawFile, mRawPath);
            DrainFilterRing(cFilterRecordRing::kCapacity);
            if (mFilterFile) Flush(mFilterFile, mFilterPath);
            DrainReportRing();
            platform::SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(1));
        }
        // What was pushed before the stop still goes out, and only that: producers may
        // still be running, and what they push later would be a sample cut in half.
        uint32_t filterLeft = 0;
        {
            std::unique_lock<std::mutex> samples;
            if (mSetup.sampleLock) samples = std::unique_lock<std::mutex>(*mSetup.sampleLock);
            mImuLeft = mSetup.imuRawRing ? mSetup.imuRawRing->size() : 0;
            mOpticalLeft = mSetup.opticalRawRing ? mSetup.opticalRawRing->size() : 0;
            filterLeft = mSetup.filterRing ? mSetup.filterRing->size() : 0;
            mCounted = true;
        }
        while (WriteOneRawRow(/*settled=*/true)) {
        }
        DrainFilterRing(filterLeft);
        DrainReportRing();
    }

    sRecordingResult Finish() {
        Close();
        return mResult;
    }

private:
    std::string DeviceIndex() const { return std::to_string(mSetup.deviceIndex); }

    void Log(const std::string& line) const {
        if (mSetup.log) mSetup.log(line.c_str());
    }

    bool OpenOne(const std::string& path, std::FILE*& file) {
        file = platform::OpenFile(path, "wb");
        if (!file) Log("Recording disabled for device " + DeviceIndex() + ": cannot open '" + path + "'\n");
        return file != nullptr;
    }

    // Counts a refused write; the first one is logged, recording goes on.
    bool Count(bool written, const std::string& path) {
        if (!written) {
            if (mResult.failedWrites++ == 0) {
                Log("Recording for device " + DeviceIndex() + ": cannot write to '" + path + "'\n");
            }
        }
        return written;
    }

    void Flush(std::FILE* file, const std::string& path) { Count(std::fflush(file) == 0, path); }

    // Takes the earlier of the two ring fronts by driverTime, optical first on equal
    // times; a lone front only once it has settled. False when no row was written.
    bool WriteOneRawRow(bool settled = false) {
        if (!mHasImu) mHasImu = PopCounted(mSetup.imuRawRing, mImu, mImuLeft);
        if (!mHasOptical) mHasOptical = PopCounted(mSetup.opticalRawRing, mOptical, mOpticalLeft);
        if (!mHasImu && !mHasOptical) return false;
        if (mHasImu != mHasOptical && !settled && !LoneFrontSettled(mHasImu ? mImu : mOptical)) return false;
        const bool takeImu = mHasImu && (!mHasOptical || mOptical.driverTime > mImu.driverTime);
        if (takeImu) {
            mHasImu = false;
            if (Count(WriteRawRow(mRawFile, mImu), mRawPath)) ++mResult.imuRows;
        } else {
            mHasOptical = false;
            if (Count(WriteRawRow(mRawFile, mOptical), mRawPath)) ++mResult.opticalRows;
        }
        return true;
    }

    // Once the final counts are taken, a ring gives no more than its count.
    bool PopCounted(cRawRecordRing* ring, sRawRecord& record, uint32_t& left) {
        while (ring && !(mCounted && left == 0) && ring->pop(record)) {
            if (mCounted) --left;
            if (!Stale(record.driverTime)) return true;
        }
        return false;
    }

    // A time that cannot be compared is kept.
    bool Stale(double driverTime) const { return driverTime < mSetup.recordFrom; }

    bool LoneFrontSettled(const sRawRecord& front) const {
        // Written as "not younger" so that a time that cannot be compared never holds a row back.
        return !mSetup.driverTimeNow || !(mSetup.driverTimeNow() - front.driverTime < mSetup.settleSeconds);
    }

    void DrainFilterRing(uint32_t limit) {
        if (!mSetup.filterRing) return;
        sFilterRecord record;
        for (uint32_t i = 0; i < limit && mSetup.filterRing->pop(record); ++i) {
            if (Stale(record.driverTime)) continue;
            const bool written = mSetup.filterRowStyle == eFilterRowStyle::Wmr ? WriteWmrFilterRow(mFilterFile, record)
                                                                               : WriteLighthouseFilterRow(mFilterFile, record);
            if (Count(written, mFilterPath)) ++mResult.filterRows;
        }
    }

    // Each line is flushed at once; without the file the lines are only taken off the ring.
    void DrainReportRing() {
        if (!mSetup.reportRing) return;
        sReportRecord record;
        for (uint32_t i = 0; i < cReportRecordRing::kCapacity && mSetup.reportRing->pop(record); ++i) {
            if (!mReportFile || Stale(record.driverTime)) continue;
            if (WriteReportLine(mSetup.reportLine ? mSetup.reportLine(record) : std::string())) ++mResult.reportRows;
        }
    }

    bool WriteReportLine(const std::string& line) {
        const bool written = std::fprintf(mReportFile, "%s\n", line.c_str()) >= 0;
        Flush(mReportFile, mReportPath);
        return Count(written, mReportPath);
    }

    void CloseOne(std::FILE*& file, const std::string& path) {
        if (!file) return;
        Count(std::fclose(file) == 0, path);
        file = nullptr;
    }

    void Close() {
        CloseOne(mRawFile, mRawPath);
        CloseOne(mFilterFile, mFilterPath);
        CloseOne(mReportFile, mReportPath);
    }

    const sRecordingSetup& mSetup;
    std::string mRawPath;
    std::string mFilterPath;
    std::FILE* mRawFile = nullptr;
    std::FILE* mFilterFile = nullptr;
    std::string mReportPath;
    std::FILE* mReportFile = nullptr;
    // The ring fronts under comparison, already taken from their rings.
    sRawRecord mImu{};
    sRawRecord mOptical{};
    bool mHasImu = false;
    bool mHasOptical = false;
    bool mCounted = false;
    uint32_t mImuLeft = 0;
    uint32_t mOpticalLeft = 0;
    sRecordingResult mResult;
};

}  // namespace

std::string RecordingFilePath(const std::string& folder, uint32_t deviceIndex, const char* suffix) {
    return folder + "device" + std::to_string(deviceIndex) + suffix;
}

std::string DefaultRawDataFilePath(uint32_t deviceIndex) {
    const std::string folder = platform::RecordingLogFolder();
    return folder.empty() ? std::string() : RecordingFilePath(folder, deviceIndex, "_rawdata.csv");
}

sRecordingResult RunRecordingLoop(const sRecordingSetup& setup, const std::atomic<bool>& stop) {
    cRecordingWriter writer(setup);
    if (!writer.Open()) return writer.Finish();
    writer.Run(stop);
    return writer.Finish();
}

}  // namespace halvex
