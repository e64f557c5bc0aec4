// The process-wide link against the real stand-in child program, started from beside
// the test as the driver starts it from beside the driver library.
#include "oculus_test_support.h"
#include "../platform/process_probe.h"

#include "devices/oculus_link.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace halvex::oculus;
using halvex::test::WaitUntil;

class cRecordingSink : public cIChildSampleSink {
public:
    void ProcessChildSample(const sOculusImuSample& sample, double sampleTime) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mTimestamps.push_back(sample.timestamp);
        mSampleTimes.push_back(sampleTime);
    }
    std::size_t Count() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mTimestamps.size();
    }
    std::vector<int64_t> Timestamps() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mTimestamps;
    }
    std::vector<double> SampleTimes() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mSampleTimes;
    }

private:
    mutable std::mutex mMutex;
    std::vector<int64_t> mTimestamps;
    std::vector<double> mSampleTimes;
};

class OculusLink : public ::testing::Test {
protected:
    OculusLink()
        : mMappingName(halvex::test::UniqueMappingName(
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          mEnvironment(mMappingName) {}

    sOculusLinkConfig Config() const {
        sOculusLinkConfig config;
        config.childExecutable = DefaultChildExecutable();
        config.mappingName = mMappingName;
        return config;
    }

    std::string mMappingName;
    halvex::test::cChildEnvironment mEnvironment;
    halvex::test::cScopedDriverLog mLog;
};

bool StrictlyIncreasing(const std::vector<int64_t>& values) {
    for (std::size_t i = 1; i < values.size(); ++i)
        if (values[i] <= values[i - 1]) return false;
    return true;
}

TEST_F(OculusLink, OneChildServesEveryDeviceAndEndsWithTheLast) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_SCENARIO", "head-turns");
    cOculusLink link(Config());
    cRecordingSink head, controller;
    link.Attach(&head);
    link.Attach(&controller);
    ASSERT_TRUE(WaitUntil([&] { return controller.Count() >= 300; }, 20.0)) << controller.Count();
    EXPECT_EQ(link.LaunchCount(), 1u);
    EXPECT_EQ(mLog.CountContaining("Invoking Oculus child process with command line: '"), 1);
    EXPECT_EQ(mLog.CountContaining("IPC established with Oculus subprocess.\n"), 1);
    const int64_t child = link.ChildProcessId();
    EXPECT_TRUE(halvex::test::ProcessIsAlive(child));

    // Samples are stamped by the child on its 1 ms grid; each device sees each sample,
    // in order, with a time in the recent past of the driver's clock.
    link.Detach(&controller);
    const std::size_t controllerCount = controller.Count();
    const std::vector<int64_t> fromController = controller.Timestamps();
    EXPECT_TRUE(StrictlyIncreasing(fromController));
    const std::vector<int64_t> fromHead = head.Timestamps();
    ASSERT_GE(fromHead.size(), fromController.size());
    EXPECT_NE(std::search(fromHead.begin(), fromHead.end(), fromController.begin(), fromController.end()),
              fromHead.end());
    const double now = halvex::platform::NowSeconds();
    for (const double t : head.SampleTimes()) {
        EXPECT_LT(t, now);
        EXPECT_GT(t, now - 60.0);
    }

    ASSERT_TRUE(WaitUntil([&] { return head.Count() >= fromHead.size() + 50; }, 10.0));
    EXPECT_EQ(controller.Count(), controllerCount);  // detached: no more samples
    link.Detach(&head);
    EXPECT_FALSE(link.ReaderRunning());
    EXPECT_TRUE(WaitUntil([&] { return !halvex::test::ProcessIsAlive(child); }, 5.0));
    const std::size_t afterStop = head.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(head.Count(), afterStop);
}

TEST_F(OculusLink, AChildThatExitsIsRelaunchedAndTheCountsCarryOn) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_EXIT_AFTER", "400");
    sOculusLinkConfig config = Config();
    config.shortLivedChildSeconds = 0.0;  // relaunch at once: this child lives long enough
    cOculusLink link(config);
    cRecordingSink sink;
    link.Attach(&sink);
    ASSERT_TRUE(WaitUntil([&] { return link.LaunchCount() >= 3 && sink.Count() > 900; }, 30.0))
        << link.LaunchCount() << " " << sink.Count();
    link.Detach(&sink);
    EXPECT_GE(mLog.CountContaining("Lost communication with Oculus child process; restarting...\n"), 2);
    EXPECT_GE(mLog.CountContaining("IPC re-established with Oculus subprocess.\n"), 2);
    EXPECT_EQ(mLog.CountContaining("IPC established with Oculus subprocess.\n"), 1);
    // Each child writes on the shared clock: the sequence goes on increasing across relaunches.
    EXPECT_TRUE(StrictlyIncreasing(sink.Timestamps()));
    // The process-wide count goes on across children (and past the detach, to no one).
    EXPECT_GE(link.SampleCount(), sink.Count());
    // Children that delivered and lived long enough are relaunched at once.
    EXPECT_EQ(mLog.CountContaining("next launch in"), 0);
}

TEST_F(OculusLink, AChildThatStartsSlowlyAndNeverDeliversIsRelaunchedEverMoreSlowly) {
    // As the real child without a headset: seconds to start, then it gives up unheard.
    mEnvironment.Set("HALVEX_OCULUS_SIM_START_DELAY", "0.3");
    mEnvironment.Set("HALVEX_OCULUS_SIM_EXIT_AFTER", "0");
    sOculusLinkConfig config = Config();
    config.shortLivedChildSeconds = 0.2;  // each child lives longer than this
    cOculusLink link(config);
    cRecordingSink sink;
    link.Attach(&sink);
    ASSERT_TRUE(WaitUntil([&] { return link.LaunchCount() >= 4; }, 30.0));
    link.Detach(&sink);
    for (const char* pause : {"0.1", "0.2", "0.4"})
        EXPECT_EQ(mLog.CountContaining(std::string("Oculus child process ended before its first sample; next launch in ") +
                                       pause + " s.\n"),
                  1)
            << pause;
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(OculusLink, ASampleDatedFarFromNowIsDroppedAndNeverReachesTheDevices) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_FUTURE_STAMP_AT", "100");
    cOculusLink link(Config());
    cRecordingSink sink;
    link.Attach(&sink);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 300; }, 20.0)) << sink.Count();
    link.Detach(&sink);
    EXPECT_EQ(link.UntimelyCount(), 1u);
    EXPECT_EQ(mLog.CountContaining("Dropped an Oculus child sample dated 3"), 1);  // about 3600 s ahead
    EXPECT_EQ(mLog.CountContaining("s from now; samples dated more than 1.0 s away are not used.\n"), 1);
    // An hour ahead would have set every device's clock offset for the rest of the session.
    const double now = halvex::platform::NowSeconds();
    for (const double t : sink.SampleTimes()) EXPECT_LT(t, now);
    EXPECT_TRUE(StrictlyIncreasing(sink.Timestamps()));
}

// A sink whose processing throws, as any code on the IPC thread might.
class cThrowingSink : public cIChildSampleSink {
public:
    void ProcessChildSample(const sOculusImuSample&, double) override {
        if (++mCalls == 10) throw std::runtime_error("sink failed");
    }
    int mCalls = 0;
};

TEST_F(OculusLink, AnExceptionOnTheIpcThreadEndsTheReaderAndTheChildButNotTheProcess) {
    cOculusLink link(Config());
    cThrowingSink throwing;
    link.Attach(&throwing);
    ASSERT_TRUE(WaitUntil([&] { return !link.ReaderRunning(); }, 20.0));
    EXPECT_EQ(mLog.CountContaining("Exception caught in the Oculus IPC thread (1 so far): sink failed"), 1);
    EXPECT_EQ(link.ChildProcessId(), 0);
    link.Detach(&throwing);

    // The next activation starts the reader afresh.
    cRecordingSink sink;
    link.Attach(&sink);
    EXPECT_TRUE(WaitUntil([&] { return sink.Count() >= 50; }, 20.0)) << sink.Count();
    link.Detach(&sink);
}

TEST_F(OculusLink, AChildThatDiesAtOnceIsRelaunchedEverMoreSlowly) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_EXIT_AFTER", "0");
    cOculusLink link(Config());
    cRecordingSink sink;
    link.Attach(&sink);
    // Pauses 0.1 + 0.2 + 0.4 + 0.8 s: five launches take at least 1.5 s, a tight loop hundreds.
    ASSERT_TRUE(WaitUntil([&] { return link.LaunchCount() >= 5; }, 30.0));
    const auto stopStart = std::chrono::steady_clock::now();
    link.Detach(&sink);
    // A stop ends the pause before the next launch instead of waiting it out.
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::seconds(2));
    EXPECT_EQ(sink.Count(), 0u);
    const int lost = mLog.CountContaining("Lost communication with Oculus child process; restarting...\n");
    EXPECT_GE(lost, 4);
    EXPECT_LE(static_cast<uint32_t>(lost), link.LaunchCount());
}

TEST_F(OculusLink, DeactivationEndsTheWaitForAChildThatNeverWrites) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_STALL_AFTER", "0");
    cOculusLink link(Config());
    cRecordingSink sink;
    link.Attach(&sink);
    ASSERT_TRUE(WaitUntil([&] { return link.ChildProcessId() != 0; }, 10.0));
    const int64_t child = link.ChildProcessId();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto stopStart = std::chrono::steady_clock::now();
    link.Detach(&sink);
    // Bound generously for a loaded machine; the wait itself checks for a stop every 0.5 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::seconds(2));
    EXPECT_EQ(mLog.CountContaining("IPC established"), 0);
    EXPECT_TRUE(WaitUntil([&] { return !halvex::test::ProcessIsAlive(child); }, 5.0));
}

TEST_F(OculusLink, AChildPublishingABadIndexIsEndedAndReplaced) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_BAD_INDEX_AFTER", "200");
    cOculusLink link(Config());
    cRecordingSink sink;
    link.Attach(&sink);
    ASSERT_TRUE(WaitUntil([&] { return link.LaunchCount() >= 2 && sink.Count() >= 300; }, 30.0));
    const int64_t child = link.ChildProcessId();
    link.Detach(&sink);
    EXPECT_GE(mLog.CountContaining("Oculus child process wrote an invalid ring index (2147483632); restarting it.\n"),
              1);
    // Logged once per faulty child, not once per poll.
    EXPECT_LE(static_cast<uint32_t>(mLog.CountContaining("invalid ring index")), link.LaunchCount());
    EXPECT_TRUE(StrictlyIncreasing(sink.Timestamps()));
    EXPECT_TRUE(WaitUntil([&] { return !halvex::test::ProcessIsAlive(child); }, 5.0));
}

TEST_F(OculusLink, AMissingChildEndsTheReaderUntilTheNextActivation) {
    sOculusLinkConfig config = Config();
    config.childExecutable = DefaultChildExecutable() + "-missing";
    cOculusLink link(config);
    cRecordingSink first, second;
    link.Attach(&first);
    ASSERT_TRUE(WaitUntil([&] { return !link.ReaderRunning(); }, 10.0));
    EXPECT_EQ(mLog.CountContaining("Error spawning Oculus child process ("), 1);
    link.Attach(&second);  // the next activation tries again
    ASSERT_TRUE(WaitUntil([&] { return mLog.CountContaining("Error spawning Oculus child process (") == 2; }, 10.0));
    link.Detach(&first);
    link.Detach(&second);
    EXPECT_EQ(link.LaunchCount(), 0u);
}

}  // namespace
