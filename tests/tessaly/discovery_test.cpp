// Asynchronous server discovery over loopback: what it reports, what it refuses,
// and that freeing it ends its callbacks from any thread.
#include "tessaly_test_support.h"

#include "udp_socket.h"
#include "wire_format.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

using namespace tessaly_test;
using tessaly::server::cMocapServer;
using tessaly::server::sMocapServerConfig;

namespace {

struct sReport {
    std::string local, server;
    uint16_t port = 0;
    bool multicast = false;
    uint64_t frequency = 0;
};

class cReports {
public:
    static void Callback(const sDiscoveredServer* server, void* self) {
        auto* r = static_cast<cReports*>(self);
        sReport report;
        report.local = server->localAddress;
        report.server = server->serverAddress;
        report.port = server->serverCommandPort;
        report.multicast = server->multicast;
        report.frequency = server->clockFrequency;
        std::lock_guard<std::mutex> lock(r->mMutex);
        r->mReports.push_back(report);
    }
    std::vector<sReport> All() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mReports;
    }
    bool Has(const std::string& server, const std::string& local = "127.0.0.1") const {
        for (const auto& r : All())
            if (r.server == server && r.local == local) return true;
        return false;
    }
    sReport Find(const std::string& server) const {
        for (const auto& r : All())
            if (r.server == server) return r;
        return {};
    }

private:
    mutable std::mutex mMutex;
    std::vector<sReport> mReports;
};

std::unique_ptr<cMocapServer> ServerOn(const std::string& address, bool multicast) {
    sMocapServerConfig config;
    config.address = address;
    config.multicast = multicast;
    config.frameRateHz = 100;
    return StartServer(config);
}

#define SKIP_WITHOUT_LOOPBACK_ALIASES()                                                                   \
    if (!tessaly::server::LoopbackAliasesUsable())                                                        \
    GTEST_SKIP() << "binding 127.0.0.2+ here would bind all interfaces (Wine); servers use 127.0.0.1 only"

}  // namespace

TEST(TessalyDiscovery, ReportsServersOnSeveralLoopbackAddressesWithTheirStreamingMode) {
    SKIP_WITHOUT_LOOPBACK_ALIASES();
    auto unicast = ServerOn("127.0.0.2", false);
    auto multicast = ServerOn("127.0.0.3", true);
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", unicast->DiscoveryEntry() + "," + multicast->DiscoveryEntry());
    cReports reports;
    TessalyDiscoveryHandle handle = nullptr;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&handle, &cReports::Callback, &reports), ErrorCode_OK);
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return reports.Has("127.0.0.2") && reports.Has("127.0.0.3"); }, 3.0));
    EXPECT_EQ(Tessaly_FreeAsyncServerDiscovery(handle), ErrorCode_OK);

    const sReport two = reports.Find("127.0.0.2"), three = reports.Find("127.0.0.3");
    EXPECT_FALSE(two.multicast);
    EXPECT_TRUE(three.multicast);
    EXPECT_EQ(two.port, unicast->Port());
    EXPECT_EQ(three.frequency, multicast->ClockFrequency());

    // Port 0 connects to the port the discovery saw, given only the address text.
    TessalyClient client;
    sTessalyClientConnectParams params{};
    params.connectionType = ConnectionType_Multicast;
    params.serverAddress = "127.0.0.3";
    params.localAddress = "127.0.0.1";
    ASSERT_EQ(client.Connect(params), ErrorCode_OK);
    EXPECT_EQ(multicast->Clients().size(), 1u);
    EXPECT_TRUE(unicast->Clients().empty());
}

TEST(TessalyDiscovery, LocalAddressIsTheLoopbackAddressProbedFrom) {
    SKIP_WITHOUT_LOOPBACK_ALIASES();
    auto server = ServerOn("127.0.0.2", false);
    cScopedEnvironment targets("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    cScopedEnvironment locals("TESSALY_DISCOVERY_LOCAL_ADDRESSES", "127.0.0.1, 127.0.0.4");
    cReports reports;
    TessalyDiscoveryHandle handle = nullptr;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&handle, &cReports::Callback, &reports), ErrorCode_OK);
    EXPECT_TRUE(WaitUntil([&] { return reports.Has("127.0.0.2", "127.0.0.1") && reports.Has("127.0.0.2", "127.0.0.4"); }, 3.0));
    Tessaly_FreeAsyncServerDiscovery(handle);
}

TEST(TessalyDiscovery, MulticastAnnouncementOnTheMainLoopbackAddress) {
    auto server = ServerOn("127.0.0.1", true);
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    cReports reports;
    TessalyDiscoveryHandle handle = nullptr;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&handle, &cReports::Callback, &reports), ErrorCode_OK);
    EXPECT_TRUE(WaitUntil([&] { return reports.Has("127.0.0.1"); }, 3.0));
    Tessaly_FreeAsyncServerDiscovery(handle);
    const sReport r = reports.Find("127.0.0.1");
    EXPECT_TRUE(r.multicast);
    EXPECT_EQ(r.local, "127.0.0.1");
    EXPECT_EQ(r.port, server->Port());
}

TEST(TessalyDiscovery, NonLoopbackEntriesAreRefusedWithAMessage) {
    cLogCapture log;
    auto server = ServerOn("127.0.0.1", false);
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", "198.51.100.7:" + std::to_string(server->Port()) + ",203.0.113.9," +
                                                              server->DiscoveryEntry());
    cReports reports;
    TessalyDiscoveryHandle handle = nullptr;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&handle, &cReports::Callback, &reports), ErrorCode_OK);
    EXPECT_TRUE(WaitUntil([&] { return reports.Has("127.0.0.1"); }, 3.0));
    Tessaly_FreeAsyncServerDiscovery(handle);
    EXPECT_TRUE(log.Contains("non-loopback address 198.51.100.7 refused"));
    EXPECT_TRUE(log.Contains("non-loopback address 203.0.113.9 refused"));
    for (const auto& r : reports.All()) EXPECT_EQ(r.server, "127.0.0.1");
}

TEST(TessalyDiscovery, ForgedAndMalformedAnswersAreDroppedAndCounted) {
    // A fake server that answers each probe with four bad datagrams and one good one.
    tessaly::net::cUdpSocket fake;
    ASSERT_TRUE(fake.Open(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, 0}, nullptr));
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", "127.0.0.1:" + std::to_string(fake.LocalEndpoint().port));
    cReports reports;
    TessalyDiscoveryHandle handle = nullptr;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&handle, &cReports::Callback, &reports), ErrorCode_OK);

    std::vector<uint8_t> buffer(2048);
    size_t size = 0;
    tessaly::net::sEndpoint prober;
    ASSERT_EQ(fake.ReceiveFrom(buffer.data(), buffer.size(), &size, &prober, 3000), tessaly::net::eReceiveResult::Datagram);
    tessaly::wire::sDatagram probe;
    ASSERT_EQ(tessaly::wire::ParseDatagram(buffer.data(), size, &probe), tessaly::wire::eParseResult::Ok);
    ASSERT_EQ(probe.header.type, tessaly::wire::eMessageType::DiscoveryProbe);

    tessaly::wire::sServerInfo info;
    info.port = fake.LocalEndpoint().port;
    info.clockFrequency = 1000;
    std::strcpy(info.name, "fake");
    std::vector<uint8_t> answer;
    tessaly::wire::sHeader forged = probe.header;
    forged.token ^= 1;
    tessaly::wire::EncodeDiscoveryAnswer(answer, forged, info);
    fake.SendTo(prober, answer.data(), answer.size());  // wrong nonce
    tessaly::wire::sServerInfo otherPort = info;
    otherPort.port = static_cast<uint16_t>(info.port + 1);
    tessaly::wire::EncodeDiscoveryAnswer(answer, probe.header, otherPort);
    fake.SendTo(prober, answer.data(), answer.size());  // announces a port it does not answer from
    tessaly::wire::EncodeDiscoveryAnswer(answer, probe.header, info);
    std::vector<uint8_t> versioned = answer;
    versioned[4] = 9;
    fake.SendTo(prober, versioned.data(), versioned.size());
    fake.SendTo(prober, answer.data(), 30);
    fake.SendTo(prober, answer.data(), answer.size());  // the one good answer

    EXPECT_TRUE(WaitUntil([&] { return reports.All().size() == 1; }, 3.0));
    sTessalyStatistics stats{};
    EXPECT_TRUE(WaitUntil(
        [&] {
            Tessaly_GetDiscoveryStatistics(handle, &stats);
            return stats.datagramsReceived >= 5;
        },
        3.0));
    Tessaly_FreeAsyncServerDiscovery(handle);
    EXPECT_EQ(stats.droppedUnknownPeer, 2u);
    EXPECT_EQ(stats.droppedWrongVersion, 1u);
    EXPECT_EQ(stats.droppedMalformed, 1u);
    ASSERT_EQ(reports.All().size(), 1u);
    EXPECT_EQ(reports.All()[0].server, "127.0.0.1");
}

namespace {

struct sSlowCallbackState {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> freeFromInside{false};
    TessalyDiscoveryHandle handle = nullptr;
    std::atomic<int> freeResult{-1};
};

void SlowDiscoveryCallback(const sDiscoveredServer*, void* p) {
    auto* s = static_cast<sSlowCallbackState*>(p);
    s->inside = true;
    ++s->calls;
    if (s->freeFromInside.exchange(false)) s->freeResult = Tessaly_FreeAsyncServerDiscovery(s->handle);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    s->inside = false;
}

}  // namespace

TEST(TessalyDiscovery, NoCallbackRunsOnceFreeHasReturned) {
    auto server = ServerOn("127.0.0.1", false);
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    sSlowCallbackState state;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&state.handle, &SlowDiscoveryCallback, &state), ErrorCode_OK);
    ASSERT_TRUE(WaitUntil([&] { return state.inside.load(); }, 3.0));
    EXPECT_EQ(Tessaly_FreeAsyncServerDiscovery(state.handle), ErrorCode_OK);
    EXPECT_FALSE(state.inside.load());
    const int calls = state.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // beyond two probe periods
    EXPECT_EQ(state.calls.load(), calls);
}

TEST(TessalyDiscovery, FreeingFromInsideItsOwnCallbackEndsIt) {
    auto server = ServerOn("127.0.0.1", false);
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    // Freed from inside, the discovery thread finishes its callback unjoined: the state must
    // outlive this test, or a later test's stack reuses what that thread still writes.
    static sSlowCallbackState state;
    state.freeFromInside = true;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&state.handle, &SlowDiscoveryCallback, &state), ErrorCode_OK);
    ASSERT_TRUE(WaitUntil([&] { return state.freeResult.load() != -1; }, 3.0));
    EXPECT_EQ(state.freeResult.load(), ErrorCode_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(state.calls.load(), 1);
}

// The driver's pattern: the discovery callback connects, and the first frame,
// on the client's frame thread, frees the discovery.
TEST(TessalyDiscovery, FreeingFromTheFrameThreadWhileDiscoveryReports) {
    auto server = ServerOn("127.0.0.1", false);
    cScopedEnvironment env("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    struct sDriverLike {
        std::atomic<TessalyClient*> client{nullptr};
        std::atomic<TessalyDiscoveryHandle> discovery{nullptr};
        std::atomic<int> discoveryCalls{0};
        std::atomic<bool> freed{false};
        std::atomic<int> framesAfterFree{0};
    } driver;
    // Frames before the handle is stored just wait for the next one, as in the driver.
    auto onFrame = [](sFrameOfMocapData*, void* p) {
        auto* d = static_cast<sDriverLike*>(p);
        if (d->freed.load()) {
            ++d->framesAfterFree;
        } else if (TessalyDiscoveryHandle h = d->discovery.exchange(nullptr)) {
            Tessaly_FreeAsyncServerDiscovery(h);
            d->freed = true;
        }
    };
    static TessalyFrameCallbackFunc frameCallback;
    frameCallback = onFrame;
    auto onServer = [](const sDiscoveredServer* server, void* p) {
        auto* d = static_cast<sDriverLike*>(p);
        ++d->discoveryCalls;
        if (d->client.load() != nullptr) return;
        auto* client = new TessalyClient;
        sTessalyClientConnectParams params{};
        params.connectionType = server->multicast ? ConnectionType_Multicast : ConnectionType_Unicast;
        params.serverAddress = server->serverAddress;
        params.localAddress = server->localAddress;
        d->client = client;
        if (client->Connect(params) == ErrorCode_OK) client->SetFrameReceivedCallback(frameCallback, p);
    };
    TessalyDiscoveryHandle handle = nullptr;
    ASSERT_EQ(Tessaly_CreateAsyncServerDiscovery(&handle, onServer, &driver), ErrorCode_OK);
    driver.discovery = handle;
    ASSERT_TRUE(WaitUntil([&] { return driver.freed.load() && driver.framesAfterFree > 10; }, 5.0));
    const int calls = driver.discoveryCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(driver.discoveryCalls.load(), calls);
    TessalyClient* client = driver.client.exchange(nullptr);
    ASSERT_NE(client, nullptr);
    client->Disconnect();
    delete client;
}
