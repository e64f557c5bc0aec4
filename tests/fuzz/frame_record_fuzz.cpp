// The frame record as the streaming library hands it to the driver's callback.
// A vendor library may deliver anything: counts past the record, NaN poses,
// exposure times in the future. Each input is a run of frames; each frame sets
// the count, the two exposure ages and the first three entries, and goes through
// the driver's callback to a fused head and a controller.
#include "core/device_provider.h"
#include "devices/steamvr_device.h"
#include "fuzz_driver_host.h"
#include "fuzz_target.h"
#include "platform/clock.h"
#include "tessaly/server/mocap_server.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr int32_t kHeadId = 3;
constexpr int32_t kControllerId = 4;
constexpr size_t kEntriesPerFrame = 3;
constexpr size_t kFrameChunk = 12 + kEntriesPerFrame * sizeof(sRigidBodyData);

class cFrameHarness {
public:
    cFrameHarness() : mHost("frame_record") {
        tessaly::server::sMocapServerConfig config;
        config.frameRateHz = 1.0;
        mServer = std::make_unique<tessaly::server::cMocapServer>(config);
        std::string error;
        if (!mServer->Start(&error)) halvex::fuzz::Fail("frame_record", "cannot start the server");
        mServer->PauseStream(true);
        sTessalyClientConnectParams params{};
        params.connectionType = ConnectionType_Unicast;
        params.serverCommandPort = mServer->Port();
        params.serverAddress = "127.0.0.1";
        params.localAddress = "127.0.0.1";
        if (mClient.Connect(params) != ErrorCode_OK) halvex::fuzz::Fail("frame_record", "cannot connect");

        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
        mProvider.mTrackingType = TrackingType_Standard;
        mProvider.mDebugLevel = 1;
        mProvider.mClient.store(&mClient);
        mHead = std::make_unique<cHalvexSteamvrDevice>(&mProvider, Hmd, "halvex-head");
        mController = std::make_unique<cHalvexSteamvrDevice>(&mProvider, ControllerA, "halvex-controller-a");
        mHead->SetRigidBodyId(kHeadId);
        mController->SetRigidBodyId(kControllerId);
        mProvider.mHeadDevice = mHead.get();
        mProvider.mControllerADevice = mController.get();
        mHead->Activate(1);
        mController->Activate(2);
        mFrame.reset(new sFrameOfMocapData());
        std::memset(mFrame.get(), 0, sizeof(sFrameOfMocapData));
    }
    ~cFrameHarness() {
        mHead->Deactivate();
        mController->Deactivate();
        mProvider.mClient.store(nullptr);
        mClient.Disconnect();
        mServer->Stop();
    }

    void Run(const uint8_t* data, size_t size) {
        for (size_t offset = 0; offset < size; offset += kFrameChunk) {
            uint8_t chunk[kFrameChunk] = {};
            std::memcpy(chunk, data + offset, std::min(kFrameChunk, size - offset));
            int32_t count, midAgeMicros, followingAgeMicros;
            std::memcpy(&count, chunk, 4);
            std::memcpy(&midAgeMicros, chunk + 4, 4);
            std::memcpy(&followingAgeMicros, chunk + 8, 4);
            mFrame->nRigidBodies = count;
            mFrame->CameraMidExposureTimestamp = TicksAgo(midAgeMicros);
            mFrame->CameraDataReceivedTimestamp = TicksAgo(followingAgeMicros);
            std::memcpy(mFrame->RigidBodies, chunk + 12, kEntriesPerFrame * sizeof(sRigidBodyData));
            cHalvexDeviceProvider::OnFrameReceived(mFrame.get(), &mProvider);
            CheckPose(*mHead);
            CheckPose(*mController);
        }
    }

private:
    // 0 stays 0 (no time stamp); otherwise that many microseconds before now, or after.
    uint64_t TicksAgo(int32_t micros) const {
        if (micros == 0) return 0;
        const int64_t shift = static_cast<int64_t>(micros) * static_cast<int64_t>(mServer->ClockFrequency()) / 1000000;
        return static_cast<uint64_t>(static_cast<int64_t>(mServer->TicksNow()) - shift);
    }

    static void CheckPose(cHalvexSteamvrDevice& device) {
        const vr::DriverPose_t pose = device.GetPose();
        if (!pose.poseIsValid) return;
        for (double v : pose.vecPosition)
            if (!std::isfinite(v)) halvex::fuzz::Fail("frame_record", "GetPose hands out a non-finite valid pose");
    }

    halvex::fuzz::sFuzzDriverHost mHost;
    std::unique_ptr<tessaly::server::cMocapServer> mServer;
    TessalyClient mClient;
    cHalvexDeviceProvider mProvider;
    std::unique_ptr<cHalvexSteamvrDevice> mHead;
    std::unique_ptr<cHalvexSteamvrDevice> mController;
    std::unique_ptr<sFrameOfMocapData> mFrame;
};

int FuzzFrameRecord(const uint8_t* data, size_t size) {
    static cFrameHarness harness;
    harness.Run(data, size);
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(frame_record, FuzzFrameRecord);
