// The candidate ring of the WMR IMU link, through the real hidraw code against a
// simulated tree of interfaces.
#include "../core/fake_host.h"
#include "core/driver_log.h"
#include "sim/wmr_hidraw_tree.h"
#include "sim/wmr_sensor_report.h"
#include "wmr/imu_link.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

}  // namespace
}  // namespace halvex::wmr
