// The candidate ring of the WMR IMU link, through the real hidraw code against a
// simulated tree of interfaces.
#include "../core/fake_host.h"
#include "core/driver_log.h"
#include "sim/wmr_hidraw_tree.h"
#include "sim/wmr_sensor_report.h"
#include "wmr/imu_link.h"
#include "wmr/sensor_decoding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <unistd.h>

namespace halvex::wmr {
namespace {

using platform::eHidRead;

class ImuLink : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/halvex-link-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        mRoot = folder;
        setenv("HALVEX_HIDRAW_ROOT", mRoot.c_str(), 1);
        mTree = std::make_unique<sim::cHidrawTree>(mRoot);
        InstallDriverLogSink(&mLog);
    }
    void TearDown() override {
        RemoveDriverLogSink();
        mTree.reset();
        unsetenv("HALVEX_HIDRAW_ROOT");
        rmdir(mRoot.c_str());
    }
    int AddImu() { return mTree->AddInterface(0x045E, 0x0659, sim::WmrImuReportDescriptor()); }
    bool Logged(const std::string& line) const {
        for (const std::string& l : mLog.Lines())
            if (l == line) return true;
        return false;
    }
    // Reads one report on the link and tells whether it was a sensor report.
    bool Poll(cWmrImuLink& link) {
        uint32_t error = 0;
        EXPECT_EQ(link.ReadReport(mStop, error), eHidRead::Report);
        return !link.ReportBuffer().empty() && link.ReportBuffer()[0] == 1;
    }

    std::string mRoot;
    std::unique_ptr<sim::cHidrawTree> mTree;
    cCapturingLog mLog;
    platform::cHidStopSignal mStop;
    std::atomic<int32_t> mDebugLevel{2};
};

TEST_F(ImuLink, MovesOnUntilTheThirdCandidateSendsASensorReport) {
    const int otherVendor = mTree->AddInterface(0x1234, 0x0659, sim::WmrImuReportDescriptor());
    const int first = mTree->AddInterface(0x045E, 0x0659, sim::SingleReportDescriptor(2, 64));
    const int otherProduct = mTree->AddInterface(0x045E, 0x0001, sim::WmrImuReportDescriptor());
    const int second = AddImu();
    const int third = AddImu();
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    ASSERT_EQ(link.Candidates(), (std::vector<std::string>{mTree->NodePath(first), mTree->NodePath(second),
                                                           mTree->NodePath(third)}));
    ASSERT_TRUE(link.IsOpen());
    link.BeginSelection_ImuThread();
    EXPECT_FALSE(link.Settled());
    EXPECT_EQ(link.ReportBuffer().size(), 64u);

    ASSERT_TRUE(mTree->Send(first, sim::WmrOtherReport(2, 64)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_EQ(link.CurrentIndex(), 1u);
    EXPECT_EQ(link.ReportBuffer().size(), 381u);
    ASSERT_TRUE(mTree->Send(second, sim::WmrOtherReport(3, 381)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_EQ(link.CurrentIndex(), 2u);
    std::array<sim::sWmrSample, 4> samples{};
    ASSERT_TRUE(mTree->Send(third, sim::EncodeWmrSensorReport(samples)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_TRUE(link.Settled());
    EXPECT_EQ(link.CurrentPath(), mTree->NodePath(third));
    // Settled: later failures change nothing.
    ASSERT_TRUE(mTree->Send(third, sim::WmrOtherReport(2, 381)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_EQ(link.CurrentIndex(), 2u);

    const std::vector<std::string> lines = mLog.Lines();
    size_t keeping = 0;
    for (const std::string& l : lines) {
        if (l.rfind("Keeping " + mTree->NodePath(third) + " ", 0) == 0 && l.size() > 8 &&
            l.substr(l.size() - 8) == " index 2")
            ++keeping;
    }
    EXPECT_EQ(keeping, 1u);
    EXPECT_TRUE(Logged("TryOpenHidAtPath_ImuThread devicePath=" + mTree->NodePath(otherVendor) + " FAIL - Incorrect VendorID"));
    EXPECT_TRUE(Logged("\tVendorID=0x1234 ProductID=0x0659 expecting VID=0x045E PID=0x0659"));
    EXPECT_TRUE(Logged("TryOpenHidAtPath_ImuThread devicePath=" + mTree->NodePath(otherProduct) + " FAIL - Incorrect ProductID"));
    EXPECT_TRUE(Logged("    2 devicePath = " + mTree->NodePath(third)));
}

TEST_F(ImuLink, WrongVendorLogsOnlyAtLevelTwoWrongProductAlreadyAtOne) {
    mDebugLevel = 1;
    const int otherVendor = mTree->AddInterface(0x1234, 0x0659, sim::WmrImuReportDescriptor());
    const int otherProduct = mTree->AddInterface(0x045E, 0x0001, sim::WmrImuReportDescriptor());
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(Logged("TryOpenHidAtPath_ImuThread devicePath=" + mTree->NodePath(otherVendor) + " FAIL - Incorrect VendorID"));
    EXPECT_TRUE(Logged("TryOpenHidAtPath_ImuThread devicePath=" + mTree->NodePath(otherProduct) + " FAIL - Incorrect ProductID"));
}

TEST_F(ImuLink, ACandidateThatVanishedIsSkippedInTheSameTurn) {
    const int first = AddImu();
    const int second = AddImu();
    const int third = AddImu();
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    link.BeginSelection_ImuThread();
    mTree->RemoveInterface(second);
    ASSERT_TRUE(mTree->Send(first, sim::WmrOtherReport(2, 381)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_EQ(link.CurrentIndex(), 2u);
    EXPECT_EQ(link.CurrentPath(), mTree->NodePath(third));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(Logged("TryOpenHidAtPath_ImuThread devicePath=" + mTree->NodePath(second) + " FAIL - INVALID_HANDLE_VALUE"));
}

TEST_F(ImuLink, NoCandidateLeavesNothingOpenAndReadsFail) {
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_TRUE(Logged("    NOT READY for Path= Handle = INVALID_HANDLE_VALUE"));
    uint32_t error = 0;
    EXPECT_EQ(link.ReadReport(mStop, error), eHidRead::Error);
    EXPECT_EQ(error, platform::HidInvalidHandleError());
    link.IncrementImuDevice_ImuThread();
    EXPECT_TRUE(Logged("IncrementImuDevice_ImuThread:  mImuDeviceVec.size() = 0"));
}

TEST_F(ImuLink, OneCandidateIsSettledAndARebuildReleasesTheOpenHandleFirst) {
    const int only = AddImu();
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    link.BeginSelection_ImuThread();
    EXPECT_TRUE(link.Settled());
    ASSERT_TRUE(mTree->Send(only, sim::WmrOtherReport(2, 381)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_EQ(link.CurrentIndex(), 0u);
    EXPECT_TRUE(link.IsOpen());
    link.FindImuDevices_ImuThread();
    bool released = false;
    for (const std::string& l : mLog.Lines())
        released = released || l.rfind("Releasing handle for Path=" + mTree->NodePath(only) + " Handle = ", 0) == 0;
    EXPECT_TRUE(released);
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(ImuLink, ACandidateThatNeverSendsIsLeftAfterABoundedRead) {
    const int silent = mTree->AddInterface(0x045E, 0x0659, sim::SingleReportDescriptor(2, 64));
    const int sending = AddImu();
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    link.BeginSelection_ImuThread();
    ASSERT_EQ(link.CurrentPath(), mTree->NodePath(silent));
    uint32_t error = 0;
    auto waiting = std::async(std::launch::async, [&] { return link.ReadReport(mStop, error); });
    // An unbounded read would wait for ever: the stop ends it, and the test fails.
    if (waiting.wait_for(std::chrono::seconds(10)) != std::future_status::ready) mStop.Raise();
    EXPECT_EQ(waiting.get(), eHidRead::Timeout);
    link.AfterPoll_ImuThread(false);
    EXPECT_EQ(link.CurrentPath(), mTree->NodePath(sending));
    std::array<sim::sWmrSample, 4> samples{};
    ASSERT_TRUE(mTree->Send(sending, sim::EncodeWmrSensorReport(samples)));
    link.AfterPoll_ImuThread(Poll(link));
    EXPECT_TRUE(link.Settled());
}

TEST_F(ImuLink, OnlyTheBytesReadAreTheReport) {
    const int only = AddImu();
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    link.BeginSelection_ImuThread();
    std::array<sim::sWmrSample, 4> samples{};
    const std::vector<uint8_t> full = sim::EncodeWmrSensorReport(samples);
    ASSERT_TRUE(mTree->Send(only, full));
    ASSERT_TRUE(mTree->Send(only, std::vector<uint8_t>(full.begin(), full.begin() + 100)));
    ASSERT_TRUE(Poll(link));
    EXPECT_EQ(link.ReportLength(), 381u);
    ASSERT_TRUE(Poll(link));
    ASSERT_EQ(link.ReportLength(), 100u);
    sWmrInputReport_Sensors report;
    EXPECT_FALSE(ReadSensorReport(link.ReportBuffer().data(), link.ReportLength(), report))
        << "the buffer's tail is the earlier report's";
}

TEST_F(ImuLink, AnInterfaceOfUnknownReportLengthIsNotRead) {
    const int blank = mTree->AddInterface(0x045E, 0x0659, {});
    cWmrImuLink link(mDebugLevel);
    link.FindImuDevices_ImuThread();
    link.BeginSelection_ImuThread();
    ASSERT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.ReportBuffer().empty());
    ASSERT_TRUE(mTree->Send(blank, std::vector<uint8_t>(381, 1)));
    uint32_t error = 0;
    EXPECT_EQ(link.ReadReport(mStop, error), eHidRead::Timeout) << "no read into a buffer that cannot hold the report";
    EXPECT_EQ(link.ReportLength(), 0u);
    mStop.Raise();
    EXPECT_EQ(link.ReadReport(mStop, error), eHidRead::Stopped);
    mStop.Clear();
}

}  // namespace
}  // namespace halvex::wmr
