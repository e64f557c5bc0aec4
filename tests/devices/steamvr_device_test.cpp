// The Lighthouse device class against a scripted runtime: faults in the IMU stream
// and the optical input, the filter resets they cause, recording and the device's
// own lifecycle. The device's threads run for real; only the runtime is scripted.
#include "device_test_host.h"
#include "head_stimulus.h"

#include "core/device_provider.h"
#include "devices/steamvr_device.h"
#include "platform/clock.h"
#include "platform/known_folders.h"
#include "platform/sleep.h"
#include "recording_files.h"
#include "scoped_state_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

namespace {

using halvex::test::cHeadStimulus;
using halvex::test::sDeviceTestHost;
using halvex::test::sHeadMotion;
#if !defined(_WIN32)
using halvex::test::sScopedStateHome;
#endif

constexpr int32_t kHeadId = 3;
const std::string kReset = "halvex-head-s Resetting filter";

bool Finite(const vr::DriverPose_t& p) {
    const double values[] = {p.vecPosition[0], p.vecPosition[1], p.vecPosition[2], p.vecVelocity[0], p.vecVelocity[1],
                             p.vecVelocity[2], p.vecAngularVelocity[0], p.vecAngularVelocity[1],
                             p.vecAngularVelocity[2], p.qRotation.w, p.qRotation.x, p.qRotation.y, p.qRotation.z,
                             p.poseTimeOffset};
    return std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); });
}

class LighthouseDevice : public ::testing::Test {
protected:
    void SetUp() override {
        mHost.Reset();
        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
        mProvider.mTrackingType = TrackingType_Standard;
        mProvider.mDebugLevel = 1;
        mLogMark = mHost.log.Lines().size();
    }
    void TearDown() override {
        mStimulus.reset();
        delete mDevice;
    }

    cHalvexSteamvrDevice& MakeHead() {
        mDevice = new cHalvexSteamvrDevice(&mProvider, Hmd, "halvex-head");
        mDevice->SetRigidBodyId(kHeadId);
        return *mDevice;
    }
    void Stimulate(sHeadMotion motion = {}) { mStimulus = std::make_unique<cHeadStimulus>(*mDevice, mHost.imu, motion); }

    std::vector<std::string> NewLog() const {
        const auto lines = mHost.log.Lines();
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(mLogMark), lines.end());
    }
    size_t Count(const std::string& text) const {
        size_t count = 0;
        for (const std::string& line : NewLog()) count += line.find(text) != std::string::npos;
        return count;
    }
    static bool WaitFor(const std::function<bool()>& done, double seconds) {
        const double end = halvex::platform::NowSeconds() + seconds;
        while (halvex::platform::NowSeconds() < end) {
            if (done()) return true;
            halvex::platform::SleepFor(0.005);
        }
        return done();
    }
    std::vector<vr::DriverPose_t> PosesSince(size_t mark) const {
        std::vector<vr::DriverPose_t> poses;
        const auto all = mHost.serverDriverHost.Poses();
        for (size_t i = mark; i < all.size(); ++i) poses.push_back(all[i].pose);
        return poses;
    }
    size_t PoseCount() const { return mHost.serverDriverHost.Poses().size(); }
    size_t LogSize() const { return mHost.log.Lines().size(); }
    std::string LogSince(size_t logIndex) const {
        const auto lines = mHost.log.Lines();
        std::string text = "log since the mark:\n";
        for (size_t i = logIndex; i < lines.size(); ++i) text += lines[i] + "\n";
        return text;
    }
    size_t CountSince(const std::string& text, size_t logIndex) const {
        const auto lines = mHost.log.Lines();
        size_t count = 0;
        for (size_t i = logIndex; i < lines.size(); ++i) count += lines[i].find(text) != std::string::npos;
        return count;
    }
    // 'R' for each reset of the head's filter, 'V' for each time its pose became valid.
    std::string ResetsAndValidPosesSince(size_t logIndex) const {
        const auto lines = mHost.log.Lines();
        std::string events;
        for (size_t i = logIndex; i < lines.size(); ++i) {
            if (lines[i].find(kReset) != std::string::npos) events += 'R';
            if (lines[i].find("halvex-head-s mRigidBodyId=3 Pose becoming valid") != std::string::npos) events += 'V';
        }
        return events;
    }
    bool ValidPoseSince(size_t mark) const {
        const auto poses = PosesSince(mark);
        return std::any_of(poses.begin(), poses.end(), [](const vr::DriverPose_t& p) { return p.poseIsValid; });
    }
    void ActivateAndWaitForAValidPose(uint32_t index = 1) {
        ASSERT_EQ(mDevice->Activate(index), vr::VRInitError_None);
        if (!mStimulus) Stimulate();
        ASSERT_TRUE(WaitFor([&] { return ValidPoseSince(0); }, 5.0)) << "no fused pose";
    }

    sDeviceTestHost& mHost = sDeviceTestHost::Instance();
    cHalvexDeviceProvider mProvider;
    cHalvexSteamvrDevice* mDevice = nullptr;
    std::unique_ptr<cHeadStimulus> mStimulus;
    size_t mLogMark = 0;
};

TEST_F(LighthouseDevice, NonFiniteImuSamplesAreDroppedAndTrackingGoesOn) {
    MakeHead();
    ActivateAndWaitForAValidPose();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::function<void(vr::ImuSample_t&)> faults[] = {
        [&](vr::ImuSample_t& s) { s.vAccel.v[1] = nan; },
        [&](vr::ImuSample_t& s) { s.vGyro.v[2] = std::numeric_limits<double>::infinity(); },
        [&](vr::ImuSample_t& s) { s.fSampleTime = nan; },
    };
    for (const auto& fault : faults) {
        mStimulus->EditNextImuSample(fault);
        halvex::platform::SleepFor(0.05);
    }
    const size_t mark = PoseCount();
    halvex::platform::SleepFor(0.2);

    EXPECT_EQ(Count("dropped an IMU sample with a non-finite time or reading (3 so far)"), 1u);
    EXPECT_EQ(Count("Negative IMU dt"), 0u);
    EXPECT_EQ(Count("filter state is no longer finite"), 0u) << "no NaN reached the filter";
    EXPECT_TRUE(ValidPoseSince(mark)) << "fused poses keep coming";
    const vr::DriverPose_t pose = mDevice->GetPose();
    EXPECT_TRUE(pose.poseIsValid);
    EXPECT_TRUE(Finite(pose));
    EXPECT_NEAR(pose.vecPosition[1], 1.6, 0.05);
}

TEST_F(LighthouseDevice, AFilterOverflowedByAbsurdReadingsIsRebuiltAndNeverHandedOut) {
    MakeHead();
    ActivateAndWaitForAValidPose();
    for (int i = 0; i < 3; ++i) {
        mStimulus->EditNextImuSample([](vr::ImuSample_t& s) { s.vAccel = {{1e308, -1e308, 1e308}}; });
        halvex::platform::SleepFor(0.01);
    }
    ASSERT_TRUE(WaitFor([&] { return Count("filter state is no longer finite") > 0; }, 2.0));
    const size_t mark = PoseCount();
    ASSERT_TRUE(WaitFor([&] { return ValidPoseSince(mark); }, 2.0)) << "the rebuilt filter tracks again";
    for (const auto& submitted : mHost.serverDriverHost.Poses()) {
        if (submitted.pose.poseIsValid) {
            ASSERT_TRUE(Finite(submitted.pose)) << "a non-finite pose went out as valid";
        }
    }
    const vr::DriverPose_t pose = mDevice->GetPose();
    EXPECT_TRUE(!pose.poseIsValid || Finite(pose));
}

// A head whose filter a test can put into a state no sensor stream should lead to.
class cForcibleHead : public cHalvexSteamvrDevice {
public:
    using cHalvexSteamvrDevice::cHalvexSteamvrDevice;
    void Force(const std::function<void(halvex::cFusionFilter&)>& edit) {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        edit(mFusionFilter);
    }
};

TEST_F(LighthouseDevice, AFilterThatLeftThePhysicallyPossibleIsResetAndNeverHandedOut) {
    using halvex::cFusionFilter;
    struct sCase {
        const char* logged;
        std::function<void(cFusionFilter&)> force;
    };
    const sCase cases[] = {
        // A gravity of the wrong size that the filter claims to know well.
        {"not physical: gravity of ",
         [](cFusionFilter& f) {
             f.mState.segment<3>(halvex::FusionState_Gravity) *= 0.8;
             f.mDelayedState.segment<3>(halvex::FusionState_Gravity) *= 0.8;
             for (int i = 15; i < 18; ++i) f.mCovariance(i, i) = f.mDelayedCovariance(i, i) = 1e-4;
         }},
        // An optical update may move the value before the check sees it.
        {"not physical: a variance of -",
         [](cFusionFilter& f) {
             f.mCovariance(16, 16) = -1e-3;
             f.mDelayedCovariance(16, 16) = -1e-3;
         }},
        {"m from the newest optical position",
         [](cFusionFilter& f) {
             f.mState[0] += 3.0;
             f.mDelayedState[0] += 3.0;
         }},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.logged);
        auto* head = new cForcibleHead(&mProvider, Hmd, "halvex-head");
        mDevice = head;
        head->SetRigidBodyId(kHeadId);
        ActivateAndWaitForAValidPose();
        halvex::platform::SleepFor(0.5);
        ASSERT_TRUE(WaitFor([&] { return head->GetPose().poseIsValid; }, 5.0));
        const vr::DriverPose_t before = head->GetPose();
        size_t logMark = 0;
        size_t poseMark = 0;
        const size_t firstPoseMark = PoseCount();
        // A reset of its own (a stale stream on a loaded machine) can replace the forced
        // filter before the check sees it: then force the new one.
        bool caught = false;
        for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
            ASSERT_TRUE(WaitFor([&] { return head->GetPose().poseIsValid; }, 5.0));
            logMark = LogSize();
            head->Force([&](cFusionFilter& f) {
                c.force(f);
                poseMark = PoseCount();
            });
            ASSERT_TRUE(WaitFor([&] { return CountSince(c.logged, logMark) + CountSince(kReset, logMark) > 0; }, 5.0))
                << LogSince(logMark);
            caught = CountSince(c.logged, logMark) > 0;
        }
        ASSERT_TRUE(caught) << LogSince(logMark);
        ASSERT_TRUE(WaitFor([&] { return CountSince(kReset, logMark) > 0; }, 5.0));
        EXPECT_EQ(CountSince(c.logged, logMark), 1u) << "one line, one reset";
        ASSERT_TRUE(WaitFor([&] { return ValidPoseSince(PoseCount()); }, 5.0)) << "the rebuilt filter tracks again";

        // Until the reset's invalid pose, at most the one pose already on its way out.
        const auto poses = PosesSince(poseMark);
        size_t validBeforeInvalid = 0;
        for (const auto& pose : poses) {
            if (!pose.poseIsValid) break;
            ++validBeforeInvalid;
        }
        EXPECT_LE(validBeforeInvalid, 1u);
        for (const auto& pose : PosesSince(firstPoseMark)) {
            if (!pose.poseIsValid) continue;
            EXPECT_LT(std::abs(pose.vecPosition[0] - before.vecPosition[0]), 0.5) << "a jumped pose went out";
        }
        mStimulus.reset();
        delete mDevice;
        mDevice = nullptr;
    }
}

// The stream carries raw readings; the fused pose's angular velocity is the scaled
// gyroscope, so a gyroscope scale dropped or applied the wrong way shows there.
TEST_F(LighthouseDevice, FactoryScalesOtherThanOneAreApplied) {
    mHost.SetImuCalibration({1.25f, 0.8f, 1.1f}, {2.0f, 2.0f, 2.0f});
    MakeHead();
    sHeadMotion motion;
    motion.turnRate = 0.5;
    motion.accelScale = {1.25, 0.8, 1.1};
    motion.gyroScale = {2.0, 2.0, 2.0};
    Stimulate(motion);
    ActivateAndWaitForAValidPose();
    halvex::platform::SleepFor(1.5);
    const size_t mark = PoseCount();
    halvex::platform::SleepFor(0.5);
    double sum = 0.0, positionError = 0.0, maxSpeed = 0.0;
    size_t count = 0;
    for (const vr::DriverPose_t& pose : PosesSince(mark)) {
        if (!pose.poseIsValid) continue;
        sum += std::fabs(pose.vecAngularVelocity[2]);
        positionError = std::max(positionError, std::hypot(pose.vecPosition[0], pose.vecPosition[1] - 1.6, pose.vecPosition[2]));
        maxSpeed = std::max(maxSpeed, std::hypot(pose.vecVelocity[0], pose.vecVelocity[1], pose.vecVelocity[2]));
        ++count;
    }
    ASSERT_GT(count, 100u);
    EXPECT_NEAR(sum / count, 0.5, 0.05);
    // A wrong accelerometer scale turns gravity into a swinging acceleration that
    // the settled filter shows as centimetres of position and decimetres a second.
    EXPECT_LT(positionError, 0.005);
    EXPECT_LT(maxSpeed, 0.1);
    EXPECT_EQ(Count("FactoryGyroScale: +2.00000000e+00 +2.00000000e+00 +2.00000000e+00"), 1u);
}

TEST_F(LighthouseDevice, UnusableFactoryScalesAreReplacedByOne) {
    mHost.SetImuCalibration({0.0f, 1.0f, 1.0f}, {std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.0f});
    MakeHead();
    ActivateAndWaitForAValidPose();
    EXPECT_EQ(Count("FactoryAccelScale unusable; using 1"), 1u);
    EXPECT_EQ(Count("FactoryGyroScale unusable; using 1"), 1u);
    halvex::platform::SleepFor(0.2);
    const vr::DriverPose_t pose = mDevice->GetPose();
    EXPECT_TRUE(pose.poseIsValid);
    EXPECT_NEAR(std::fabs(pose.vecAngularVelocity[2]), 0.5, 0.1);
}

// Three ways the head loses its fused pose, each with its own line and timing: a
// time step backwards resets at once; an IMU stall resets a tenth of a second after
// the last fused pose; optical silence invalidates after the two-second hold. None
// of them may start a storm: after every reset the new filter submits before the
// next reset (a stall of a loaded machine may add a reset, never a storm).
TEST_F(LighthouseDevice, ImuResetsAreToldApartFromTheOpticalHold) {
    MakeHead();
    ActivateAndWaitForAValidPose();
    halvex::platform::SleepFor(0.3);

    size_t logMark = LogSize();
    mStimulus->EditNextImuSample([](vr::ImuSample_t& s) { s.fSampleTime -= 0.05; });
    ASSERT_TRUE(WaitFor([&] { return CountSince("Negative IMU dt", logMark) == 1; }, 1.0));
    size_t mark = PoseCount();
    ASSERT_TRUE(WaitFor([&] { return ValidPoseSince(mark); }, 2.0));
    halvex::platform::SleepFor(0.3);
    EXPECT_EQ(ResetsAndValidPosesSince(logMark).rfind("RV", 0), 0u) << ResetsAndValidPosesSince(logMark);
    EXPECT_EQ(ResetsAndValidPosesSince(logMark).find("RR"), std::string::npos) << ResetsAndValidPosesSince(logMark);

    logMark = LogSize();
    mStimulus->imuPaused.store(true);
    const double stalled = halvex::platform::NowSeconds();
    ASSERT_TRUE(WaitFor([&] { return CountSince(kReset, logMark) > 0; }, 2.0));
    const double resetAfter = halvex::platform::NowSeconds() - stalled;
    EXPECT_GT(resetAfter, 0.09);
    EXPECT_LT(resetAfter, 1.0);
    EXPECT_GE(CountSince("Stale IMU data", logMark), 1u);
    halvex::platform::SleepFor(0.3);
    mark = PoseCount();
    mStimulus->imuPaused.store(false);
    ASSERT_TRUE(WaitFor([&] { return ValidPoseSince(mark); }, 2.0)) << "fused poses return with the IMU";
    halvex::platform::SleepFor(0.5);
    EXPECT_EQ(ResetsAndValidPosesSince(logMark).find("RR"), std::string::npos) << ResetsAndValidPosesSince(logMark);
    EXPECT_EQ(Count("Stale optical data"), 0u);
    EXPECT_EQ(Count("Negative IMU dt"), 1u);

    logMark = LogSize();
    mark = PoseCount();
    mStimulus->opticalPaused.store(true);
    const double silent = halvex::platform::NowSeconds();
    double opticalStaleAfter = -1.0;
    WaitFor([&] {
        if (CountSince("Stale optical data", logMark) == 0) return false;
        opticalStaleAfter = halvex::platform::NowSeconds() - silent;
        return true;
    }, 3.5);
    // A stall of a loaded machine resets the filter early, and then, with no optical
    // sample left to judge, the optical line never comes; never the other way round.
    if (CountSince("Stale IMU data", logMark) == 0) {
        EXPECT_GE(opticalStaleAfter, 0.0) << "the optical hold ended without its line";
    }
    if (opticalStaleAfter >= 0.0) {
        EXPECT_GT(opticalStaleAfter, 1.9);
    }
    double lastValidAfter = 0.0;
    const auto submitted = mHost.serverDriverHost.Poses();
    for (size_t i = mark; i < submitted.size(); ++i)
        if (submitted[i].pose.poseIsValid) lastValidAfter = submitted[i].time - silent;
    EXPECT_LT(lastValidAfter, 2.2) << "no fused pose outlives the optical hold";
    EXPECT_FALSE(mDevice->GetPose().poseIsValid);
}

TEST_F(LighthouseDevice, ActivatesAgainAfterDeactivateAndStopsWhenDestroyedActive) {
    MakeHead();
    ActivateAndWaitForAValidPose(1);
    mDevice->Deactivate();
    EXPECT_EQ(mHost.imu.OpenCount(), 0) << "the stream is closed";
    size_t mark = PoseCount();
    halvex::platform::SleepFor(0.1);
    EXPECT_EQ(PoseCount(), mark) << "nothing is submitted while inactive";

    ASSERT_EQ(mDevice->Activate(2), vr::VRInitError_None);
    ASSERT_TRUE(WaitFor([&] { return ValidPoseSince(mark); }, 5.0));
    const auto poses = mHost.serverDriverHost.Poses();
    EXPECT_EQ(poses.back().deviceIndex, 2u);
    EXPECT_EQ(mHost.imu.OpenedPaths().size(), 2u);
    const auto* name = mHost.properties.Find(1000 + 2, vr::Prop_SerialNumber_String);
    ASSERT_NE(name, nullptr) << "properties are written for the new index";
    EXPECT_STREQ(name->bytes.data(), "halvex-head");

    // Activate without Deactivate must not leave two IMU threads (or end the process).
    ASSERT_EQ(mDevice->Activate(3), vr::VRInitError_None);
    ASSERT_TRUE(WaitFor([&] { return mHost.serverDriverHost.Poses().back().deviceIndex == 3u; }, 5.0));
    EXPECT_EQ(mHost.imu.OpenCount(), 1);

    mStimulus.reset();
    delete mDevice;  // still active
    mDevice = nullptr;
    EXPECT_EQ(mHost.imu.OpenCount(), 0);
    mark = PoseCount();
    halvex::platform::SleepFor(0.05);
    EXPECT_EQ(PoseCount(), mark);
}

// The recording of a device index no real device gets, so the test may delete its
// files even in the real log folder; they are gone before and after.
struct sTestRecording {
    static constexpr uint32_t kIndex = 4000000007u;
    sTestRecording() { Remove(); }
    ~sTestRecording() { Remove(); }
    void Remove() const {
        std::filesystem::remove(raw);
        std::filesystem::remove(folder / "device4000000007_filter.csv");
    }
    const std::filesystem::path folder = std::filesystem::u8path(halvex::platform::RecordingLogFolder());
    const std::filesystem::path raw = folder / "device4000000007_rawdata.csv";
};

TEST_F(LighthouseDevice, RecordingKeepsItsIndexAndTheSamplesItDropped) {
#if !defined(_WIN32)
    sScopedStateHome stateHome;
#endif
    const sTestRecording recording;
    constexpr uint32_t kIndex = sTestRecording::kIndex;
    const std::filesystem::path invalid = recording.folder / "device4294967295_rawdata.csv";
    const bool invalidExistedBefore = std::filesystem::exists(invalid);
    mProvider.mRecordRawData = true;
    MakeHead();

    // A Deactivate right behind the Activate races the recording thread's start.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(mDevice->Activate(kIndex), vr::VRInitError_None);
        mDevice->Deactivate();
    }
    if (!invalidExistedBefore) {
        EXPECT_FALSE(std::filesystem::exists(invalid)) << "a file for no device";
    }

    ActivateAndWaitForAValidPose(kIndex);
    mStimulus->EditNextOpticalSample([](double*, double* orientation, double&) {
        orientation[0] = std::numeric_limits<double>::quiet_NaN();
    });
    ASSERT_TRUE(WaitFor([&] { return Count("dropped an optical sample with an invalid pose") == 1; }, 1.0));
    mDevice->Deactivate();

    std::ifstream raw(recording.raw);
    ASSERT_TRUE(raw.is_open());
    size_t unusable = 0;
    for (std::string line; std::getline(raw, line);) {
        if (line.find(",opt,") == std::string::npos) continue;
        std::stringstream cells(line);
        std::string cell;
        for (int column = 0; std::getline(cells, cell, ','); ++column)
            if (column >= 6 && !std::isfinite(std::strtod(cell.c_str(), nullptr))) ++unusable;
    }
    EXPECT_EQ(unusable, 1u) << "the dropped sample is in the recording as it came";
    raw.close();
    if (!invalidExistedBefore) std::filesystem::remove(invalid);
}

// The filter's lock, which the device's threads take to feed the filter.
struct sFilterLock : cHalvexSteamvrDevice {
    static std::mutex& Of(cHalvexFusedDevice& device) { return device.*(&sFilterLock::mFilterMutex); }
};

// The rows of a raw data file, as the replay tool reads them.
std::vector<halvex::replay::sRawRow> RawRows(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    halvex::replay::sRawDataFile raw;
    halvex::replay::sInputError error;
    EXPECT_TRUE(halvex::replay::ReadRawDataFile(in, raw, error)) << file << ":" << error.line << ": " << error.reason;
    return raw.rows;
}

// A replay feeds the filter the raw file's rows in their order: a sample stamped before
// it waited for the filter, while the other thread's later sample went first, would make
// the replay part from the device's own states.
TEST_F(LighthouseDevice, RawRowsTakeTheOrderInWhichTheFilterTookTheSamples) {
#if !defined(_WIN32)
    sScopedStateHome stateHome;
#endif
    const sTestRecording recording;
    mProvider.mRecordRawData = true;
    MakeHead();
    ActivateAndWaitForAValidPose(sTestRecording::kIndex);

    double heldFrom = 0.0;
    double heldUntil = 0.0;
    {
        // Both sources go on delivering while the filter is busy elsewhere.
        std::lock_guard<std::mutex> hold(sFilterLock::Of(*mDevice));
        heldFrom = mProvider.DriverTimeNow();
        halvex::platform::SleepFor(0.05);
        heldUntil = mProvider.DriverTimeNow();
    }
    const size_t poses = PoseCount();
    ASSERT_TRUE(WaitFor([&] { return PoseCount() > poses + 20; }, 2.0)) << "tracking goes on";
    mDevice->Deactivate();

    size_t before = 0, during = 0, after = 0;
    for (const halvex::replay::sRawRow& row : RawRows(recording.raw)) {
        const double time = row.record.driverTime;
        if (time <= heldFrom) {
            ++before;
        } else if (time < heldUntil) {
            ++during;
            ADD_FAILURE() << "the row of line " << row.line << " was stamped " << time - heldFrom << " s into the hold";
        } else {
            ++after;
        }
    }
    EXPECT_GT(before, 0u);
    EXPECT_EQ(during, 0u);
    EXPECT_GT(after, 0u) << "the samples that waited are recorded";
}

// The poses' lock, which the device's threads hold while they hand the runtime a pose.
struct sPoseLock : cHalvexSteamvrDevice {
    static std::mutex& Of(cHalvexDevice_Base& device) { return device.*(&sPoseLock::mPoseMutex); }
};

size_t LineCount(const std::filesystem::path& file) {
    std::ifstream in(file);
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

nlohmann::json Ask(cIHalvexDevice& device, const char* request) {
    std::vector<char> buffer(32768, '#');
    device.DebugRequest(request, buffer.data(), static_cast<uint32_t>(buffer.size()));
    return nlohmann::json::parse(buffer.data(), nullptr, false);
}

TEST_F(LighthouseDevice, RecordingStartsAndStopsLiveAndTheStatusFollows) {
#if !defined(_WIN32)
    sScopedStateHome stateHome;
#endif
    const sTestRecording recording;
    mProvider.mRecordRawData = false;
    MakeHead();
    mProvider.mHeadDevice = mDevice;
    ActivateAndWaitForAValidPose(sTestRecording::kIndex);

    nlohmann::json status = Ask(*mDevice, "halvex/1 status");
    ASSERT_TRUE(status.is_object());
    ASSERT_EQ(status["devices"].size(), 1u);
    EXPECT_EQ(status["devices"][0]["role"], "head");
    EXPECT_EQ(status["devices"][0]["valid"], true);
    EXPECT_EQ(status["devices"][0]["mode"], "fused");
    EXPECT_EQ(status["devices"][0]["recording"], false);
    EXPECT_LT(status["devices"][0]["secondsSinceImu"].get<double>(), 1.0);
    EXPECT_FALSE(std::filesystem::exists(recording.raw));

    for (int round = 0; round < 2; ++round) {
        // A second start must find the first thread gone and start anew.
        recording.Remove();
        nlohmann::json started;
        ASSERT_TRUE(WaitFor([&] { return (started = Ask(*mDevice, "halvex/1 record start"))["ok"] == true; }, 5.0))
            << started.dump();
        EXPECT_EQ(Ask(*mDevice, "halvex/1 record start")["ok"], true) << "starting twice is no fault";
        ASSERT_TRUE(WaitFor([&] { return Ask(*mDevice, "halvex/1 status")["devices"][0]["recording"] == true; }, 2.0));
        ASSERT_TRUE(WaitFor([&] { return LineCount(recording.raw) > 20; }, 5.0)) << "round " << round;
        EXPECT_EQ(Ask(*mDevice, "halvex/1 record stop")["ok"], true);
        EXPECT_EQ(Ask(*mDevice, "halvex/1 status")["devices"][0]["recording"], false);
        ASSERT_TRUE(WaitFor([&] { return Count("recording ended") == static_cast<size_t>(round) + 1; }, 5.0));
        const size_t rows = RawRows(recording.raw).size();
        EXPECT_GT(rows, 10u);
        halvex::platform::SleepFor(0.1);
        EXPECT_EQ(RawRows(recording.raw).size(), rows) << "stopped means no more rows";
    }
    EXPECT_EQ(Count("recording ended"), 2u);

    {
        // Held by a driver thread, neither lock may keep the runtime's thread waiting.
        std::lock_guard<std::mutex> filter(sFilterLock::Of(*mDevice));
        std::lock_guard<std::mutex> pose(sPoseLock::Of(*mDevice));
        EXPECT_EQ(Ask(*mDevice, "halvex/1 status")["ok"], true);
        EXPECT_EQ(Ask(*mDevice, "halvex/1 record stop")["ok"], true);
    }
    mDevice->Deactivate();
    EXPECT_EQ(Ask(*mDevice, "halvex/1 record start")["ok"], false) << "an inactive device cannot record";
    mProvider.mHeadDevice = nullptr;
}

}  // namespace
