// Cost of the frame callback per frame (the Time column, ns per frame): the work
// the streaming library's frame thread does for every frame before the next one.
#include "core/device_provider.h"
#include "platform/clock.h"
#include "tessaly/server/mocap_server.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// Counts samples; what a device does with them is measured elsewhere.
class cCountingDevice : public cIHalvexDevice {
public:
    explicit cCountingDevice(int32_t id) : mId(id) {}
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
    void UpdateOptical(const double position[3], const double orientation[4], double sampleTime, double) override {
        mSum += position[0] + orientation[3] + sampleTime;
        ++mSamples;
    }
    int32_t mId;
    std::string mSerial = "bench";
    double mSum = 0.0;
    uint64_t mSamples = 0;
};

struct sSession {
    sSession() : server(Config()) {
        std::string error;
        if (!server.Start(&error)) throw std::runtime_error(error);
        server.PauseStream(true);
        sTessalyClientConnectParams params{};
        params.connectionType = ConnectionType_Unicast;
        params.serverCommandPort = server.Port();
        const std::string address = server.Address();
        params.serverAddress = address.c_str();
        params.localAddress = "127.0.0.1";
        if (client.Connect(params) != ErrorCode_OK) throw std::runtime_error("connect failed");
        provider.mQpcFrequency = halvex::platform::TickFrequency();
        provider.mQpcFrequencyDouble = static_cast<double>(provider.mQpcFrequency);
        provider.mClient.store(&client);
        provider.mHeadDevice = &head;
        provider.mControllerADevice = &controllerA;
        provider.mControllerBDevice = &controllerB;
        frame.reset(new sFrameOfMocapData());
        std::memset(frame.get(), 0, sizeof(sFrameOfMocapData));
    }
    ~sSession() {
        provider.mHeadDevice = provider.mControllerADevice = provider.mControllerBDevice = nullptr;
        provider.mClient.store(nullptr);
        client.Disconnect();
        server.Stop();
    }
    static tessaly::server::sMocapServerConfig Config() {
        tessaly::server::sMocapServerConfig config;
        config.frameRateHz = 1.0;
        return config;
    }
    // `count` bodies; the three the devices follow are the last ones, the worst case for the scans.
    void Fill(int32_t count) {
        frame->nRigidBodies = count;
        for (int32_t i = 0; i < count; ++i) {
            sRigidBodyData& body = frame->RigidBodies[i];
            body = sRigidBodyData{};
            body.ID = 1000 + i;
            body.x = 0.1f * static_cast<float>(i % 7);
            body.qw = 1.0f;
            body.Flags = 1;
        }
        head.mId = frame->RigidBodies[count - 3].ID;
        controllerA.mId = frame->RigidBodies[count - 2].ID;
        controllerB.mId = frame->RigidBodies[count - 1].ID;
        frame->CameraMidExposureTimestamp = server.TicksAt(halvex::platform::NowSeconds() - 0.004);
    }

    tessaly::server::cMocapServer server;
    TessalyClient client;
    cHalvexDeviceProvider provider;
    cCountingDevice head{0}, controllerA{0}, controllerB{0};
    std::unique_ptr<sFrameOfMocapData> frame;
};

void RunFrames(benchmark::State& state, int32_t count) {
    sSession session;
    session.Fill(count);
    for (auto _ : state) {
        cHalvexDeviceProvider::OnFrameReceived(session.frame.get(), &session.provider);
        benchmark::ClobberMemory();
    }
    if (session.head.mSamples != static_cast<uint64_t>(state.iterations())) state.SkipWithError("samples were lost");
}

void BM_OnFrameReceived_ThreeBodies(benchmark::State& state) { RunFrames(state, 3); }

void BM_OnFrameReceived_FullFrame(benchmark::State& state) {
    RunFrames(state, static_cast<int32_t>(sizeof(sFrameOfMocapData::RigidBodies) / sizeof(sRigidBodyData)));
}

BENCHMARK(BM_OnFrameReceived_ThreeBodies);
BENCHMARK(BM_OnFrameReceived_FullFrame);

}  // namespace

BENCHMARK_MAIN();
