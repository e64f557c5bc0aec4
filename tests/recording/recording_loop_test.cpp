#include "platform/files.h"
#include "platform/known_folders.h"
#include "recording/device_calibration.h"
#include "recording/recording_loop.h"
#include "scoped_env.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace halvex;
using halvex::test::cTempFolder;

struct sRings {
    std::unique_ptr<cRawRecordRing> imu = std::make_unique<cRawRecordRing>();
    std::unique_ptr<cRawRecordRing> optical = std::make_unique<cRawRecordRing>();
    std::unique_ptr<cFilterRecordRing> filter = std::make_unique<cFilterRecordRing>();

    bool AllEmpty() const { return imu->empty() && optical->empty() && filter->empty(); }
};

class cLogCapture {
public:
    std::function<void(const char*)> Callback() {
        return [this](const char* line) {
            std::lock_guard<std::mutex> lock(mMutex);
            mLines.emplace_back(line);
        };
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mMutex);
        return mLines;
    }

private:
    std::mutex mMutex;
    std::vector<std::string> mLines;
};

sRecordingSetup MakeSetup(sRings& rings, uint32_t deviceIndex, cLogCapture& log) {
    sRecordingSetup setup;
    setup.imuRawRing = rings.imu.get();
    setup.opticalRawRing = rings.optical.get();
    setup.filterRing = rings.filter.get();
    setup.deviceIndex = deviceIndex;
    setup.log = log.Callback();
    return setup;
}

sRawRecord Imu(double t) {
    const double accel[3] = {0.1, 9.81, -0.2}, gyro[3] = {0.01, -0.02, 0.03};
    return MakeImuRawRecord(t, t - 0.0005, accel, gyro);
}

sRawRecord Optical(double t) {
    const double position[3] = {1.0, 1.7, -0.5};
    return MakeOpticalRawRecord(t, t - 0.004, position, 1.0, 0.0, 0.0, 0.0);
}

sFilterRecord Filter(double t, int type) {
    double state[19] = {}, covariance[18] = {};
    state[6] = 1.0;
    for (int i = 0; i < 18; ++i) covariance[i] = 1e-4 * (i + 1);
    return MakeFilterRecord(t, type, state, covariance);
}

template <typename Condition>
bool WaitFor(Condition condition, double seconds = 20.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct sRawRow {
    double driverTime;
    std::string sensor;
};

// Data rows of a raw data file, after checking each has the ten columns.
std::vector<sRawRow> ParseRawRows(const std::vector<std::string>& lines, size_t headerLines) {
    std::vector<sRawRow> rows;
    for (size_t i = headerLines; i < lines.size(); ++i) {
        const auto fields = test::SplitFields(lines[i]);
        EXPECT_EQ(fields.size(), 10u) << lines[i];
        if (fields.size() != 10) continue;
        rows.push_back({std::strtod(fields[0].c_str(), nullptr), fields[2]});
    }
    return rows;
}

// Where the loop puts its files by default: a private state home on Linux; the real
// program-data folder on Windows, with a device index no real device gets.
class cDefaultLogFolder {
public:
    cDefaultLogFolder()
#ifndef _WIN32
        : mStateHome("XDG_STATE_HOME", mTemp.Path().u8string().c_str())
#endif
    {
        std::random_device random;
        mDeviceIndex = 3000000000u + random() % 1000000u;
        mFolder = platform::RecordingLogFolder();
    }
    ~cDefaultLogFolder() {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(RawPath()), ignored);
        std::filesystem::remove(std::filesystem::u8path(FilterPath()), ignored);
        // Folders go only if the test left them empty (remove() keeps a full one).
        auto folder = std::filesystem::u8path(mFolder).parent_path();
        for (int level = 0; level < 3; ++level, folder = folder.parent_path()) std::filesystem::remove(folder, ignored);
    }

    uint32_t DeviceIndex() const { return mDeviceIndex; }
    const std::string& Folder() const { return mFolder; }
    std::string RawPath() const { return mFolder + "device" + std::to_string(mDeviceIndex) + "_rawdata.csv"; }
    std::string FilterPath() const { return mFolder + "device" + std::to_string(mDeviceIndex) + "_filter.csv"; }

private:
    cTempFolder mTemp;
#ifndef _WIN32
    test::cScopedEnv mStateHome;
#endif
    uint32_t mDeviceIndex = 0;
    std::string mFolder;
};

TEST(RecordingLoop, WritesTimeOrderedRawRowsAndFilterRowsWhileRunning) {
    cDefaultLogFolder where;
#ifndef _WIN32
    ASSERT_EQ(where.Folder().rfind(std::getenv("XDG_STATE_HOME"), 0), 0u);
#endif
    sRings rings;
    cLogCapture log;
    sRecordingSetup setup = MakeSetup(rings, where.DeviceIndex(), log);
    setup.header.hasFactoryScales = true;
    setup.header.factoryAccelScale[0] = 2.0;

    // First batch, all queued before the loop starts, so the merge sees both streams
    // whole: IMU at 1 kHz, optical at 250 Hz on the same instants (equal times).
    for (int k = 0; k < 500; ++k) ASSERT_TRUE(rings.imu->push(Imu(10.0 + k / 1000.0)));
    for (int j = 0; j < 125; ++j) ASSERT_TRUE(rings.optical->push(Optical(10.0 + (4 * j) / 1000.0)));
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(rings.filter->push(Filter(10.0 + i / 100.0, i % 2)));

    std::atomic<bool> stop{false};
    sRecordingResult result;
    std::thread recorder([&] { result = RunRecordingLoop(setup, stop); });

    // Once the producers fall idle the rows reach the files without a stop.
    const size_t rawHeaderLines = 8;
    EXPECT_TRUE(WaitFor([&] {
        return test::SplitLines(test::ReadWholeFile(where.RawPath())).size() == rawHeaderLines + 625 &&
               test::SplitLines(test::ReadWholeFile(where.FilterPath())).size() == 1 + 50;
    }));

    // Second batch while the loop runs.
    for (int k = 0; k < 300; ++k) ASSERT_TRUE(rings.imu->push(Imu(20.0 + k / 1000.0)));
    for (int j = 0; j < 40; ++j) ASSERT_TRUE(rings.optical->push(Optical(20.0 + j / 120.0)));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(rings.filter->push(Filter(20.0 + i / 100.0, i % 2)));
    EXPECT_TRUE(WaitFor([&] { return rings.AllEmpty(); }));
    stop = true;
    recorder.join();

    EXPECT_TRUE(result.filesOpened);
    EXPECT_EQ(result.imuRows, 800u);
    EXPECT_EQ(result.opticalRows, 165u);
    EXPECT_EQ(result.filterRows, 70u);
    EXPECT_EQ(result.failedWrites, 0u);
    EXPECT_TRUE(log.Lines().empty());

    const auto rawLines = test::SplitLines(test::ReadWholeFile(where.RawPath()));
    ASSERT_EQ(rawLines.size(), rawHeaderLines + 965);
    EXPECT_EQ(rawLines[5].rfind("# FactoryAccelScale: +2.0000000000000000e+00 ", 0), 0u);
    EXPECT_EQ(rawLines[7], "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz");

    const auto rows = ParseRawRows(rawLines, rawHeaderLines);
    ASSERT_EQ(rows.size(), 965u);
    // First batch: one stream ordered by driverTime, optical first on equal times.
    int ties = 0;
    for (size_t i = 1; i < 625; ++i) {
        ASSERT_LE(rows[i - 1].driverTime, rows[i].driverTime) << "row " << i;
        if (rows[i - 1].driverTime == rows[i].driverTime) {
            EXPECT_EQ(rows[i - 1].sensor, "opt") << "row " << i;
            EXPECT_EQ(rows[i].sensor, "imu") << "row " << i;
            ++ties;
        }
    }
    EXPECT_EQ(ties, 125);
    // Second batch was merged as it arrived: each stream stays in its own order.
    double lastImu = 0.0, lastOptical = 0.0;
    int imuCount = 0, opticalCount = 0;
    for (size_t i = 625; i < rows.size(); ++i) {
        double& last = rows[i].sensor == "imu" ? lastImu : lastOptical;
        EXPECT_GT(rows[i].driverTime, last);
        EXPECT_GE(rows[i].driverTime, 20.0);
        last = rows[i].driverTime;
        (rows[i].sensor == "imu" ? imuCount : opticalCount)++;
    }
    EXPECT_EQ(imuCount, 300);
    EXPECT_EQ(opticalCount, 40);

    const auto filterLines = test::SplitLines(test::ReadWholeFile(where.FilterPath()));
    ASSERT_EQ(filterLines.size(), 71u);
    double lastTime = 0.0;
    for (size_t i = 1; i < filterLines.size(); ++i) {
        const auto fields = test::SplitFields(filterLines[i]);
        ASSERT_EQ(fields.size(), 39u) << filterLines[i];
        const double time = std::strtod(fields[0].c_str(), nullptr);
        EXPECT_GT(time, lastTime) << "filter rows keep ring order";
        lastTime = time;
        EXPECT_EQ(std::strtod(fields[1].c_str(), nullptr), static_cast<double>((i - 1) % 50 % 2)) << i;
    }
}

TEST(RecordingLoop, ARowAloneWaitsForAnOlderRowStillOnItsWay) {
    cTempFolder temp;
    sRings rings;
    cLogCapture log;
    sRecordingSetup setup = MakeSetup(rings, 6, log);
    setup.logFolder = temp.Utf8();
    std::atomic<double> now{10.0};
    setup.driverTimeNow = [&] { return now.load(); };
    const std::string rawPath = temp.Utf8() + "device6_rawdata.csv";
    const size_t rawHeaderLines = 6;
    auto rowsInFile = [&] { return test::SplitLines(test::ReadWholeFile(rawPath)).size() - rawHeaderLines; };

    // The optical thread pushes its sample while the IMU thread, which stamped an
    // earlier one, has not pushed it yet.
    ASSERT_TRUE(rings.optical->push(Optical(10.0)));
    std::atomic<bool> stop{false};
    sRecordingResult result;
    std::thread recorder([&] { result = RunRecordingLoop(setup, stop); });
    ASSERT_TRUE(WaitFor([&] { return rings.optical->empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // many idle passes
    EXPECT_EQ(rowsInFile(), 0u) << "a lone row younger than the settle time is held";

    ASSERT_TRUE(rings.imu->push(Imu(9.999)));
    ASSERT_TRUE(rings.imu->push(Imu(10.001)));
    EXPECT_TRUE(WaitFor([&] { return rowsInFile() == 2; }));
    // The last IMU row is alone again; once settled it is written without a stop.
    now = 10.0 + setup.settleSeconds + 0.01;
    EXPECT_TRUE(WaitFor([&] { return rowsInFile() == 3; }));
    stop = true;
    recorder.join();

    const auto rows = ParseRawRows(test::SplitLines(test::ReadWholeFile(rawPath)), rawHeaderLines);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].sensor, "imu");
    EXPECT_DOUBLE_EQ(rows[0].driverTime, 9.999);
    EXPECT_EQ(rows[1].sensor, "opt");
    EXPECT_EQ(rows[2].sensor, "imu");
    EXPECT_DOUBLE_EQ(rows[2].driverTime, 10.001);
}

TEST(RecordingLoop, StopWritesWhatIsQueuedWithWmrRowNames) {
    cTempFolder temp;
    sRings rings;
    cLogCapture log;
    sRecordingSetup setup = MakeSetup(rings, 4, log);
    setup.filterRowStyle = eFilterRowStyle::Wmr;
    setup.logFolder = temp.Path().u8string();  // no trailing separator
    for (int k = 0; k < 1023; ++k) ASSERT_TRUE(rings.imu->push(Imu(5.0 + k / 1000.0)));
    ASSERT_TRUE(rings.optical->push(Optical(5.0)));
    const int types[] = {FilterRow_ImuPre, FilterRow_ImuPost, FilterRow_OptPre, FilterRow_OptPost, 7};
    for (int type : types) ASSERT_TRUE(rings.filter->push(Filter(5.0, type)));

    // Stopped before it starts: headers, then everything already queued.
    const std::atomic<bool> stop{true};
    const sRecordingResult result = RunRecordingLoop(setup, stop);
    EXPECT_EQ(result.imuRows, 1023u);
    EXPECT_EQ(result.opticalRows, 1u);
    EXPECT_EQ(result.filterRows, 5u);
    EXPECT_TRUE(rings.AllEmpty());

    const auto rawLines = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device4_rawdata.csv"));
    ASSERT_EQ(rawLines.size(), 6u + 1024u);
    EXPECT_EQ(rawLines[4], "#");
    EXPECT_EQ(rawLines[5], "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz") << "no factory scales";
    EXPECT_EQ(test::SplitFields(rawLines[6]).at(2), "opt");
    EXPECT_EQ(test::SplitFields(rawLines[7]).at(2), "imu");

    const auto filterLines = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device4_filter.csv"));
    ASSERT_EQ(filterLines.size(), 6u);
    const char* names[] = {" imu_pre", " imu_post", " opt_pre", " opt_post", " unk_7"};
    for (size_t i = 0; i < 5; ++i) {
        const auto fields = test::SplitFields(filterLines[i + 1]);
        ASSERT_EQ(fields.size(), 39u);
        EXPECT_EQ(fields[1], names[i]);
    }
}

// A producer records a sample as a raw row and two filter rows under its lock. A stop
// that comes while one is half pushed must not end the files between its rows.
TEST(RecordingLoop, StopNeverEndsTheFilesInsideASample) {
    cTempFolder temp;
    sRings rings;
    cLogCapture log;
    std::mutex sampleLock;
    sRecordingSetup setup = MakeSetup(rings, 6, log);
    setup.logFolder = temp.Utf8();
    setup.sampleLock = &sampleLock;
    const auto pushSample = [&](double t) {
        ASSERT_TRUE(rings.optical->push(Optical(t)));
        ASSERT_TRUE(rings.filter->push(Filter(t, FilterRow_OptPre)));
        ASSERT_TRUE(rings.filter->push(Filter(t, FilterRow_OptPost)));
    };
    {
        std::lock_guard<std::mutex> lock(sampleLock);
        pushSample(1.0);
    }
    std::atomic<bool> stop{false};
    auto recorder = std::async(std::launch::async, [&] { return RunRecordingLoop(setup, stop); });
    {
        std::lock_guard<std::mutex> lock(sampleLock);
        ASSERT_TRUE(rings.optical->push(Optical(2.0)));
        ASSERT_TRUE(rings.filter->push(Filter(2.0, FilterRow_OptPre)));
        stop.store(true);
        // A loop that does not wait for the sample ends now, without its last row.
        recorder.wait_for(std::chrono::milliseconds(500));
        ASSERT_TRUE(rings.filter->push(Filter(2.0, FilterRow_OptPost)));
    }
    const sRecordingResult result = recorder.get();
    EXPECT_EQ(result.filterRows, 2 * result.opticalRows);
    const auto rawLines = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device6_rawdata.csv"));
    const auto filterLines = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device6_filter.csv"));
    ASSERT_GE(rawLines.size(), 6u);
    ASSERT_GE(filterLines.size(), 1u);
    EXPECT_EQ(filterLines.size() - 1, 2 * (rawLines.size() - 6)) << "two filter rows for every raw row";
}

// The third file, a line "SensorReport,<first byte>,<size>" for each report.
void AddReportFile(sRecordingSetup& setup, cReportRecordRing& reports) {
    setup.reportRing = &reports;
    setup.reportHeader = "dataName,id";
    setup.reportLine = [](const sReportRecord& r) {
        return "SensorReport," + std::to_string(r.bytes[0]) + "," + std::to_string(r.size);
    };
}

// A producer that saw the last recording enabled may push after its thread ended; what
// it pushed then waits on the rings for the next recording, which must not open with it.
TEST(RecordingLoop, RecordsMadeBeforeTheRecordingWasEnabledAreNotWritten) {
    cTempFolder temp;
    sRings rings;
    cLogCapture log;
    auto reports = std::make_unique<cReportRecordRing>();
    sRecordingSetup setup = MakeSetup(rings, 8, log);
    setup.logFolder = temp.Utf8();
    AddReportFile(setup, *reports);
    setup.recordFrom = 10.0;
    for (double t : {9.9, 10.0, 10.2}) ASSERT_TRUE(rings.imu->push(Imu(t)));
    for (double t : {9.95, 10.1}) ASSERT_TRUE(rings.optical->push(Optical(t)));
    for (double t : {9.95, 10.1}) ASSERT_TRUE(rings.filter->push(Filter(t, FilterRow_OptPre)));
    uint8_t id = 1;
    for (double t : {9.99, 10.3}) {
        sReportRecord record{};
        record.driverTime = t;
        record.bytes[0] = id++;
        ASSERT_TRUE(reports->push(record));
    }
    const std::atomic<bool> stop{true};
    const sRecordingResult result = RunRecordingLoop(setup, stop);
    EXPECT_EQ(result.imuRows, 2u);
    EXPECT_EQ(result.opticalRows, 1u);
    EXPECT_EQ(result.filterRows, 1u);
    EXPECT_EQ(result.reportRows, 1u);
    EXPECT_TRUE(rings.AllEmpty() && reports->empty()) << "stale records are taken off, not left for later";
    const auto rows = ParseRawRows(test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device8_rawdata.csv")), 6);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(rows[0].driverTime, 10.0);
    EXPECT_EQ(test::ReadWholeFile(temp.Utf8() + "device8_imuraw.csv"), "dataName,id\nSensorReport,2,0\n");
    const auto filterLines = test::SplitLines(test::ReadWholeFile(temp.Utf8() + "device8_filter.csv"));
    ASSERT_EQ(filterLines.size(), 2u);
    EXPECT_DOUBLE_EQ(std::strtod(test::SplitFields(filterLines[1]).at(0).c_str(), nullptr), 10.1);
}

TEST(RecordingLoop, ReportsGoToTheirOwnFileOneLineEach) {
    cTempFolder temp;
    sRings rings;
    cLogCapture log;
    auto reports = std::make_unique<cReportRecordRing>();
    sRecordingSetup setup = MakeSetup(rings, 2, log);
    setup.logFolder = temp.Utf8();
    AddReportFile(setup, *reports);
    for (uint8_t id = 1; id <= 3; ++id) {
        sReportRecord record{};
        record.size = 381;
        record.bytes[0] = id;
        ASSERT_TRUE(reports->push(record));
    }
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        // The loop writes report lines while the raw rings are idle; then stop it.
        for (int i = 0; i < 2000 && !reports->empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stop = true;
    });
    const sRecordingResult result = RunRecordingLoop(setup, stop);
    stopper.join();
    EXPECT_EQ(result.reportRows, 3u);
    EXPECT_EQ(test::ReadWholeFile(temp.Utf8() + "device2_imuraw.csv"),
              "dataName,id\nSensorReport,1,381\nSensorReport,2,381\nSensorReport,3,381\n");
}

TEST(RecordingLoop, FolderThatCannotBeCreatedLogsOneLineAndReturns) {
    cTempFolder temp;
    std::FILE* blocker = platform::OpenFile(temp.Utf8() + "blocker", "wb");
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);

    sRings rings;
    cLogCapture log;
    sRecordingSetup setup = MakeSetup(rings, 2, log);
    setup.logFolder = temp.Utf8() + "blocker/Logs/";
    ASSERT_TRUE(rings.imu->push(Imu(1.0)));
    const std::atomic<bool> stop{false};  // never set: the loop must return by itself
    const sRecordingResult result = RunRecordingLoop(setup, stop);

    EXPECT_FALSE(result.filesOpened);
    EXPECT_EQ(result.imuRows, 0u);
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Recording disabled for device 2: cannot create log folder '" + setup.logFolder + "'\n");
    // Producers carry on: the ring keeps taking records until it is full.
    for (int k = 1; k < 1023; ++k) ASSERT_TRUE(rings.imu->push(Imu(1.0 + k)));
    EXPECT_FALSE(rings.imu->push(Imu(5000.0)));
}

TEST(RecordingLoop, TheCalibrationInForceIsWrittenWholeBesideTheFilesOrTheRecordingSaysWhy) {
    cTempFolder temp;
    sDeviceCalibration calibration;
    std::string reason;
    ASSERT_TRUE(ParseCalibrationField(calibration_keys::kRigidBodyInDevice, "1,-2,3,4,5,60", calibration, reason)) << reason;
    // Device 7's calibration file cannot be made: a folder holds its place.
    std::filesystem::create_directory(temp.Path() / "device7_calibration.txt");
    for (uint32_t device : {6u, 7u}) {
        sRings rings;
        cLogCapture log;
        sRecordingSetup setup = MakeSetup(rings, device, log);
        setup.logFolder = temp.Utf8();
        setup.calibration = &calibration;
        ASSERT_TRUE(rings.imu->push(Imu(1.0)));
        const std::atomic<bool> stop{true};
        const sRecordingResult result = RunRecordingLoop(setup, stop);
        EXPECT_TRUE(result.filesOpened);
        EXPECT_EQ(result.imuRows, 1u) << "the recording goes on without it";
        const auto lines = log.Lines();
        if (device == 6) {
            EXPECT_EQ(result.failedWrites, 0u);
            EXPECT_TRUE(lines.empty());
            sDeviceCalibration written;
            long line = 0;
            ASSERT_TRUE(ParseCalibrationFile(test::ReadWholeFile(temp.Utf8() + "device6_calibration.txt"), written,
                                             line, reason))
                << line << ": " << reason;
            EXPECT_TRUE(written.rigidBodyInDevice.isApprox(calibration.rigidBodyInDevice, 1e-12));
        } else {
            EXPECT_EQ(result.failedWrites, 1u);
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_NE(lines[0].find("cannot write '" + temp.Utf8() + "device7_calibration.txt'"), std::string::npos)
                << lines[0];
        }
    }
    // Nothing half written is left beside the recording.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp.Path())) ++entries;
    EXPECT_EQ(entries, 2u * 3u) << "raw, filter and calibration for each device";
}

TEST(RecordingLoop, FileThatCannotBeOpenedLogsOneLineAndReturns) {
    cTempFolder temp;
    // A folder in the place of a file makes opening it fail, whoever runs the test.
    std::filesystem::create_directory(temp.Path() / "device3_rawdata.csv");
    std::filesystem::create_directory(temp.Path() / "device5_filter.csv");

    for (uint32_t device : {3u, 5u}) {
        sRings rings;
        cLogCapture log;
        sRecordingSetup setup = MakeSetup(rings, device, log);
        setup.logFolder = temp.Utf8();
        const std::atomic<bool> stop{false};
        const sRecordingResult result = RunRecordingLoop(setup, stop);
        EXPECT_FALSE(result.filesOpened);
        const std::string blocked =
            temp.Utf8() + "device" + std::to_string(device) + (device == 3 ? "_rawdata.csv" : "_filter.csv");
        const auto lines = log.Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], "Recording disabled for device " + std::to_string(device) + ": cannot open '" + blocked +
                                "'\n");
    }
}

}  // namespace
