#include "server_discovery.h"

#include "bounded_text.h"
#include "discovered_ports.h"
#include "library_clock.h"
#include "library_log.h"
#include "random_token.h"
#include "wire_format.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tessaly {

namespace {

constexpr double kProbePeriod = 0.5;
// Two hours of probing by default (TESSALY_DISCOVERY_ROUNDS); then the discovery
// goes quiet until it is freed.
constexpr uint32_t kDefaultMaxRounds = 14400;
constexpr int kReceiveSliceMs = 20;

cLogThrottle gDiscoveryDropLog;

std::string Environment(const char* name) {
#if defined(_WIN32)
    char value[2048];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return {};
    return std::string(value, length);
#else
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
#endif
}

std::vector<net::sEndpoint> ConfiguredEndpoints(const char* variable, uint16_t defaultPort,
                                                const char* fallback) {
    std::string text = Environment(variable);
    if (text.empty()) text = fallback;
    std::vector<std::string> refused;
    std::vector<net::sEndpoint> endpoints = net::ParseEndpointList(text, defaultPort, &refused);
    for (const std::string& reason : refused) Log(Verbosity_Warning, "%s: %s", variable, reason.c_str());
    if (endpoints.empty()) {
        Log(Verbosity_Warning, "%s lists no usable loopback address; using %s", variable, fallback);
        endpoints = net::ParseEndpointList(fallback, defaultPort, nullptr);
    }
    return endpoints;
}

uint32_t ConfiguredRounds() {
    const std::string text = Environment("TESSALY_DISCOVERY_ROUNDS");
    if (text.empty()) return kDefaultMaxRounds;
    char* end = nullptr;
    const unsigned long rounds = std::strtoul(text.c_str(), &end, 10);
    if (*end != '\0' || rounds < 1 || rounds > kDefaultMaxRounds || text[0] == '-') {
        Log(Verbosity_Warning, "TESSALY_DISCOVERY_ROUNDS: '%s' is not a count from 1 to %u; using %u", text.c_str(),
            kDefaultMaxRounds, kDefaultMaxRounds);
        return kDefaultMaxRounds;
    }
    return static_cast<uint32_t>(rounds);
}

}  // namespace

cServerDiscovery::cServerDiscovery(TessalyServerDiscoveryCallbackFunc callback, void* userContext)
    : mCallback(callback), mUserContext(userContext) {}

cServerDiscovery::~cServerDiscovery() {
    std::lock_guard<std::mutex> lock(mThreadMutex);
    if (mThread.joinable()) mThread.detach();
}

void cServerDiscovery::Start() {
    mTargets = ConfiguredEndpoints("TESSALY_DISCOVERY_ADDRESSES", TESSALY_DEFAULT_SERVER_PORT, "127.0.0.1");
    for (const net::sEndpoint& e : ConfiguredEndpoints("TESSALY_DISCOVERY_LOCAL_ADDRESSES", 1, "127.0.0.1")) {
        bool known = false;
        for (const auto& local : mLocals) known = known || local->address == e.address;
        if (known) continue;
        mLocals.push_back(std::make_unique<sLocal>());
        mLocals.back()->address = e.address;
    }
    mMaxRounds = ConfiguredRounds();
    mNonce = RandomToken();
    std::lock_guard<std::mutex> lock(mThreadMutex);
    mThread = std::thread(&cServerDiscovery::ThreadProc_DiscoveryThread, shared_from_this());
}

void cServerDiscovery::Stop() {
    mStop.store(true);
    std::thread running;
    {
        std::lock_guard<std::mutex> lock(mThreadMutex);
        if (mThread.get_id() == std::this_thread::get_id())
            mThread.detach();  // the callback that asked returns into a loop that ends at once
        else
            running = std::move(mThread);
    }
    if (running.joinable()) running.join();
}

void cServerDiscovery::GetStatistics(sTessalyStatistics* statistics) const {
    mCounters.Fill(statistics, 0);
}

void cServerDiscovery::OpenSockets() {
    for (auto& local : mLocals) {
        if (local->socket.IsOpen()) continue;
        std::string error;
        if (!local->socket.Open(net::sEndpoint{local->address, 0}, &error) && !local->openFailureReported) {
            local->openFailureReported = true;
            Log(Verbosity_Error, "Discovery cannot probe from %s: %s", net::FormatIPv4(local->address).c_str(),
                error.c_str());
        }
    }
}

void cServerDiscovery::SendProbes(uint32_t round) {
    std::vector<uint8_t> probe;
    wire::EncodeDiscoveryProbe(probe, mNonce, round);
    mProbeSentAt[round % kRoundMemory] = NowSeconds();
    for (auto& local : mLocals) {
        if (!local->socket.IsOpen()) continue;
        for (const net::sEndpoint& target : mTargets) local->socket.SendTo(target, probe.data(), probe.size());
    }
}

bool cServerDiscovery::IsTarget(const net::sEndpoint& endpoint) const {
    for (const net::sEndpoint& target : mTargets)
        if (target == endpoint) return true;
    return false;
}

void cServerDiscovery::ThreadProc_DiscoveryThread() {
    {
        // Start has finished storing mThread once this lock is free.
        std::lock_guard<std::mutex> lock(mThreadMutex);
    }
    std::vector<uint8_t> buffer(65536);
    uint32_t round = 0;
    double nextRound = NowSeconds();
    bool exhaustedReported = false;
    while (!mStop.load()) {
        double now = NowSeconds();
        if (now >= nextRound) {
            if (round < mMaxRounds) {
                OpenSockets();
                SendProbes(round++);
            } else if (!exhaustedReported) {
                exhaustedReported = true;
                Log(Verbosity_Warning, "Discovery stopped probing after %u rounds; create a new one to search again",
                    mMaxRounds);
            }
            nextRound = now + kProbePeriod;
        }
        bool anyOpen = false;
        for (auto& local : mLocals) {
            if (mStop.load()) return;
            if (!local->socket.IsOpen()) continue;
            anyOpen = true;
            size_t size = 0;
            net::sEndpoint from;
            const net::eReceiveResult received =
                local->socket.ReceiveFrom(buffer.data(), buffer.size(), &size, &from, kReceiveSliceMs);
            if (received == net::eReceiveResult::Datagram) {
                HandleDatagram(*local, buffer.data(), size, from, NowSeconds());
            } else if (received == net::eReceiveResult::Truncated) {
                mCounters.Received();
                mCounters.Truncated();
            }
        }
        if (!anyOpen) std::this_thread::sleep_for(std::chrono::milliseconds(kReceiveSliceMs));
    }
}

void cServerDiscovery::HandleDatagram(const sLocal& local, const uint8_t* data, size_t size,
                                      const net::sEndpoint& from, double now) {
    mCounters.Received();
    wire::sDatagram datagram;
    const wire::eParseResult parsed = wire::ParseDatagram(data, size, &datagram);
    if (parsed != wire::eParseResult::Ok) {
        mCounters.ParseFailure(parsed);
        if (gDiscoveryDropLog.Allow())
            Log(Verbosity_Warning, "Discovery dropped a datagram from %s: %s", net::FormatEndpoint(from).c_str(),
                wire::ParseResultName(parsed));
        return;
    }
    if (datagram.header.token != mNonce || !IsTarget(from) || datagram.serverInfo.port != from.port) {
        mCounters.UnknownPeer();
        if (gDiscoveryDropLog.Allow())
            Log(Verbosity_Warning, "Discovery dropped a datagram from unknown peer %s",
                net::FormatEndpoint(from).c_str());
        return;
    }
    if (datagram.header.type != wire::eMessageType::DiscoveryAnswer) {
        mCounters.Unexpected();
        return;
    }
    const wire::sServerInfo& info = datagram.serverInfo;
    RememberServerPort(from.address, info.port);

    sDiscoveredServer record{};
    CopyText(record.localAddress, sizeof record.localAddress, net::FormatIPv4(local.address).c_str());
    CopyText(record.serverAddress, sizeof record.serverAddress, net::FormatIPv4(from.address).c_str());
    record.serverCommandPort = info.port;
    record.serverDataPort = info.port;
    CopyText(record.serverName, sizeof record.serverName, info.name);
    CopyText(record.serverApp, sizeof record.serverApp, info.app);
    std::memcpy(record.serverAppVersion, info.appVersion, 4);
    record.protocolVersion[0] = static_cast<uint8_t>(wire::kProtocolVersion);
    record.clockFrequency = info.clockFrequency;
    record.answerCount = ++mAnswerCounts[{from.address, from.port}];
    const double roundTrip = now - mProbeSentAt[datagram.header.sequence % kRoundMemory];
    record.roundTripMicroseconds =
        (roundTrip >= 0.0 && roundTrip < 4.0) ? static_cast<uint32_t>(roundTrip * 1e6) : 0;
    record.multicast = info.multicast;

    if (mStop.load() || mCallback == nullptr) return;
    mCallback(&record, mUserContext);
}

}  // namespace tessaly
