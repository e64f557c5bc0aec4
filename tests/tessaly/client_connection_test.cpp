// Connection, description and commands of the client against the in-process
// simulated server over loopback.
#include "tessaly_test_support.h"

#include "udp_socket.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

using namespace tessaly_test;
using tessaly::server::cMocapServer;
using tessaly::server::sCommandReply;

TEST(TessalyConnection, ConnectFillsTheServerDescriptionAndRegistersTheClient) {
    tessaly::server::sMocapServerConfig config;
    config.name = "stage left";
    config.multicast = true;
    auto server = StartServer(config);
    TessalyClient client;
    ASSERT_EQ(client.Connect(ParamsFor(*server, ConnectionType_Multicast)), ErrorCode_OK);
    sServerDescription description{};
    ASSERT_EQ(client.GetServerDescription(&description), ErrorCode_OK);
    EXPECT_TRUE(description.bServerPresent);
    EXPECT_STREQ(description.szServerName, "stage left");
    EXPECT_EQ(description.ClockFrequency, server->ClockFrequency());
    EXPECT_EQ(description.CommandPort, server->Port());
    EXPECT_TRUE(description.bMulticast);
    EXPECT_EQ(description.ServerAddress[0], 127);
    EXPECT_EQ(description.ServerAddress[3], 1);
    const auto clients = server->Clients();
    ASSERT_EQ(clients.size(), 1u);
    EXPECT_TRUE(clients[0].multicast);
    EXPECT_TRUE(clients[0].allRigidBodies);

    client.Disconnect();
    EXPECT_NE(client.GetServerDescription(&description), ErrorCode_OK);
    EXPECT_TRUE(WaitUntil([&] { return server->Clients().empty(); }, 2.0)) << "the server heard the goodbye";
}

TEST(TessalyConnection, RefusedConnectReturnsTheServersCodeAndLeavesNoConnection) {
    cLogCapture log;
    auto server = StartServer();
    server->RefuseConnections(5);
    TessalyClient client;
    EXPECT_EQ(client.Connect(ParamsFor(*server)), 5);
    sServerDescription description{};
    EXPECT_NE(client.GetServerDescription(&description), ErrorCode_OK);
    void* response = nullptr;
    int size = -1;
    EXPECT_EQ(client.SendMessageAndWait("SubscribeToData", &response, &size), ErrorCode_NotConnected);
    EXPECT_TRUE(server->Clients().empty());
    EXPECT_EQ(server->Statistics().connectionsRefused, 1u);
    EXPECT_TRUE(log.Contains("refused the connection with code 5"));

    server->RefuseConnections(0);
    EXPECT_EQ(client.Connect(ParamsFor(*server)), ErrorCode_OK) << "the same client object can try again";
}

TEST(TessalyConnection, ConnectWithoutServerFailsAfterBoundedTries) {
    uint16_t deadPort;
    {
        tessaly::net::cUdpSocket probe;
        ASSERT_TRUE(probe.Open(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, 0}, nullptr));
        deadPort = probe.LocalEndpoint().port;
    }
    sTessalyClientConnectParams params{};
    params.connectionType = ConnectionType_Unicast;
    params.serverAddress = "127.0.0.1";
    params.serverCommandPort = deadPort;
    TessalyClient client;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Connect(params), ErrorCode_Network);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(elapsed, 1.0);
    EXPECT_LT(elapsed, 5.0);
}

TEST(TessalyConnection, NonLoopbackAndInvalidParametersAreRefusedBeforeAnyTraffic) {
    cLogCapture log;
    TessalyClient client;
    sTessalyClientConnectParams params{};
    params.connectionType = ConnectionType_Unicast;
    params.serverAddress = "192.0.2.20";
    EXPECT_EQ(client.Connect(params), ErrorCode_InvalidArgument);
    EXPECT_TRUE(log.Contains("Refusing server address 192.0.2.20"));
    params.serverAddress = "127.0.0.1";
    params.localAddress = "198.51.100.5";
    EXPECT_EQ(client.Connect(params), ErrorCode_InvalidArgument);
    params.localAddress = "127.0.0.1";
    params.connectionType = static_cast<ConnectionType>(7);
    EXPECT_EQ(client.Connect(params), ErrorCode_InvalidArgument);
    params.connectionType = ConnectionType_Unicast;
    params.BitstreamVersion[0] = 9;
    EXPECT_EQ(client.Connect(params), ErrorCode_InvalidArgument);
    sTessalyStatistics stats{};
    client.GetStatistics(&stats);
    EXPECT_EQ(stats.datagramsReceived, 0u);
}

class TessalyCommands : public ::testing::Test {
protected:
    void SetUp() override {
        server = StartServer();
        ASSERT_EQ(client.Connect(ParamsFor(*server)), ErrorCode_OK);
    }
    std::unique_ptr<cMocapServer> server;
    TessalyClient client;
    void* response = nullptr;
    int size = -1;
};

TEST_F(TessalyCommands, SubscriptionCommandsAnswerWithAFourByteZero) {
    for (const char* command : {"SubscribeToData", "SubscribeToData,AllTypes,None", "SubscribeByID,RigidBody,-3"}) {
        ASSERT_EQ(client.SendMessageAndWait(command, 3, 2000, &response, &size), ErrorCode_OK) << command;
        ASSERT_NE(response, nullptr);
        EXPECT_EQ(size, 4);
        EXPECT_EQ(FirstInt(response), 0);
    }
    EXPECT_EQ(server->ReceivedCommands(),
              (std::vector<std::string>{"SubscribeToData", "SubscribeToData,AllTypes,None", "SubscribeByID,RigidBody,-3"}));
    const auto clients = server->Clients();
    ASSERT_EQ(clients.size(), 1u);
    EXPECT_EQ(clients[0].subscribedIds, std::vector<int32_t>{-3});
}

TEST_F(TessalyCommands, UnknownOrBadCommandsAnswerWithNonZeroContent) {
    ASSERT_EQ(client.SendMessageAndWait("Shutdown", &response, &size), ErrorCode_OK);
    ASSERT_EQ(size, 4);
    EXPECT_NE(FirstInt(response), 0);
    ASSERT_EQ(client.SendMessageAndWait("SubscribeByID,RigidBody,abc", &response, &size), ErrorCode_OK);
    EXPECT_NE(FirstInt(response), 0);
}

TEST_F(TessalyCommands, ScriptedErrorNullAndOddSizedResponses) {
    server->SetCommandReply("SubscribeToData", sCommandReply::Error(9));
    server->SetCommandReply("SubscribeToData,AllTypes,None", sCommandReply::Bytes({0, 0, 0, 0, 7, 0, 0, 0}));
    server->SetCommandReply("SubscribeByID*", sCommandReply::NullResponse());

    EXPECT_EQ(client.SendMessageAndWait("SubscribeToData", &response, &size), 9);
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(size, 0);

    ASSERT_EQ(client.SendMessageAndWait("SubscribeToData,AllTypes,None", &response, &size), ErrorCode_OK);
    ASSERT_EQ(size, 8);
    EXPECT_EQ(FirstInt(response), 0);
    EXPECT_EQ(FirstInt(static_cast<uint8_t*>(response) + 4), 7);

    EXPECT_EQ(client.SendMessageAndWait("SubscribeByID,RigidBody,4", 3, 2000, &response, &size), ErrorCode_OK);
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(size, 0);
    // Scripted answers replace execution: the filter is untouched.
    EXPECT_TRUE(server->Clients().at(0).allRigidBodies);
}

TEST_F(TessalyCommands, UnansweredCommandTimesOutAfterItsTriesAndRetriesAreNotExecutedTwice) {
    server->SetCommandReply("SubscribeByID*", sCommandReply::NoAnswer());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.SendMessageAndWait("SubscribeByID,RigidBody,1", 3, 100, &response, &size), ErrorCode_Timeout);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 0.29);
    EXPECT_LT(elapsed, 2.0);
    EXPECT_EQ(server->ReceivedCommands(), std::vector<std::string>{"SubscribeByID,RigidBody,1"});

    server->ClearCommandReplies();
    ASSERT_EQ(client.SendMessageAndWait("SubscribeByID,RigidBody,1", 3, 100, &response, &size), ErrorCode_OK);
    EXPECT_EQ(FirstInt(response), 0);
}

TEST_F(TessalyCommands, ArgumentsOutsideTheirBoundsAreRefused) {
    EXPECT_EQ(client.SendMessageAndWait(nullptr, &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(client.SendMessageAndWait("SubscribeToData", 0, 100, &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(client.SendMessageAndWait("SubscribeToData", 1, 0, &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(client.SendMessageAndWait("SubscribeToData", 1000, 100, &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(client.SendMessageAndWait("", &response, &size), ErrorCode_InvalidArgument);
    EXPECT_EQ(client.SendMessageAndWait(std::string(300, 'x').c_str(), &response, &size), ErrorCode_InvalidArgument);
    EXPECT_TRUE(server->ReceivedCommands().empty());
}

TEST_F(TessalyCommands, ResponsesOfConcurrentCallersDoNotOverwriteEachOther) {
    server->SetCommandReply("A", sCommandReply::Bytes({1, 0, 0, 0}));
    server->SetCommandReply("B", sCommandReply::Bytes({2, 0, 0, 0, 0, 0, 0, 0}));
    std::atomic<int> failures{0};
    auto worker = [&](const char* command, int expectedSize, int expectedValue) {
        for (int i = 0; i < 50; ++i) {
            void* r = nullptr;
            int s = 0;
            if (client.SendMessageAndWait(command, 3, 1000, &r, &s) != ErrorCode_OK || s != expectedSize ||
                FirstInt(r) != expectedValue)
                ++failures;
        }
    };
    std::thread a(worker, "A", 4, 1), b(worker, "B", 8, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}

// The server drops a client it has not heard from for 5 s: a session longer than
// that lives only by the client's keep-alives.
TEST(TessalyConnection, KeepAlivesHoldASessionLongerThanTheServersClientTimeout) {
    auto server = StartServer();
    std::mutex eventsMutex;
    std::vector<std::string> events;
    server->SetEventLog([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(eventsMutex);
        events.push_back(line);
    });
    TessalyClient client;
    ASSERT_EQ(client.Connect(ParamsFor(*server)), ErrorCode_OK);
    std::this_thread::sleep_for(std::chrono::seconds(7));
    ASSERT_EQ(server->Clients().size(), 1u) << "the server still counts the client";
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        for (const std::string& line : events) EXPECT_EQ(line.find("timed out"), std::string::npos) << line;
    }
    const uint64_t sent = server->Clients()[0].framesSent;
    EXPECT_TRUE(WaitUntil([&] { return !server->Clients().empty() && server->Clients()[0].framesSent > sent + 10; }, 2.0))
        << "frames still stream";
    client.Disconnect();
    server->SetEventLog(nullptr);
}

// A server that went away gets keep-alives for 10 s, then none: the client does not
// send into a port nobody listens on for ever.
TEST(TessalyConnection, KeepAlivesStopAfterTheServerHasBeenSilentForTenSeconds) {
    cLogCapture log;
    auto server = StartServer();
    TessalyClient client;
    ASSERT_EQ(client.Connect(ParamsFor(*server)), ErrorCode_OK);
    const uint16_t port = server->Port();
    server->Stop();
    // Listen where the server was, as it would after a restart.
    tessaly::net::cUdpSocket listener;
    std::string error;
    ASSERT_TRUE(listener.Open(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, port}, &error)) << error;
    const auto stopped = std::chrono::steady_clock::now();
    const auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count(); };
    int early = 0, late = 0;
    uint8_t buffer[2048];
    while (seconds() < 13.0) {
        size_t size = 0;
        tessaly::net::sEndpoint from;
        if (listener.ReceiveFrom(buffer, sizeof buffer, &size, &from, 100) != tessaly::net::eReceiveResult::Datagram)
            continue;
        const double at = seconds();
        if (at < 8.0) ++early;
        if (at > 11.5) ++late;
    }
    EXPECT_GE(early, 4) << "keep-alives while the silence is young";
    EXPECT_EQ(late, 0) << "none once it has lasted 10 s";
    EXPECT_TRUE(log.Contains("silent for 10 s; keep-alives suspended"));
    client.Disconnect();
}
