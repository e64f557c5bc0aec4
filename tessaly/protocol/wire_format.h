// The datagram format spoken between the Tessaly client library and servers.
// Little-endian, fixed header, one message per datagram. Parsing never trusts a
// length or count that the datagram's own size does not confirm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaly::wire {

constexpr uint32_t kMagic = 0x594C5354u;  // "TSLY" in memory order
constexpr uint16_t kProtocolVersion = 1;
constexpr size_t kHeaderSize = 24;
constexpr size_t kMaxDatagramSize = 65507;
constexpr size_t kNameSize = 64;
constexpr size_t kServerInfoSize = 144;
constexpr size_t kMaxCommandLength = 255;
constexpr size_t kMaxResponseSize = 4096;
constexpr size_t kFrameFixedSize = 32;
constexpr size_t kRigidBodyWireSize = 38;
constexpr size_t kMaxFrameRigidBodies = 1500;
constexpr uint16_t kRigidBodyKnownFlags = 0x0001;

enum class eMessageType : uint16_t {
    DiscoveryProbe = 1,
    DiscoveryAnswer = 2,
    ConnectRequest = 3,
    ConnectAnswer = 4,
    CommandRequest = 5,
    CommandResponse = 6,
    ClockSyncRequest = 7,
    ClockSyncAnswer = 8,
    Frame = 9,
    Disconnect = 10,
};

enum class eParseResult { Ok, TooShort, BadMagic, WrongVersion, BadLength, UnknownType, BadPayload };

// token: the discovery's nonce, or the connection's session token.
// sequence: request number (answers echo it), or the frame datagram number.
struct sHeader {
    eMessageType type = eMessageType::DiscoveryProbe;
    uint64_t token = 0;
    uint32_t sequence = 0;
};

struct sServerInfo {
    uint16_t port = 0;
    bool multicast = false;
    uint64_t clockFrequency = 0;
    char name[kNameSize] = {};  // NUL-terminated
    char app[kNameSize] = {};
    uint8_t appVersion[4] = {};
};

struct sRigidBody {
    int32_t id = 0;
    float position[3] = {};
    float orientation[4] = {0, 0, 0, 1};  // x, y, z, w
    float meanError = 0;
    uint16_t flags = 0;
};

struct sFrameHeader {
    uint32_t frameNumber = 0;
    uint64_t midExposureTicks = 0;
    uint64_t dataReceivedTicks = 0;
    uint64_t transmitTicks = 0;
    uint16_t rigidBodyCount = 0;
};

// A parsed datagram; only the members of its type are filled. Views point into
// the parsed buffer and live as long as it does.
struct sDatagram {
    sHeader header;
    sServerInfo serverInfo;           // DiscoveryAnswer, ConnectAnswer
    int32_t result = 0;               // ConnectAnswer, CommandResponse
    uint8_t connectionType = 0;       // ConnectRequest
    bool subscribedDataOnly = false;  // ConnectRequest
    const char* command = nullptr;    // CommandRequest, not NUL-terminated
    size_t commandLength = 0;
    bool hasResponse = false;         // CommandResponse
    const uint8_t* response = nullptr;
    size_t responseSize = 0;
    uint64_t clientStamp = 0;         // ClockSyncRequest, ClockSyncAnswer
    uint64_t serverTicks = 0;         // ClockSyncAnswer
    sFrameHeader frame;               // Frame
    const uint8_t* rigidBodies = nullptr;  // Frame: rigidBodyCount validated entries
};

eParseResult ParseDatagram(const uint8_t* data, size_t size, sDatagram* out);
const char* ParseResultName(eParseResult result);

// Entry `index` of a frame that ParseDatagram accepted.
sRigidBody DecodeRigidBody(const sDatagram& frame, size_t index);

// Encoders append one complete datagram to `out` (cleared first).
void EncodeDiscoveryProbe(std::vector<uint8_t>& out, uint64_t nonce, uint32_t sequence);
void EncodeDiscoveryAnswer(std::vector<uint8_t>& out, const sHeader& probe, const sServerInfo& info);
void EncodeConnectRequest(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, uint8_t connectionType,
                          bool subscribedDataOnly);
void EncodeConnectAnswer(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, int32_t result,
                         const sServerInfo& info);
// Returns false (nothing encoded) for an empty, too long or non-printable command.
bool EncodeCommandRequest(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, const char* command);
// Returns false when the response is larger than kMaxResponseSize.
bool EncodeCommandResponse(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, int32_t result,
                           bool hasResponse, const uint8_t* response, size_t responseSize);
void EncodeClockSyncRequest(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, uint64_t clientStamp);
void EncodeClockSyncAnswer(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, uint64_t clientStamp,
                           uint64_t serverTicks);
// Returns false for more than kMaxFrameRigidBodies entries.
bool EncodeFrame(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, const sFrameHeader& frame,
                 const sRigidBody* rigidBodies, size_t count);
void EncodeDisconnect(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence);

}  // namespace tessaly::wire
