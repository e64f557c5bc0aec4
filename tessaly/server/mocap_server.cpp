#include "mocap_server.h"

#include "loopback_address.h"
#include "platform/clock.h"
#include "platform/sleep.h"
#include "server_clock.h"
#include "subscription.h"
#include "udp_socket.h"
#include "wire_format.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace tessaly::server {

namespace {

constexpr double kClientTimeoutSeconds = 5.0;
constexpr size_t kMaxClients = 64;
constexpr int32_t kResultTooManyClients = 4;
constexpr int32_t kResponseFailed = 1;
constexpr int32_t kResponseUnknownCommand = -1;
constexpr int kReceiveTimeoutMs = 50;

double HostSeconds(int64_t hostTicks) {
    return static_cast<double>(static_cast<uint64_t>(hostTicks)) /
           static_cast<double>(halvex::platform::TickFrequency());
}

std::vector<uint8_t> Int32Response(int32_t value) {
    std::vector<uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    return bytes;
}

struct sClient {
    net::sEndpoint endpoint;
    uint64_t token = 0;
    bool multicast = false;
    cSubscription subscription;
    double lastHeard = 0;
    bool haveLastCommand = false;
    uint32_t lastCommandSequence = 0;
    std::vector<uint8_t> lastCommandAnswer;  // empty: the command went unanswered
    uint64_t framesSent = 0;
};

struct sBody {
    sRigidBodyPose pose;
    RigidBodyMotion motion;
};

}  // namespace

struct cMocapServer::sImpl {
    explicit sImpl(sMocapServerConfig c) : config(std::move(c)), clock(config.clockFrequency) {}

    sMocapServerConfig config;
    cServerClock clock;

    mutable std::mutex mutex;  // everything below
    uint16_t boundPort = 0;
    bool running = false;
    std::map<int32_t, sBody> bodies;
    std::vector<sClient> clients;
    int32_t refuseCode = 0;
    std::map<std::string, sCommandReply> replies;
    bool paused = false;
    bool midExposureProvided = true;
    cMocapServer::eFrameDamage damage = cMocapServer::eFrameDamage::NanPose;
    int damagedFramesLeft = 0;
    std::vector<std::string> commands;
    sServerStatistics stats;
    uint32_t frameNumber = 0;
    std::function<void(const std::string&)> eventLog;

    net::cUdpSocket socket;
    std::atomic<bool> stop{false};
    std::thread receiveThread;
    std::thread streamThread;

    wire::sServerInfo InfoLocked() const {
        wire::sServerInfo info;
        info.port = boundPort;
        info.multicast = config.multicast;
        info.clockFrequency = clock.Frequency();
        std::strncpy(info.name, config.name.c_str(), sizeof info.name - 1);
        std::strncpy(info.app, "Corvane", sizeof info.app - 1);
        info.appVersion[0] = 3;
        info.appVersion[1] = 1;
        return info;
    }

    void EventLocked(const std::string& line) {
        if (eventLog) eventLog(line);
    }

    sClient* FindClientLocked(const net::sEndpoint& endpoint, uint64_t token) {
        for (sClient& c : clients)
            if (c.endpoint == endpoint && c.token == token) return &c;
        return nullptr;
    }

    const sCommandReply* ScriptedReplyLocked(const std::string& command) const {
        auto exact = replies.find(command);
        if (exact != replies.end()) return &exact->second;
        const sCommandReply* best = nullptr;
        size_t bestLength = 0;
        for (const auto& [key, reply] : replies) {
            if (key.empty() || key.back() != '*') continue;
            const size_t length = key.size() - 1;
            if (command.compare(0, length, key, 0, length) == 0 && (best == nullptr || length > bestLength)) {
                best = &reply;
                bestLength = length;
            }
        }
        return best;
    }

    void Send(const net::sEndpoint& to, const std::vector<uint8_t>& datagram) {
        socket.SendTo(to, datagram.data(), datagram.size());
    }

    void ThreadProc_Receive();
    void HandleDatagram(const uint8_t* data, size_t size, const net::sEndpoint& from);
    void HandleConnect(const wire::sDatagram& d, const net::sEndpoint& from, double now);
    void HandleCommand(sClient& client, const wire::sDatagram& d);
    void ThreadProc_Stream();
    void StreamFrame(int64_t hostTicks);
    void Damage(std::vector<uint8_t>& datagram) const;
};

void cMocapServer::sImpl::ThreadProc_Receive() {
    std::vector<uint8_t> buffer(65536);
    while (!stop.load()) {
        size_t size = 0;
        net::sEndpoint from;
        const net::eReceiveResult r = socket.ReceiveFrom(buffer.data(), buffer.size(), &size, &from, kReceiveTimeoutMs);
        if (r == net::eReceiveResult::Datagram) {
            HandleDatagram(buffer.data(), size, from);
        } else if (r == net::eReceiveResult::Truncated) {
            std::lock_guard<std::mutex> lock(mutex);
            ++stats.datagramsReceived;
            ++stats.droppedMalformed;
        } else if (r == net::eReceiveResult::Error) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kReceiveTimeoutMs));
        }
    }
}

void cMocapServer::sImpl::HandleDatagram(const uint8_t* data, size_t size, const net::sEndpoint& from) {
    const double now = halvex::platform::NowSeconds();
    wire::sDatagram d;
    const wire::eParseResult parsed = wire::ParseDatagram(data, size, &d);
    std::vector<uint8_t> answer;
    std::lock_guard<std::mutex> lock(mutex);
    ++stats.datagramsReceived;
    if (!net::IsLoopback(from.address)) {
        ++stats.droppedUnknownPeer;
        return;
    }
    if (parsed == wire::eParseResult::WrongVersion) {
        ++stats.droppedWrongVersion;
        return;
    }
    if (parsed != wire::eParseResult::Ok) {
        ++stats.droppedMalformed;
        return;
    }
    switch (d.header.type) {
        case wire::eMessageType::DiscoveryProbe:
            wire::EncodeDiscoveryAnswer(answer, d.header, InfoLocked());
            ++stats.discoveryAnswers;
            Send(from, answer);
            return;
        case wire::eMessageType::ConnectRequest: HandleConnect(d, from, now); return;
        case wire::eMessageType::CommandRequest:
        case wire::eMessageType::ClockSyncRequest:
        case wire::eMessageType::Disconnect: break;
        default: ++stats.droppedUnexpected; return;
    }
    sClient* client = FindClientLocked(from, d.header.token);
    if (client == nullptr) {
        ++stats.droppedUnknownPeer;
        return;
    }
    client->lastHeard = now;
    if (d.header.type == wire::eMessageType::CommandRequest) {
        HandleCommand(*client, d);
    } else if (d.header.type == wire::eMessageType::ClockSyncRequest) {
        wire::EncodeClockSyncAnswer(answer, client->token, d.header.sequence, d.clientStamp, clock.TicksNow());
        Send(from, answer);
    } else {
        EventLocked("client " + net::FormatEndpoint(from) + " disconnected");
        clients.erase(clients.begin() + (client - clients.data()));
    }
}

void cMocapServer::sImpl::HandleConnect(const wire::sDatagram& d, const net::sEndpoint& from, double now) {
    std::vector<uint8_t> answer;
    const wire::sServerInfo info = InfoLocked();
    if (refuseCode != 0) {
        ++stats.connectionsRefused;
        wire::EncodeConnectAnswer(answer, d.header.token, d.header.sequence, refuseCode, info);
        Send(from, answer);
        return;
    }
    sClient* client = FindClientLocked(from, d.header.token);
    if (client == nullptr) {
        // A new token from a known port is the same program connecting afresh.
        for (size_t i = clients.size(); i-- > 0;)
            if (clients[i].endpoint == from) clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        if (clients.size() >= kMaxClients) {
            ++stats.connectionsRefused;
            wire::EncodeConnectAnswer(answer, d.header.token, d.header.sequence, kResultTooManyClients, info);
            Send(from, answer);
            return;
        }
        sClient added;
        added.endpoint = from;
        added.token = d.header.token;
        added.multicast = d.connectionType == 0;
        added.subscription = cSubscription(!d.subscribedDataOnly);
        clients.push_back(std::move(added));
        client = &clients.back();
        ++stats.connectionsAccepted;
        EventLocked("client " + net::FormatEndpoint(from) + " connected (" +
                    (client->multicast ? "multicast" : "unicast") + ")");
    }
    client->lastHeard = now;
    wire::EncodeConnectAnswer(answer, d.header.token, d.header.sequence, 0, info);
    Send(from, answer);
}

void cMocapServer::sImpl::HandleCommand(sClient& client, const wire::sDatagram& d) {
    if (client.haveLastCommand && client.lastCommandSequence == d.header.sequence) {
        // A retry: answer as before without executing twice.
        if (!client.lastCommandAnswer.empty()) Send(client.endpoint, client.lastCommandAnswer);
        return;
    }
    const std::string command(d.command, d.commandLength);
    commands.push_back(command);
    if (commands.size() > 10000) commands.erase(commands.begin());

    int32_t result = 0;
    bool hasResponse = true;
    std::vector<uint8_t> response;
    const sCommandReply* scripted = ScriptedReplyLocked(command);
    const sCommandReply::eKind kind = scripted ? scripted->kind : sCommandReply::eKind::Execute;
    switch (kind) {
        case sCommandReply::eKind::Execute:
            switch (client.subscription.Execute(command)) {
                case cSubscription::eOutcome::Done: response = Int32Response(0); break;
                case cSubscription::eOutcome::Failed: response = Int32Response(kResponseFailed); break;
                case cSubscription::eOutcome::UnknownCommand: response = Int32Response(kResponseUnknownCommand); break;
            }
            break;
        case sCommandReply::eKind::Error:
            result = scripted->errorCode;
            hasResponse = false;
            break;
        case sCommandReply::eKind::NullResponse: hasResponse = false; break;
        case sCommandReply::eKind::Bytes: response = scripted->bytes; break;
        case sCommandReply::eKind::NoAnswer: break;
    }
    client.haveLastCommand = true;
    client.lastCommandSequence = d.header.sequence;
    client.lastCommandAnswer.clear();
    if (kind == sCommandReply::eKind::NoAnswer) return;
    if (response.size() > wire::kMaxResponseSize) response.resize(wire::kMaxResponseSize);
    wire::EncodeCommandResponse(client.lastCommandAnswer, client.token, d.header.sequence, result, hasResponse,
                                response.data(), response.size());
    Send(client.endpoint, client.lastCommandAnswer);
}

void cMocapServer::sImpl::ThreadProc_Stream() {
    using clock_type = std::chrono::steady_clock;
    double rate;
    {
        std::lock_guard<std::mutex> lock(mutex);
        rate = config.frameRateHz;
    }
    const auto period = std::chrono::duration_cast<clock_type::duration>(std::chrono::duration<double>(1.0 / rate));
    auto next = clock_type::now();
    while (!stop.load()) {
        StreamFrame(halvex::platform::NowTicks());
        next += period;
        const auto now = clock_type::now();
        if (next < now - period) next = now;  // fell behind (debugger, overload): do not burst
        // Sleep in slices so that Stop is not held up by a slow frame rate.
        while (!stop.load() && clock_type::now() < next) {
            const auto slice = std::min(next, clock_type::now() + std::chrono::milliseconds(50));
            halvex::platform::SleepUntil(slice);
        }
    }
}

void cMocapServer::sImpl::Damage(std::vector<uint8_t>& datagram) const {
    constexpr size_t kCountOffset = wire::kHeaderSize + 28;
    constexpr size_t kFirstPositionOffset = wire::kHeaderSize + wire::kFrameFixedSize + 4;
    if (damage == eFrameDamage::AbsurdCount) {
        datagram[kCountOffset] = datagram[kCountOffset + 1] = 0xff;
    } else if (datagram.size() >= kFirstPositionOffset + 4) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        std::memcpy(&datagram[kFirstPositionOffset], &nan, 4);
    }
}

void cMocapServer::sImpl::StreamFrame(int64_t hostTicks) {
    std::lock_guard<std::mutex> lock(mutex);
    const uint32_t number = ++frameNumber;
    const double hostSeconds = HostSeconds(hostTicks);
    // Clients that stopped talking are forgotten, so that nothing streams for ever.
    for (size_t i = clients.size(); i-- > 0;) {
        if (hostSeconds - clients[i].lastHeard > kClientTimeoutSeconds) {
            EventLocked("client " + net::FormatEndpoint(clients[i].endpoint) + " timed out");
            clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (paused || clients.empty()) return;

    const double latency = config.latencySeconds;
    const uint64_t transmit = clock.TicksAtHostTicks(hostTicks);
    const double latencyTicks = latency * static_cast<double>(clock.Frequency());
    wire::sFrameHeader header;
    header.frameNumber = number;
    header.transmitTicks = transmit;
    const uint64_t mid = static_cast<uint64_t>(static_cast<double>(transmit) - std::llround(latencyTicks));
    header.midExposureTicks = midExposureProvided ? mid : 0;
    header.dataReceivedTicks = mid + static_cast<uint64_t>(std::llround(latencyTicks / 2));

    const bool allUntracked = config.untrackedEvery > 0 && number % static_cast<uint32_t>(config.untrackedEvery) == 0;
    std::vector<wire::sRigidBody> all;
    all.reserve(bodies.size());
    for (const auto& [id, body] : bodies) {
        if (all.size() >= wire::kMaxFrameRigidBodies) break;
        const sRigidBodyPose pose = body.motion ? body.motion(hostSeconds - latency) : body.pose;
        wire::sRigidBody wireBody;
        wireBody.id = id;
        std::memcpy(wireBody.position, pose.position, sizeof wireBody.position);
        std::memcpy(wireBody.orientation, pose.orientation, sizeof wireBody.orientation);
        wireBody.meanError = pose.meanError;
        wireBody.flags = (pose.tracked && !allUntracked) ? 1 : 0;
        all.push_back(wireBody);
    }
    std::vector<wire::sRigidBody> selected;
    std::vector<uint8_t> datagram;
    const bool damaged = damagedFramesLeft > 0;
    if (damaged) --damagedFramesLeft;
    for (sClient& client : clients) {
        selected.clear();
        for (const wire::sRigidBody& body : all)
            if (client.subscription.Wants(body.id)) selected.push_back(body);
        wire::EncodeFrame(datagram, client.token, static_cast<uint32_t>(client.framesSent), header, selected.data(),
                          selected.size());
        if (damaged) Damage(datagram);
        Send(client.endpoint, datagram);
        ++client.framesSent;
        ++stats.framesSent;
    }
}

cMocapServer::cMocapServer(sMocapServerConfig config) : mImpl(std::make_unique<sImpl>(std::move(config))) {}

cMocapServer::~cMocapServer() { Stop(); }

bool cMocapServer::Start(std::string* error) {
    Stop();
    sImpl& m = *mImpl;
    uint32_t address = 0;
    if (!net::ParseIPv4(m.config.address, &address)) {
        if (error) *error = "invalid address \"" + m.config.address + "\"";
        return false;
    }
    if (!(m.config.frameRateHz > 0.0 && m.config.frameRateHz <= 10000.0)) {
        if (error) *error = "frame rate must lie in (0, 10000] Hz";
        return false;
    }
    uint16_t port;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        port = m.boundPort != 0 ? m.boundPort : m.config.port;
    }
    std::string openError;
    if (!m.socket.Open(net::sEndpoint{address, port}, &openError)) {
        if (error) *error = openError;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.boundPort = m.socket.LocalEndpoint().port;
        m.clients.clear();
        m.running = true;
    }
    m.stop.store(false);
    m.receiveThread = std::thread(&sImpl::ThreadProc_Receive, &m);
    m.streamThread = std::thread(&sImpl::ThreadProc_Stream, &m);
    return true;
}

void cMocapServer::Stop() {
    sImpl& m = *mImpl;
    m.stop.store(true);
    if (m.receiveThread.joinable()) m.receiveThread.join();
    if (m.streamThread.joinable()) m.streamThread.join();
    m.socket.Close();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.clients.clear();
    m.running = false;
}

bool cMocapServer::IsRunning() const {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return mImpl->running;
}

std::string cMocapServer::Address() const { return mImpl->config.address; }

uint16_t cMocapServer::Port() const {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return mImpl->boundPort;
}

std::string cMocapServer::DiscoveryEntry() const { return Address() + ":" + std::to_string(Port()); }

void cMocapServer::SetRigidBody(int32_t id, const sRigidBodyPose& pose) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->bodies[id] = sBody{pose, nullptr};
}

void cMocapServer::SetRigidBodyMotion(int32_t id, RigidBodyMotion motion) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->bodies[id] = sBody{sRigidBodyPose{}, std::move(motion)};
}

void cMocapServer::RemoveRigidBody(int32_t id) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->bodies.erase(id);
}

void cMocapServer::RefuseConnections(int32_t code) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->refuseCode = code;
}

void cMocapServer::SetCommandReply(const std::string& key, sCommandReply reply) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->replies[key] = std::move(reply);
}

void cMocapServer::ClearCommandReplies() {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->replies.clear();
}

void cMocapServer::PauseStream(bool paused) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->paused = paused;
}

void cMocapServer::SetLatency(double seconds) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->config.latencySeconds = seconds;
}

void cMocapServer::SetMidExposureProvided(bool provided) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->midExposureProvided = provided;
}

void cMocapServer::SetUntrackedEvery(int n) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->config.untrackedEvery = n < 0 ? 0 : n;
}

void cMocapServer::SendRawToClients(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    for (const sClient& client : mImpl->clients) mImpl->Send(client.endpoint, bytes);
}

void cMocapServer::DamageNextFrames(eFrameDamage damage, int count) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->damage = damage;
    mImpl->damagedFramesLeft = count < 0 ? 0 : count;
}

void cMocapServer::SetEventLog(std::function<void(const std::string&)> log) {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->eventLog = std::move(log);
}

std::vector<std::string> cMocapServer::ReceivedCommands() const {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return mImpl->commands;
}

void cMocapServer::ClearReceivedCommands() {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    mImpl->commands.clear();
}

std::vector<sClientInfo> cMocapServer::Clients() const {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    std::vector<sClientInfo> infos;
    for (const sClient& c : mImpl->clients) {
        sClientInfo info;
        info.address = net::FormatIPv4(c.endpoint.address);
        info.port = c.endpoint.port;
        info.multicast = c.multicast;
        info.allRigidBodies = c.subscription.Everything();
        info.subscribedIds = c.subscription.Ids();
        info.framesSent = c.framesSent;
        infos.push_back(std::move(info));
    }
    return infos;
}

sServerStatistics cMocapServer::Statistics() const {
    std::lock_guard<std::mutex> lock(mImpl->mutex);
    return mImpl->stats;
}

uint64_t cMocapServer::ClockFrequency() const { return mImpl->clock.Frequency(); }

uint64_t cMocapServer::TicksNow() const { return mImpl->clock.TicksNow(); }

uint64_t cMocapServer::TicksAt(double hostSeconds) const { return mImpl->clock.TicksAtHostSeconds(hostSeconds); }

bool LoopbackAliasesUsable() { return net::LoopbackAliasesBindable(); }

}  // namespace tessaly::server
