// Connection, subscriptions, discovery and the reconnect watchdog, end to end: the
// driver folder hosted by the stand-in runtime, servers in-process on loopback.
#include "platform/clock.h"
#include "tessaly/server/mocap_server.h"
#include "test_support.h"
#include "vrhost/host/driver_context.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

namespace {

using namespace halvex::test;
using tessaly::server::cMocapServer;
using tessaly::server::sCommandReply;
using tessaly::server::sMocapServerConfig;



std::unique_ptr<cMocapServer> StartServer(const std::string& address = "127.0.0.1", bool multicast = false) {
    sMocapServerConfig config;
    config.address = address;
    config.multicast = multicast;
    config.frameRateHz = 60.0;
    auto server = std::make_unique<cMocapServer>(config);
    std::string error;
    EXPECT_TRUE(server->Start(&error)) << error;
    tessaly::server::sRigidBodyPose pose;
    pose.position[1] = 1.6f;
    for (int id : {3, 5, 6}) server->SetRigidBody(id, pose);
    return server;
}

size_t CountCommands(const cMocapServer& server, const std::string& prefix) {
    size_t count = 0;
    for (const std::string& command : server.ReceivedCommands())
        if (command.compare(0, prefix.size(), prefix) == 0) ++count;
    return count;
}

bool Connected(const cMocapServer& server) { return !server.Clients().empty(); }

TEST(Streaming, ConnectsWhenTheServerStartsAfterTheDriverAndSubscribesTheSlots) {
    sMocapServerConfig config;
    config.frameRateHz = 60.0;
    cMocapServer server(config);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::string entry = server.DiscoveryEntry();
    server.Stop();  // the port stays reserved for the restart
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", entry);

    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), IntSetting("tessalyRigidBodyIdControllerA", 5)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    host->RunFor(1.5);
    EXPECT_EQ(CountLinesContaining(host->Log(), "Corvane server discovered"), 0u);

    ASSERT_TRUE(server.Start(&error)) << error;
    tessaly::server::sRigidBodyPose pose;
    server.SetRigidBody(3, pose);
    server.SetRigidBody(5, pose);
    ASSERT_TRUE(RunUntil(*host, [&] { return HasLine(host->Log(), "Tessaly SubscribeByID succeeded (RB 5)\n"); }, 15.0));
    host->RunFor(0.5);
    const auto log = host->Log();
    EXPECT_EQ(CountLinesContaining(log, "Corvane server discovered, auto-connecting...\n"), 1u);
    EXPECT_EQ(CountLinesContaining(log, "Initializing Tessaly in unicast, server: 127.0.0.1"), 1u);
    EXPECT_TRUE(HasLine(log, "Tessaly subscriptions successfully reset\n"));
    EXPECT_TRUE(HasLine(log, "Tessaly SubscribeByID succeeded (RB 3)\n"));
    EXPECT_EQ(CountCommands(server, "SubscribeByID,RigidBody,"), 2u);
    host->Cleanup();
    server.Stop();
}

TEST(Streaming, FollowsTheAnnouncedConnectionTypeAndTheAddressFilters) {
    auto multicastServer = StartServer("127.0.0.1", /*multicast=*/true);
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", multicastServer->DiscoveryEntry());
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), BoolSetting("tessalyUseMulticast", false)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*host, [&] { return Connected(*multicastServer); }, 10.0));
    EXPECT_EQ(CountLinesContaining(host->Log(), "Initializing Tessaly in multicast, server: 127.0.0.1"), 1u);
    host->Cleanup();

    // A server address in the settings that no server has: the server answers the
    // discovery, the filter refuses it, nothing connects and nothing is said.
    const uint64_t answersBefore = multicastServer->Statistics().discoveryAnswers;
    auto filtered = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3),
                              StringSetting("tessalyServerAddress", "127.0.0.9")});
    ASSERT_EQ(filtered->Init(), vr::VRInitError_None);
    filtered->RunFor(2.5);
    EXPECT_GT(multicastServer->Statistics().discoveryAnswers, answersBefore) << "the server was found";
    EXPECT_EQ(CountLinesContaining(filtered->Log(), "Corvane server discovered"), 0u);
    EXPECT_TRUE(multicastServer->Clients().empty());
    filtered->Cleanup();
    multicastServer->Stop();
}

TEST(Streaming, PicksTheServerTheSettingsName) {
    if (!tessaly::server::LoopbackAliasesUsable()) GTEST_SKIP() << "only 127.0.0.1 can be bound here";
    auto second = StartServer("127.0.0.2");
    auto third = StartServer("127.0.0.3");
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", second->DiscoveryEntry() + "," + third->DiscoveryEntry());
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), StringSetting("tessalyServerAddress", "127.0.0.3"),
                          StringSetting("tessalyLocalAddress", "127.0.0.1")});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*host, [&] { return Connected(*third); }, 10.0));
    host->RunFor(0.5);
    EXPECT_FALSE(Connected(*second));
    EXPECT_EQ(CountLinesContaining(host->Log(), "Initializing Tessaly in unicast, server: 127.0.0.3"), 1u);
    host->Cleanup();

    // A local address no server is reached from filters every report out.
    const uint64_t answersBefore = second->Statistics().discoveryAnswers + third->Statistics().discoveryAnswers;
    auto local = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), StringSetting("tessalyLocalAddress", "127.0.0.7")});
    ASSERT_EQ(local->Init(), vr::VRInitError_None);
    local->RunFor(2.0);
    EXPECT_GT(second->Statistics().discoveryAnswers + third->Statistics().discoveryAnswers, answersBefore)
        << "the servers were found";
    EXPECT_EQ(CountLinesContaining(local->Log(), "Corvane server discovered"), 0u);
    EXPECT_TRUE(second->Clients().empty());
    EXPECT_TRUE(third->Clients().empty());
    local->Cleanup();
}

TEST(Streaming, ConnectionAndSubscriptionFailuresAreLoggedAndTolerated) {
    auto server = StartServer();
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    server->RefuseConnections(5);
    auto refused = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(refused->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*refused, [&] {
        return HasLine(refused->Log(), "TessalyClient::Connect returned error code 5\n");
    }, 10.0));
    refused->Cleanup();
    server->RefuseConnections(0);

    server->ClearReceivedCommands();
    server->SetCommandReply("SubscribeToData", sCommandReply::Error(4));
    auto clearFails = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(clearFails->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*clearFails, [&] { return CountCommands(*server, "SubscribeByID") > 0; }, 10.0));
    clearFails->RunFor(0.3);
    EXPECT_TRUE(HasLine(clearFails->Log(), "Tessaly filter clear failed (error code 4)\n"));
    EXPECT_EQ(CountCommands(*server, "SubscribeToData,AllTypes,None"), 0u);
    EXPECT_EQ(CountCommands(*server, "SubscribeByID,RigidBody,3"), 1u);
    clearFails->Cleanup();
    server->ClearCommandReplies();

    server->ClearReceivedCommands();
    server->SetCommandReply("SubscribeToData,AllTypes,None", sCommandReply::Bytes({9, 0, 0, 0, 1, 0, 0, 0}));
    auto oddSize = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(oddSize->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*oddSize, [&] { return HasLine(oddSize->Log(), "Tessaly SubscribeByID succeeded (RB 3)\n"); },
                         10.0));
    EXPECT_TRUE(HasLine(oddSize->Log(), "Tessaly unsubscribe failed (response size 8, response[0] == 9)\n"));
    EXPECT_EQ(CountCommands(*server, "SubscribeByID"), 1u) << "only the head slot is occupied";
    oddSize->Cleanup();
    server->ClearCommandReplies();

    // Each way a subscription can fail is logged, and the connection streams all the same.
    const std::pair<sCommandReply, std::string> subscribeFailures[] = {
        {sCommandReply::Error(7), "SubscribeByID failed (error code 7)\n"},
        {sCommandReply::NullResponse(), "Tessaly SubscribeByID failed (pResponse == nullptr)\n"},
        {sCommandReply::Bytes({9, 0, 0, 0, 1, 0, 0, 0}), "Tessaly SubscribeByID failed (response size 8, response[0] == 9)\n"},
        {sCommandReply::Bytes({5, 0, 0, 0}), "Tessaly SubscribeByID failed (response size 4, response[0] == 5)\n"},
    };
    for (const auto& failure : subscribeFailures) {
        const std::string& line = failure.second;
        server->SetCommandReply("SubscribeByID*", failure.first);
        auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
        ASSERT_EQ(host->Init(), vr::VRInitError_None);
        ASSERT_TRUE(RunUntil(*host, [&] { return HasLine(host->Log(), line); }, 10.0)) << line;
        const uint64_t frames = server->Statistics().framesSent;
        EXPECT_TRUE(RunUntil(*host, [&] { return server->Statistics().framesSent > frames + 10; }, 5.0)) << line;
        EXPECT_EQ(CountLinesContaining(host->Log(), "Tessaly SubscribeByID succeeded"), 0u) << line;
        host->Cleanup();
    }
    server->Stop();
}

TEST(Streaming, SilentStreamIsDroppedAfterFiveSecondsAndReconnects) {
    auto server = StartServer();
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*host, [&] { return server->Statistics().framesSent > 10; }, 10.0));
    host->RunFor(0.5);

    server->Stop();
    const double stopped = halvex::platform::NowSeconds();
    const std::string stale = "Tessaly frame timestamp is stale. Restarting discovery.\n";
    ASSERT_TRUE(RunUntil(*host, [&] { return HasLine(host->Log(), stale); }, 9.0));
    const double staleAfter = halvex::platform::NowSeconds() - stopped;
    EXPECT_GT(staleAfter, 4.9);
    EXPECT_LT(staleAfter, 7.5);

    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    ASSERT_TRUE(RunUntil(*host, [&] { return CountLinesContaining(host->Log(), "Corvane server discovered") >= 2; },
                         10.0));
    ASSERT_TRUE(RunUntil(*host, [&] { return Connected(*server); }, 10.0));
    EXPECT_EQ(CountLinesContaining(host->Log(), stale), 1u);
    host->Cleanup();
    server->Stop();
}

TEST(Streaming, CleanupWhileSearchingReturnsPromptly) {
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", "127.0.0.1:9");  // nobody answers there
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    host->RunFor(1.2);
    const auto start = std::chrono::steady_clock::now();
    host->Cleanup();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(CountLinesContaining(host->Log(), "Tessaly reconnect logic idle"), 0u)
        << "the watchdog says nothing on its way out";
}

// A server that accepts the connection and then never sends a frame: the driver
// must not wait for it forever, and connects again once frames can come.
TEST(Streaming, AConnectionThatNeverDeliversAFrameIsDroppedAfterTheStaleTime) {
    auto server = StartServer();
    server->PauseStream(true);
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    const std::string subscribed = "Tessaly SubscribeByID succeeded (RB 3)\n";
    ASSERT_TRUE(RunUntil(*host, [&] { return HasLine(host->Log(), subscribed); }, 10.0));
    const double connected = halvex::platform::NowSeconds();

    const std::string stale = "Tessaly frame timestamp is stale. Restarting discovery.\n";
    ASSERT_TRUE(RunUntil(*host, [&] { return HasLine(host->Log(), stale); }, 12.0)) << "stuck in a silent connection";
    EXPECT_GT(halvex::platform::NowSeconds() - connected, 4.9);

    server->PauseStream(false);
    const double resumed = halvex::platform::NowSeconds();
    ASSERT_TRUE(RunUntil(*host, [&] { return CountLinesContaining(host->Log(), subscribed) >= 2; }, 10.0));
    const uint64_t framesBefore = server->Statistics().framesSent;
    ASSERT_TRUE(RunUntil(*host, [&] { return server->Statistics().framesSent > framesBefore + 30; }, 10.0));
    // The stale time had passed already: the new connection follows the server within seconds.
    EXPECT_LT(halvex::platform::NowSeconds() - resumed, 8.0);
    host->Cleanup();
    server->Stop();
}

TEST(Streaming, ASecondInitWithoutCleanupIsRefusedAndTheDriverRunsOn) {
    auto server = StartServer();
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    ASSERT_TRUE(RunUntil(*host, [&] { return server->Statistics().framesSent > 10; }, 10.0));

    EXPECT_EQ(host->Provider()->Init(&host->Context()), vr::VRInitError_Init_AlreadyRunning);
    EXPECT_TRUE(HasLine(host->Log(), "Init called again without Cleanup; ignored\n"));
    EXPECT_EQ(CountLinesContaining(host->Log(), "Initializing Halvex OpenVR Driver"), 1u);
    const uint64_t frames = server->Statistics().framesSent;
    ASSERT_TRUE(RunUntil(*host, [&] { return server->Statistics().framesSent > frames + 10; }, 5.0));
    EXPECT_EQ(server->Clients().size(), 1u) << "still the one connection";
    host->Cleanup();
    server->Stop();
}

}  // namespace
