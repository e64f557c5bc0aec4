// Frame delivery: content, subscriptions, server-clock mapping, the end of
// delivery at Disconnect, server pauses and restarts, refused datagrams.
#include "tessaly_test_support.h"

#include "udp_socket.h"
#include "wire_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

using namespace tessaly_test;
using tessaly::server::cMocapServer;
using tessaly::server::sMocapServerConfig;
using tessaly::server::sRigidBodyPose;

namespace {

struct sSeenFrame {
    std::vector<sRigidBodyData> bodies;
    uint64_t mid = 0, received = 0, transmit = 0;
    double latency = 0;
};

// Collects frames from the frame thread; everything behind one mutex.
class cFrameSink {
public:
    explicit cFrameSink(TessalyClient* client) : mClient(client) {}
    static void Callback(sFrameOfMocapData* frame, void* self) { static_cast<cFrameSink*>(self)->On(frame); }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mFrames.size();
    }
    std::vector<sSeenFrame> Frames() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mFrames;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mMutex);
        mFrames.clear();
    }

private:
    void On(sFrameOfMocapData* frame) {
        sSeenFrame seen;
        seen.bodies.assign(frame->RigidBodies, frame->RigidBodies + frame->nRigidBodies);
        seen.mid = frame->CameraMidExposureTimestamp;
        seen.received = frame->CameraDataReceivedTimestamp;
        seen.transmit = frame->TransmitTimestamp;
        seen.latency = mClient->SecondsSinceHostTimestamp(seen.mid ? seen.mid : seen.received);
        std::lock_guard<std::mutex> lock(mMutex);
        mFrames.push_back(std::move(seen));
    }
    TessalyClient* mClient;
    mutable std::mutex mMutex;
    std::vector<sSeenFrame> mFrames;
};

sRigidBodyPose Pose(float x, bool tracked = true) {
    sRigidBodyPose pose;
    pose.position[0] = x;
    pose.position[1] = 1.5f;
    pose.orientation[1] = 0.6f;
    pose.orientation[3] = 0.8f;
    pose.tracked = tracked;
    return pose;
}

std::vector<int32_t> Ids(const sSeenFrame& frame) {
    std::vector<int32_t> ids;
    for (const auto& b : frame.bodies) ids.push_back(b.ID);
    return ids;
}

class TessalyFrames : public ::testing::Test {
protected:
    void Connect(sMocapServerConfig config = {}) {
        config.frameRateHz = 200;
        server = StartServer(config);
        server->SetRigidBody(1, Pose(0.1f));
        server->SetRigidBody(2, Pose(0.2f));
        server->SetRigidBody(3, Pose(0.3f, false));
        ASSERT_EQ(client.Connect(ParamsFor(*server)), ErrorCode_OK);
        ASSERT_EQ(client.SetFrameReceivedCallback(&cFrameSink::Callback, &sink), ErrorCode_OK);
    }
    // The sink dies before the client: delivery must have ended by then.
    void TearDown() override { client.Disconnect(); }
    bool WaitForFrames(size_t n, double timeout = 3.0) {
        return WaitUntil([&] { return sink.Count() >= n; }, timeout);
    }
    std::unique_ptr<cMocapServer> server;
    TessalyClient client;
    cFrameSink sink{&client};
};

}  // namespace

TEST_F(TessalyFrames, FramesCarryRigidBodiesTrackedFlagsAndTicks) {
    Connect();
    ASSERT_TRUE(WaitForFrames(5));
    const sSeenFrame frame = sink.Frames().back();
    ASSERT_EQ(Ids(frame), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_FLOAT_EQ(frame.bodies[1].x, 0.2f);
    EXPECT_FLOAT_EQ(frame.bodies[1].y, 1.5f);
    EXPECT_FLOAT_EQ(frame.bodies[1].qy, 0.6f);
    EXPECT_FLOAT_EQ(frame.bodies[1].qw, 0.8f);
    EXPECT_EQ(frame.bodies[0].Flags & RigidBodyFlag_Tracked, RigidBodyFlag_Tracked);
    EXPECT_EQ(frame.bodies[2].Flags & RigidBodyFlag_Tracked, 0);
    EXPECT_GT(frame.mid, 0u);
    EXPECT_LT(frame.mid, frame.received);
    EXPECT_LT(frame.received, frame.transmit);
}

TEST_F(TessalyFrames, LatencyFromTheMidExposureTickMatchesTheServersLatency) {
    sMocapServerConfig config;
    config.latencySeconds = 0.020;
    Connect(config);
    ASSERT_TRUE(WaitForFrames(40));
    std::vector<double> latencies;
    for (const auto& f : sink.Frames()) {
        latencies.push_back(f.latency);
        EXPECT_NEAR(static_cast<double>(f.transmit - f.mid) / server->ClockFrequency(), 0.020, 1e-6);
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    // Sent 20 ms after mid-exposure, received a little later; the clock mapping may be off by
    // half the shortest round trip, a few ms on a loaded machine. The received tick (10 ms)
    // or the transmit tick (0 ms) would fall well below.
    EXPECT_GT(median, 0.015);
    EXPECT_LT(median, 0.030);

    server->SetMidExposureProvided(false);
    sink.Clear();
    ASSERT_TRUE(WaitForFrames(10));
    // A median, not one frame: a single delivery on a loaded machine can be late by
    // any amount. The mapping's own arithmetic is checked in clock_mapping_test.
    std::vector<double> withoutMid;
    for (const auto& f : sink.Frames())
        if (f.mid == 0) withoutMid.push_back(f.latency);
    ASSERT_GE(withoutMid.size(), 5u);
    std::sort(withoutMid.begin(), withoutMid.end());
    const double medianWithoutMid = withoutMid[withoutMid.size() / 2];
    EXPECT_GT(medianWithoutMid, 0.005) << "the data-received tick lies half the latency before sending";
    EXPECT_LT(medianWithoutMid, 0.018) << "not the mid-exposure tick's 20 ms";
}

TEST_F(TessalyFrames, SecondsSinceHostTimestampMapsTheServerClock) {
    Connect();
    const uint64_t f = server->ClockFrequency();
    // The time spent between reading the server clock and mapping it widens the bound,
    // so a preempted test thread does not pass for a wrong mapping.
    const auto before = std::chrono::steady_clock::now();
    const uint64_t now = server->TicksNow();
    const double sinceNow = client.SecondsSinceHostTimestamp(now);
    const double sinceTwoSecondsAgo = client.SecondsSinceHostTimestamp(now - 2 * f);
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    // The mapping may be off by half the shortest round trip of the connection's
    // exchanges, a few ms on a loaded machine; its arithmetic is in clock_mapping_test.
    EXPECT_GT(sinceNow, -0.010);
    EXPECT_LT(sinceNow, 0.010 + spent);
    EXPECT_GT(sinceTwoSecondsAgo, 2.0 - 0.010);
    EXPECT_LT(sinceTwoSecondsAgo, 2.010 + spent);
    EXPECT_LT(client.SecondsSinceHostTimestamp(server->TicksNow() + f / 10), -0.09) << "a tick in the future";
    EXPECT_LT(client.SecondsSinceHostTimestamp(0), 0.0) << "tick 0 means 'not provided'";
    client.Disconnect();
    EXPECT_LT(client.SecondsSinceHostTimestamp(server->TicksNow()), 0.0) << "no mapping without a connection";
}

TEST_F(TessalyFrames, SubscriptionsFilterPerClient) {
    Connect();
    TessalyClient other;
    cFrameSink otherSink(&other);
    ASSERT_EQ(other.Connect(ParamsFor(*server)), ErrorCode_OK);
    ASSERT_EQ(other.SetFrameReceivedCallback(&cFrameSink::Callback, &otherSink), ErrorCode_OK);

    void* response;
    int size;
    ASSERT_EQ(client.SendMessageAndWait("SubscribeToData,AllTypes,None", &response, &size), ErrorCode_OK);
    sink.Clear();
    ASSERT_TRUE(WaitForFrames(3));
    EXPECT_TRUE(sink.Frames().back().bodies.empty()) << "frames keep coming, without rigid bodies";

    ASSERT_EQ(client.SendMessageAndWait("SubscribeByID,RigidBody,3", 3, 2000, &response, &size), ErrorCode_OK);
    ASSERT_EQ(client.SendMessageAndWait("SubscribeByID,RigidBody,1", 3, 2000, &response, &size), ErrorCode_OK);
    sink.Clear();
    ASSERT_TRUE(WaitForFrames(3));
    EXPECT_EQ(Ids(sink.Frames().back()), (std::vector<int32_t>{1, 3}));

    otherSink.Clear();
    ASSERT_TRUE(WaitUntil([&] { return otherSink.Count() >= 3; }, 3.0));
    EXPECT_EQ(Ids(otherSink.Frames().back()), (std::vector<int32_t>{1, 2, 3})) << "the other client is unfiltered";

    ASSERT_EQ(client.SendMessageAndWait("SubscribeToData", &response, &size), ErrorCode_OK);
    sink.Clear();
    ASSERT_TRUE(WaitForFrames(3));
    EXPECT_EQ(Ids(sink.Frames().back()), (std::vector<int32_t>{1, 2, 3}));
    other.Disconnect();
}

TEST_F(TessalyFrames, SubscribedDataOnlyStartsWithNothing) {
    server = StartServer();
    server->SetRigidBody(4, Pose(0));
    sTessalyClientConnectParams params = ParamsFor(*server);
    params.subscribedDataOnly = true;
    ASSERT_EQ(client.Connect(params), ErrorCode_OK);
    ASSERT_EQ(client.SetFrameReceivedCallback(&cFrameSink::Callback, &sink), ErrorCode_OK);
    ASSERT_TRUE(WaitForFrames(3));
    EXPECT_TRUE(sink.Frames().back().bodies.empty());
}

TEST_F(TessalyFrames, UntrackedEveryNthFrame) {
    sMocapServerConfig config;
    config.untrackedEvery = 2;
    Connect(config);
    ASSERT_TRUE(WaitForFrames(10));
    int tracked = 0, untracked = 0;
    for (const auto& f : sink.Frames()) (f.bodies.at(0).Flags & RigidBodyFlag_Tracked ? tracked : untracked)++;
    EXPECT_GE(tracked, 4);
    EXPECT_GE(untracked, 4);
}

TEST_F(TessalyFrames, NoCallbackRunsOnceDisconnectHasReturned) {
    struct sState {
        std::atomic<int> calls{0};
        std::atomic<bool> inside{false};
    } state;
    Connect();
    ASSERT_EQ(client.SetFrameReceivedCallback(
                  [](sFrameOfMocapData*, void* p) {
                      auto* s = static_cast<sState*>(p);
                      s->inside = true;
                      std::this_thread::sleep_for(std::chrono::milliseconds(15));
                      s->calls++;
                      s->inside = false;
                  },
                  &state),
              ErrorCode_OK);
    ASSERT_TRUE(WaitUntil([&] { return state.calls >= 3; }, 3.0));
    ASSERT_TRUE(WaitUntil([&] { return state.inside.load(); }, 1.0));  // disconnect mid-callback
    client.Disconnect();
    EXPECT_FALSE(state.inside.load());
    const int calls = state.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(state.calls.load(), calls);
}

TEST_F(TessalyFrames, DisconnectAndDestructionFromInsideTheCallback) {
    struct sState {
        TessalyClient* client = nullptr;
        bool destroy = false;
        std::atomic<int> calls{0};
        std::atomic<int> commandResult{-1};
        std::atomic<bool> finished{false};  // orders the callback's reads before the state dies
    };
    auto callback = [](sFrameOfMocapData*, void* p) {
        auto* s = static_cast<sState*>(p);
        if (s->calls++ > 0) return;
        void* r;
        int size;
        s->commandResult = s->client->SendMessageAndWait("SubscribeToData", &r, &size);
        if (s->destroy)
            delete s->client;
        else
            s->client->Disconnect();
        s->finished = true;
    };
    for (bool destroy : {false, true}) {
        server = StartServer();
        sState state;
        state.destroy = destroy;
        state.client = new TessalyClient;
        ASSERT_EQ(state.client->Connect(ParamsFor(*server)), ErrorCode_OK);
        ASSERT_EQ(state.client->SetFrameReceivedCallback(callback, &state), ErrorCode_OK);
        ASSERT_TRUE(WaitUntil([&] { return state.finished.load(); }, 3.0));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(state.calls.load(), 1) << (destroy ? "destroyed" : "disconnected") << " in its own callback";
        EXPECT_EQ(state.commandResult.load(), ErrorCode_InvalidOperation) << "commands would wait for this thread";
        if (!destroy) delete state.client;
        server.reset();
    }
}

TEST_F(TessalyFrames, PausedStreamSendsNothingButStillAnswers) {
    Connect();
    ASSERT_TRUE(WaitForFrames(3));
    server->PauseStream(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sink.Clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.Count(), 0u);
    void* response;
    int size;
    EXPECT_EQ(client.SendMessageAndWait("SubscribeToData", &response, &size), ErrorCode_OK);
    server->PauseStream(false);
    EXPECT_TRUE(WaitForFrames(3));
}

TEST_F(TessalyFrames, RestartedServerForgetsOldClientsAndAcceptsNewOnes) {
    Connect();
    ASSERT_TRUE(WaitForFrames(3));
    const uint16_t port = server->Port();
    server->Stop();
    // Frames already on their way still land; wait for the sink to go quiet before counting.
    for (size_t seen = sink.Count() + 1; seen != sink.Count();) {
        seen = sink.Count();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    sink.Clear();
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    EXPECT_EQ(server->Port(), port);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.Count(), 0u) << "a restarted server does not know the old connection";
    // The old client's keep-alive reaches the new server, which refuses to know it.
    EXPECT_TRUE(WaitUntil([&] { return server->Statistics().droppedUnknownPeer > 0; }, 3.0));

    ASSERT_EQ(client.Connect(ParamsFor(*server)), ErrorCode_OK);
    EXPECT_TRUE(WaitForFrames(3)) << "reconnecting the same client object works";
}

TEST_F(TessalyFrames, BadDatagramsAreDroppedAndCounted) {
    Connect();
    ASSERT_TRUE(WaitForFrames(2));
    using namespace tessaly::wire;
    std::vector<uint8_t> validFrame;
    std::vector<tessaly::wire::sRigidBody> bogus(1);
    bogus[0].id = 99;
    bogus[0].flags = 1;
    EncodeFrame(validFrame, 0x1234, 1, sFrameHeader{1, 5, 6, 7, 0}, bogus.data(), 1);  // wrong token

    std::vector<uint8_t> wrongVersion = validFrame;
    wrongVersion[4] = 7;
    std::vector<uint8_t> malformed = validFrame;
    malformed[kHeaderSize + 28] = 2;  // count beyond the payload
    server->SendRawToClients({1, 2, 3});
    server->SendRawToClients(wrongVersion);
    server->SendRawToClients(malformed);
    server->SendRawToClients(validFrame);

    // A stranger on another port, even with a well-formed frame.
    sTessalyStatistics stats{};
    client.GetStatistics(&stats);
    tessaly::net::cUdpSocket stranger;
    ASSERT_TRUE(stranger.Open(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, 0}, nullptr));
    ASSERT_TRUE(stranger.SendTo(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, stats.localPort},
                                validFrame.data(), validFrame.size()));

    ASSERT_TRUE(WaitUntil(
        [&] {
            client.GetStatistics(&stats);
            return stats.droppedUnknownPeer >= 2;
        },
        3.0));
    EXPECT_EQ(stats.droppedTooShort, 1u);
    EXPECT_EQ(stats.droppedWrongVersion, 1u);
    EXPECT_EQ(stats.droppedMalformed, 1u);
    EXPECT_EQ(stats.droppedUnknownPeer, 2u);
    for (const auto& f : sink.Frames())
        for (const auto& b : f.bodies) EXPECT_NE(b.ID, 99) << "a dropped frame reached the callback";
    sink.Clear();
    EXPECT_TRUE(WaitForFrames(3)) << "the stream goes on";

    // The server refuses the same kinds of traffic.
    stranger.SendTo(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, server->Port()}, malformed.data(),
                    malformed.size());
    std::vector<uint8_t> command;
    EncodeCommandRequest(command, 0x1234, 1, "SubscribeToData");
    stranger.SendTo(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, server->Port()}, command.data(),
                    command.size());
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto s = server->Statistics();
            return s.droppedMalformed >= 1 && s.droppedUnknownPeer >= 1;
        },
        3.0));
    EXPECT_TRUE(server->ReceivedCommands().empty());
}

// A faulty server's frames (NaN pose, a count past the datagram) are refused and
// counted as malformed, and the frames after them are delivered again.
TEST_F(TessalyFrames, DamagedFramesAreRefusedAndTheStreamGoesOn) {
    Connect();
    ASSERT_TRUE(WaitForFrames(3));
    for (const auto damage : {cMocapServer::eFrameDamage::NanPose, cMocapServer::eFrameDamage::AbsurdCount}) {
        sTessalyStatistics before{};
        client.GetStatistics(&before);
        server->DamageNextFrames(damage, 4);
        ASSERT_TRUE(WaitUntil(
            [&] {
                sTessalyStatistics now{};
                client.GetStatistics(&now);
                return now.droppedMalformed >= before.droppedMalformed + 4;
            },
            5.0));
        sink.Clear();
        EXPECT_TRUE(WaitForFrames(3));
        for (const sSeenFrame& frame : sink.Frames())
            for (const sRigidBodyData& body : frame.bodies) EXPECT_TRUE(std::isfinite(body.x));
    }
}
