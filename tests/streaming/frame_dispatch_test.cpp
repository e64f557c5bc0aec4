// The frame dispatch with hand-built frame records, a real client connected to an
// in-process server (for the clock mapping), and recording test devices.
#include "core/device_provider.h"
#include "platform/clock.h"
#include "tessaly/server/mocap_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct sOpticalCall {
    double position[3];
    double orientation[4];
    double sampleTime;
    double latency;
};

class cRecordingDevice : public cIHalvexDevice {
public:
    explicit cRecordingDevice(int32_t id) : mId(id) {}
    vr::EVRInitError Activate(uint32_t) override { return vr::VRInitError_None; }
    void Deactivate() override {}
    void EnterStandby() override {}
    void* GetComponent(const char*) override { return nullptr; }
    void DebugRequest(const char*, char*, uint32_t) override {}
    vr::DriverPose_t GetPose() override { return {}; }
    const std::string& GetSerialNumber() const override { return mSerial; }
    const std::string& GetName() const override { return mSerial; }
    int32_t GetRigidBodyId() const override { return mId; }
    bool SetRigidBodyId(int32_t id) override {
        mId = id;
        return true;
    }
    void UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                       double latency) override {
        sOpticalCall call{};
        std::memcpy(call.position, position, sizeof(call.position));
        std::memcpy(call.orientation, orientation, sizeof(call.orientation));
        call.sampleTime = sampleTime;
        call.latency = latency;
        mCalls.push_back(call);
    }

    int32_t mId;
    std::string mSerial = "test-device";
    std::vector<sOpticalCall> mCalls;
};

// Stands for any fault inside a device: the exception must stay in the driver.
class cThrowingDevice : public cRecordingDevice {
public:
    using cRecordingDevice::cRecordingDevice;
    void UpdateOptical(const double*, const double*, double, double) override { throw std::runtime_error("device fault"); }
};

class FrameDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        tessaly::server::sMocapServerConfig config;
        config.frameRateHz = 1.0;  // the test builds its own frames
        mServer = std::make_unique<tessaly::server::cMocapServer>(config);
        std::string error;
        ASSERT_TRUE(mServer->Start(&error)) << error;
        mServer->PauseStream(true);

        sTessalyClientConnectParams params{};
        params.connectionType = ConnectionType_Unicast;
        params.serverCommandPort = mServer->Port();
        const std::string address = mServer->Address();
        params.serverAddress = address.c_str();
        params.localAddress = "127.0.0.1";
        ASSERT_EQ(mClient.Connect(params), ErrorCode_OK);

        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
        mProvider.mClient.store(&mClient);
        mFrame.reset(new sFrameOfMocapData());
        std::memset(mFrame.get(), 0, sizeof(sFrameOfMocapData));
    }
    void TearDown() override {
        mProvider.mClient.store(nullptr);
        mClient.Disconnect();
        mServer->Stop();
    }

    sRigidBodyData& AddBody(int32_t id, bool tracked = true) {
        sRigidBodyData& body = mFrame->RigidBodies[mFrame->nRigidBodies++];
        body = sRigidBodyData{};
        body.ID = id;
        body.x = 1.0f;
        body.y = 2.0f;
        body.z = 3.0f;
        body.qw = 1.0f;
        body.Flags = tracked ? 1 : 0;
        return body;
    }
    // A server tick the client maps to `secondsAgo` before now. The dispatch is under test
    // here, not the clock mapping, whose error grows with the load on the machine.
    uint64_t TickSecondsAgo(double secondsAgo) {
        const uint64_t now = mServer->TicksNow();
        const double mappedAge = mClient.SecondsSinceHostTimestamp(now);
        const double shiftTicks = (secondsAgo - mappedAge) * static_cast<double>(mServer->ClockFrequency());
        return static_cast<uint64_t>(static_cast<int64_t>(now) - std::llround(shiftTicks));
    }
    void StampExposure(double secondsAgo) {
        mFrame->CameraMidExposureTimestamp = TickSecondsAgo(secondsAgo);
        mFrame->CameraDataReceivedTimestamp = 0;
    }

    std::unique_ptr<tessaly::server::cMocapServer> mServer;
    TessalyClient mClient;
    cHalvexDeviceProvider mProvider;
    std::unique_ptr<sFrameOfMocapData> mFrame;
};

TEST_F(FrameDispatchTest, TakesTheFirstTrackedMatchWidenedAndNormalised) {
    cRecordingDevice device(7);
    sRigidBodyData& first = AddBody(7);
    first.qx = 0.0f;
    first.qw = 2.0f;
    sRigidBodyData& second = AddBody(7);
    second.x = 99.0f;
    StampExposure(0.010);

    const double before = halvex::platform::NowSeconds();
    const double ageBefore = mClient.SecondsSinceHostTimestamp(mFrame->CameraMidExposureTimestamp);
    EXPECT_TRUE(mProvider.DispatchRigidBody(&device, mFrame.get()));
    const double ageAfter = mClient.SecondsSinceHostTimestamp(mFrame->CameraMidExposureTimestamp);
    const double after = halvex::platform::NowSeconds();
    ASSERT_EQ(device.mCalls.size(), 1u);
    const sOpticalCall& call = device.mCalls[0];
    EXPECT_DOUBLE_EQ(call.position[0], 1.0) << "only the first entry with the ID counts";
    EXPECT_DOUBLE_EQ(call.position[2], 3.0);
    EXPECT_DOUBLE_EQ(call.orientation[3], 1.0) << "(0,0,0,2) arrives normalised";
    EXPECT_GE(call.latency, ageBefore);
    EXPECT_LE(call.latency, ageAfter);
    EXPECT_GE(call.sampleTime + call.latency, before);
    EXPECT_LE(call.sampleTime + call.latency, after);
}

TEST_F(FrameDispatchTest, GivesNoSampleForUntrackedMissingOrFutureBodies) {
    cRecordingDevice device(7);
    AddBody(7, /*tracked=*/false);
    AddBody(8);
    StampExposure(0.005);
    EXPECT_FALSE(mProvider.DispatchRigidBody(&device, mFrame.get()));

    device.mId = kRigidBodyNone;
    EXPECT_FALSE(mProvider.DispatchRigidBody(&device, mFrame.get()));

    device.mId = 8;
    StampExposure(-0.050);  // server clock ahead of ours: a negative latency
    EXPECT_FALSE(mProvider.DispatchRigidBody(&device, mFrame.get()));
    EXPECT_TRUE(device.mCalls.empty());
}

TEST_F(FrameDispatchTest, FallsBackToTheSecondTickAndPassesZeroQuaternionsAsTheyAre) {
    cRecordingDevice device(4);
    sRigidBodyData& body = AddBody(4);
    body.qw = 0.0f;
    mFrame->CameraMidExposureTimestamp = 0;
    mFrame->CameraDataReceivedTimestamp = TickSecondsAgo(0.020);
    const double ageBefore = mClient.SecondsSinceHostTimestamp(mFrame->CameraDataReceivedTimestamp);
    EXPECT_TRUE(mProvider.DispatchRigidBody(&device, mFrame.get()));
    const double ageAfter = mClient.SecondsSinceHostTimestamp(mFrame->CameraDataReceivedTimestamp);
    ASSERT_EQ(device.mCalls.size(), 1u);
    EXPECT_GE(device.mCalls[0].latency, ageBefore);
    EXPECT_LE(device.mCalls[0].latency, ageAfter);
    for (double component : device.mCalls[0].orientation) EXPECT_EQ(component, 0.0);
}

TEST_F(FrameDispatchTest, NeverReadsPastTheRecordWhateverTheCountSays) {
    cRecordingDevice device(-5);
    StampExposure(0.001);
    mFrame->nRigidBodies = -3;
    EXPECT_FALSE(mProvider.DispatchRigidBody(&device, mFrame.get()));
    mFrame->nRigidBodies = 0x7fffffff;
    // The last entry that fits holds the ID; a count past the capacity is clamped to it.
    const int32_t capacity = static_cast<int32_t>(sizeof(mFrame->RigidBodies) / sizeof(mFrame->RigidBodies[0]));
    sRigidBodyData& last = mFrame->RigidBodies[capacity - 1];
    last.ID = -5;
    last.qw = 1.0f;
    last.Flags = 1;
    EXPECT_TRUE(mProvider.DispatchRigidBody(&device, mFrame.get()));
}

TEST_F(FrameDispatchTest, EveryFrameMarksTheStreamAliveAndFeedsEverySlotWithItsBody) {
    cRecordingDevice head(3);
    cRecordingDevice controller(3);  // the same ID in two slots: both get the sample
    mProvider.mHeadDevice = &head;
    mProvider.mControllerBDevice = &controller;
    mProvider.mLastFrameTime.store(0.0);
    cHalvexDeviceProvider::OnFrameReceived(mFrame.get(), &mProvider);  // no bodies at all
    EXPECT_GT(mProvider.mLastFrameTime.load(), 0.0);
    EXPECT_TRUE(head.mCalls.empty());

    AddBody(3);
    StampExposure(0.002);
    cHalvexDeviceProvider::OnFrameReceived(mFrame.get(), &mProvider);
    EXPECT_EQ(head.mCalls.size(), 1u);
    EXPECT_EQ(controller.mCalls.size(), 1u);
    mProvider.mHeadDevice = nullptr;
    mProvider.mControllerBDevice = nullptr;
}

TEST_F(FrameDispatchTest, AnExceptionInOneDeviceStaysInTheDriverAndTheOthersGetTheirSample) {
    cThrowingDevice head(3);
    cRecordingDevice controller(3);
    mProvider.mHeadDevice = &head;
    mProvider.mControllerADevice = &controller;
    AddBody(3);
    StampExposure(0.002);
    // The streaming library's frame thread is C: nothing may unwind into it.
    EXPECT_NO_THROW(cHalvexDeviceProvider::OnFrameReceived(mFrame.get(), &mProvider));
    EXPECT_NO_THROW(cHalvexDeviceProvider::OnFrameReceived(mFrame.get(), &mProvider));
    EXPECT_EQ(controller.mCalls.size(), 2u);
    mProvider.mHeadDevice = nullptr;
    mProvider.mControllerADevice = nullptr;
}

}  // namespace
