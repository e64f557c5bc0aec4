// A simulated motion-capture server speaking the Tessaly protocol on loopback:
// answers discovery, accepts connections, executes the subscription commands per
// client and streams frames at a fixed rate. Tests script it to misbehave.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaly::server {

struct sRigidBodyPose {
    float position[3] = {0, 0, 0};
    float orientation[4] = {0, 0, 0, 1};  // x, y, z, w
    bool tracked = true;
    float meanError = 0.0005f;
};

// Pose of a rigid body at an exposure time given in host monotonic seconds
// (halvex::platform::NowSeconds's clock).
using RigidBodyMotion = std::function<sRigidBodyPose(double exposureSeconds)>;

struct sMocapServerConfig {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0: any free port, kept across Stop/Start
    double frameRateHz = 120.0;
    double latencySeconds = 0.005;  // send time minus mid-exposure time
    bool multicast = false;         // what discovery and connections announce
    std::string name = "Corvane simulator";
    uint64_t clockFrequency = 10000000;
    int untrackedEvery = 0;  // every Nth frame marks all rigid bodies untracked; 0: never
};

// How the server answers one command instead of executing it.
struct sCommandReply {
    enum class eKind { Execute, Error, NullResponse, Bytes, NoAnswer };
    eKind kind = eKind::Execute;
    int32_t errorCode = 0;
    std::vector<uint8_t> bytes;

    static sCommandReply Error(int32_t code) { return {eKind::Error, code, {}}; }
    static sCommandReply NullResponse() { return {eKind::NullResponse, 0, {}}; }
    static sCommandReply Bytes(std::vector<uint8_t> bytes) { return {eKind::Bytes, 0, std::move(bytes)}; }
    static sCommandReply NoAnswer() { return {eKind::NoAnswer, 0, {}}; }
};

struct sClientInfo {
    std::string address;
    uint16_t port = 0;
    bool multicast = false;
    bool allRigidBodies = true;         // no filter
    std::vector<int32_t> subscribedIds;  // when filtered
    uint64_t framesSent = 0;
};

struct sServerStatistics {
    uint64_t datagramsReceived = 0;
    uint64_t droppedMalformed = 0;  // too short, truncated, bad length or payload, unknown type
    uint64_t droppedWrongVersion = 0;
    uint64_t droppedUnknownPeer = 0;  // not a connected client, or not loopback
    uint64_t droppedUnexpected = 0;   // valid, but not something a client sends
    uint64_t discoveryAnswers = 0;
    uint64_t connectionsAccepted = 0;
    uint64_t connectionsRefused = 0;
    uint64_t framesSent = 0;  // datagrams, one per client and frame
};

class cMocapServer {
public:
    explicit cMocapServer(sMocapServerConfig config = {});
    ~cMocapServer();
    cMocapServer(const cMocapServer&) = delete;
    cMocapServer& operator=(const cMocapServer&) = delete;

    // Binds and starts answering and streaming. A restart forgets all clients, as a
    // real server restart does; the script and the rigid bodies stay.
    bool Start(std::string* error = nullptr);
    void Stop();
    bool IsRunning() const;

    std::string Address() const;
    uint16_t Port() const;
    std::string DiscoveryEntry() const;  // "address:port", for TESSALY_DISCOVERY_ADDRESSES

    void SetRigidBody(int32_t id, const sRigidBodyPose& pose);
    void SetRigidBodyMotion(int32_t id, RigidBodyMotion motion);
    void RemoveRigidBody(int32_t id);

    // Script. A reply key matches a command exactly, or by prefix when it ends in '*'.
    void RefuseConnections(int32_t code);  // 0 accepts again
    void SetCommandReply(const std::string& key, sCommandReply reply);
    void ClearCommandReplies();
    void PauseStream(bool paused);
    void SetLatency(double seconds);
    void SetMidExposureProvided(bool provided);  // false: the mid-exposure tick is sent as 0
    void SetUntrackedEvery(int n);
    // Sends these bytes as they are to every connected client.
    void SendRawToClients(const std::vector<uint8_t>& bytes);
    // The next `count` frames go out damaged as a faulty server would send them: a NaN
    // in the first rigid body's position, or a rigid-body count past the datagram's end.
    enum class eFrameDamage { NanPose, AbsurdCount };
    void DamageNextFrames(eFrameDamage damage, int count);

    // Connections, disconnections and time-outs of clients, one line each.
    void SetEventLog(std::function<void(const std::string&)> log);

    // Observation.
    std::vector<std::string> ReceivedCommands() const;  // each executed once, retries excluded
    void ClearReceivedCommands();
    std::vector<sClientInfo> Clients() const;
    sServerStatistics Statistics() const;
    uint64_t ClockFrequency() const;
    uint64_t TicksNow() const;          // server clock
    uint64_t TicksAt(double hostSeconds) const;

private:
    struct sImpl;
    std::unique_ptr<sImpl> mImpl;
};

// False where servers can only use 127.0.0.1 (under Wine, binding another
// loopback address binds all interfaces, which this library refuses to do).
bool LoopbackAliasesUsable();

}  // namespace tessaly::server
