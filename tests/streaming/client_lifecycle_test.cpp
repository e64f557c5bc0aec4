// The provider's streaming side without a runtime: starting the discovery when the
// library cannot, and tearing the client down from two threads at once.
#include "core/device_provider.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/sleep.h"
#include "tessaly/server/mocap_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

namespace {

using halvex::platform::SetEnvironment;

std::atomic<int> gStartCalls{0};
std::atomic<int> gFailuresLeft{0};

// The library's start, refusing as many times as asked first.
ErrorCode StartUnlessTold(TessalyDiscoveryHandle* handle, TessalyServerDiscoveryCallbackFunc callback, void* context) {
    gStartCalls.fetch_add(1);
    if (gFailuresLeft.fetch_sub(1) > 0) {
        *handle = nullptr;
        return ErrorCode_Internal;
    }
    return Tessaly_CreateAsyncServerDiscovery(handle, callback, context);
}

class StreamingLifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", "127.0.0.1:9");  // nobody answers there
        // The library's own probe limit, even after a test that lowered it failed half-way.
        SetEnvironment("TESSALY_DISCOVERY_ROUNDS", "");
        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
        mProvider.mStartDiscoveryCall = &StartUnlessTold;
        gStartCalls.store(0);
    }
    void TearDown() override { mProvider.StopStreaming(); }

    cHalvexDeviceProvider mProvider;
};

TEST_F(StreamingLifecycle, ADiscoveryThatCouldNotStartIsRetriedOnTheWatchdogsNextTurn) {
    gFailuresLeft.store(1);
    mProvider.StartStreaming();
    const double end = halvex::platform::NowSeconds() + 3.0;
    while (!mProvider.mDiscoveryRunning.load() && halvex::platform::NowSeconds() < end)
        halvex::platform::SleepFor(0.01);
    EXPECT_TRUE(mProvider.mDiscoveryRunning.load());
    EXPECT_NE(mProvider.mDiscovery.load(), nullptr);
    EXPECT_EQ(gStartCalls.load(), 2);
}

TEST_F(StreamingLifecycle, ADiscoveryThatNeverStartsIsRetriedOnceAPeriodNotInASpin) {
    gFailuresLeft.store(1000000);
    mProvider.StartStreaming();
    halvex::platform::SleepFor(2.5);
    EXPECT_FALSE(mProvider.mDiscoveryRunning.load()) << "nothing runs, and nothing says it does";
    EXPECT_GE(gStartCalls.load(), 3);
    EXPECT_LE(gStartCalls.load(), 5);
}

TEST_F(StreamingLifecycle, AServerThatAppearsLongAfterTheSearchWentQuietIsStillFound) {
    tessaly::server::cMocapServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::string entry = server.DiscoveryEntry();
    server.Stop();  // its port is kept for the restart
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", entry.c_str());
    SetEnvironment("TESSALY_DISCOVERY_ROUNDS", "2");  // each discovery probes for about a second
    gFailuresLeft.store(0);
    mProvider.mDiscoveryRenewSeconds = 2.0;
    mProvider.StartStreaming();
    halvex::platform::SleepFor(3.5);
    EXPECT_EQ(mProvider.mClient.load(), nullptr);
    EXPECT_GE(gStartCalls.load(), 2) << "the quiet search was not replaced";

    ASSERT_TRUE(server.Start(&error)) << error;
    // Streaming: a client, and the first frame has ended the search.
    auto streaming = [&] { return mProvider.mClient.load() && !mProvider.mDiscoveryRunning.load(); };
    const double end = halvex::platform::NowSeconds() + 8.0;
    while (!streaming() && halvex::platform::NowSeconds() < end) halvex::platform::SleepFor(0.02);
    EXPECT_TRUE(streaming()) << "the server that came later was never found";
    mProvider.StopStreaming();
    server.Stop();
}

TEST_F(StreamingLifecycle, TwoThreadsTearingDownTheSameClientFreeItOnce) {
    tessaly::server::cMocapServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::string address = server.Address();
    for (int round = 0; round < 20; ++round) {
        // Allocated as the driver does, so that the teardown frees it as it would.
        void* storage = std::malloc(sizeof(TessalyClient));
        ASSERT_NE(storage, nullptr);
        auto* client = new (storage) TessalyClient();
        sTessalyClientConnectParams params{};
        params.connectionType = ConnectionType_Unicast;
        params.serverCommandPort = server.Port();
        params.serverAddress = address.c_str();
        params.localAddress = "127.0.0.1";
        ASSERT_EQ(client->Connect(params), ErrorCode_OK);
        mProvider.mClient.store(client);
        mProvider.mLastFrameTime.store(halvex::platform::NowSeconds());

        std::atomic<int> ready{0};
        auto teardown = [&] {
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
            mProvider.TeardownClient();
        };
        std::thread watchdog(teardown);
        std::thread cleanup(teardown);
        watchdog.join();
        cleanup.join();
        EXPECT_EQ(mProvider.mClient.load(), nullptr);
        EXPECT_EQ(mProvider.mLastFrameTime.load(), DBL_MAX);
    }
    server.Stop();
}

}  // namespace
