// Records, codes and callbacks of the Tessaly streaming client library. The byte
// layouts are part of the binary interface: clients compiled against an older copy
// of this header read the fields at these offsets, so every record is pinned by
// static_asserts below.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  if defined(TESSALYLIB_BUILDING)
#    define TESSALY_API __declspec(dllexport)
#  else
#    define TESSALY_API __declspec(dllimport)
#  endif
#else
#  define TESSALY_API __attribute__((visibility("default")))
#endif

// 0 is success. Connect and SendMessageAndWait pass a server's own non-zero result
// code through unchanged, so values outside this list can occur.
enum ErrorCode : int32_t {
    ErrorCode_OK = 0,
    ErrorCode_Internal = 1,
    ErrorCode_External = 2,
    ErrorCode_Network = 3,
    ErrorCode_Other = 4,
    ErrorCode_InvalidArgument = 5,
    ErrorCode_InvalidOperation = 6,
    ErrorCode_Timeout = 7,
    ErrorCode_NotConnected = 8,
};

enum ConnectionType : int32_t {
    ConnectionType_Multicast = 0,
    ConnectionType_Unicast = 1,
};

// Levels handed to the log callback.
enum Verbosity : int32_t {
    Verbosity_Debug = 1,
    Verbosity_Info = 2,
    Verbosity_Warning = 3,
    Verbosity_Error = 4,
};

// Port 0 in the connection parameters means: the port the server announced to
// discovery, or this one when it has not been discovered.
constexpr uint16_t TESSALY_DEFAULT_SERVER_PORT = 29170;

constexpr int TESSALY_MAX_NAME_LENGTH = 256;
constexpr int TESSALY_MAX_MARKERS = 22668;
constexpr int TESSALY_MAX_RIGID_BODIES = 8108;

struct sTessalyClientConnectParams {
    ConnectionType connectionType;  // multicast is delivered over loopback unicast
    uint16_t serverCommandPort;     // 0: library default (see above)
    uint16_t serverDataPort;        // frames come from the command port; kept for layout
    const char* serverAddress;      // IPv4 text, loopback only
    const char* localAddress;       // IPv4 text, loopback only; null or empty: 127.0.0.1
    const char* multicastAddress;   // ignored: nothing is ever sent to a group
    bool subscribedDataOnly;        // true: nothing streams until subscribed
    uint8_t BitstreamVersion[4];    // all zero: library default
};

struct sServerDescription {
    bool bServerPresent;
    char szServerName[TESSALY_MAX_NAME_LENGTH];
    uint8_t ServerAddress[4];
    char szServerApp[TESSALY_MAX_NAME_LENGTH];
    uint8_t ServerAppVersion[4];
    uint8_t ProtocolVersion[4];
    uint64_t ClockFrequency;  // server-clock ticks per second
    bool bConnectionValid;
    uint16_t CommandPort;
    uint16_t DataPort;
    bool bMulticast;
    uint8_t MulticastAddress[4];
};

// One report of the asynchronous server discovery.
struct sDiscoveredServer {
    char localAddress[16];   // loopback address the server was probed from and answered to
    char serverAddress[16];  // address the answer came from
    uint16_t serverCommandPort;
    uint16_t serverDataPort;
    char serverName[TESSALY_MAX_NAME_LENGTH];
    char serverApp[TESSALY_MAX_NAME_LENGTH];
    uint8_t serverAppVersion[4];
    uint8_t protocolVersion[4];
    uint64_t clockFrequency;
    uint32_t answerCount;          // answers of this server seen by this discovery so far
    uint32_t roundTripMicroseconds;  // of the probe this answer belongs to
    uint32_t reserved;
    bool multicast;  // the server announces multicast streaming
    uint8_t multicastAddress[4];
};

enum RigidBodyFlags : uint16_t {
    RigidBodyFlag_Tracked = 0x0001,
};

struct sRigidBodyData {
    int32_t ID;
    float x, y, z;
    float qx, qy, qz, qw;
    float MeanError;  // metres
    uint16_t Flags;   // RigidBodyFlags
    uint16_t Reserved;
};

struct sFrameOfMocapData {
    int32_t iFrame;
    int32_t nMarkers;
    float Markers[TESSALY_MAX_MARKERS][3];
    int32_t nRigidBodies;
    sRigidBodyData RigidBodies[TESSALY_MAX_RIGID_BODIES];
    uint32_t Timecode;
    uint32_t TimecodeSubframe;
    uint32_t Params;
    double fTimestamp;        // server clock, seconds
    int32_t nForcePlates;     // always 0 here
    int32_t nDevices;         // always 0 here
    uint64_t StreamSequence;  // per-connection datagram number, for gap diagnosis
    uint64_t CameraMidExposureTimestamp;   // server-clock ticks; 0: not provided
    uint64_t CameraDataReceivedTimestamp;  // server-clock ticks
    uint64_t TransmitTimestamp;            // server-clock ticks
};

// Counters of a client or a discovery, for diagnosis: every datagram that is not
// accepted lands in exactly one of the dropped counters.
struct sTessalyStatistics {
    uint64_t datagramsReceived;
    uint64_t framesReceived;
    uint64_t framesDelivered;
    uint64_t droppedTooShort;
    uint64_t droppedMalformed;
    uint64_t droppedWrongVersion;
    uint64_t droppedUnknownPeer;
    uint64_t droppedUnexpected;
    uint16_t localPort;
};

typedef void (*TessalyLogCallbackFunc)(int32_t level, const char* message);
typedef void (*TessalyFrameCallbackFunc)(sFrameOfMocapData* frame, void* userData);
typedef void (*TessalyServerDiscoveryCallbackFunc)(const sDiscoveredServer* server, void* userContext);
typedef void* TessalyDiscoveryHandle;

static_assert(sizeof(ErrorCode) == 4 && sizeof(ConnectionType) == 4, "32-bit codes");

static_assert(offsetof(sTessalyClientConnectParams, connectionType) == 0, "layout");
static_assert(offsetof(sTessalyClientConnectParams, serverCommandPort) == 4, "layout");
static_assert(offsetof(sTessalyClientConnectParams, serverDataPort) == 6, "layout");
static_assert(offsetof(sTessalyClientConnectParams, serverAddress) == 8, "layout");
static_assert(offsetof(sTessalyClientConnectParams, localAddress) == 16, "layout");
static_assert(offsetof(sTessalyClientConnectParams, multicastAddress) == 24, "layout");
static_assert(offsetof(sTessalyClientConnectParams, subscribedDataOnly) == 32, "layout");
static_assert(offsetof(sTessalyClientConnectParams, BitstreamVersion) == 33, "layout");
static_assert(sizeof(sTessalyClientConnectParams) == 40, "layout");

static_assert(offsetof(sServerDescription, szServerName) == 1, "layout");
static_assert(offsetof(sServerDescription, ClockFrequency) == 528, "layout");
static_assert(offsetof(sServerDescription, CommandPort) == 538, "layout");
static_assert(offsetof(sServerDescription, MulticastAddress) == 543, "layout");
static_assert(sizeof(sServerDescription) == 552, "layout");

static_assert(offsetof(sDiscoveredServer, localAddress) == 0, "layout");
static_assert(offsetof(sDiscoveredServer, serverAddress) == 16, "layout");
static_assert(offsetof(sDiscoveredServer, serverCommandPort) == 32, "layout");
static_assert(offsetof(sDiscoveredServer, serverName) == 36, "layout");
static_assert(offsetof(sDiscoveredServer, clockFrequency) == 560, "layout");
static_assert(offsetof(sDiscoveredServer, multicast) == 580, "layout");
static_assert(sizeof(sDiscoveredServer) == 592, "layout");

static_assert(sizeof(sRigidBodyData) == 40, "layout");
static_assert(offsetof(sRigidBodyData, x) == 4, "layout");
static_assert(offsetof(sRigidBodyData, qx) == 16, "layout");
static_assert(offsetof(sRigidBodyData, qw) == 28, "layout");
static_assert(offsetof(sRigidBodyData, MeanError) == 32, "layout");
static_assert(offsetof(sRigidBodyData, Flags) == 36, "layout");

static_assert(offsetof(sFrameOfMocapData, nRigidBodies) == 272024, "layout");
static_assert(offsetof(sFrameOfMocapData, RigidBodies) == 272028, "layout");
static_assert(offsetof(sFrameOfMocapData, Timecode) == 596348, "layout");
static_assert(offsetof(sFrameOfMocapData, fTimestamp) == 596360, "layout");
static_assert(offsetof(sFrameOfMocapData, StreamSequence) == 596376, "layout");
static_assert(offsetof(sFrameOfMocapData, CameraMidExposureTimestamp) == 596384, "layout");
static_assert(offsetof(sFrameOfMocapData, CameraDataReceivedTimestamp) == 596392, "layout");
static_assert(sizeof(sFrameOfMocapData) == 596408, "layout");
